// A pointer to a listener that other threads call, with the calls under way
// counted instead of guarded by a lock held across them. Changing the
// pointer returns only once no call made by another thread through the old
// one is under way, and no call through it starts afterwards: an owner that
// detaches may let the listener go. The calling thread's own calls (a
// listener that detaches itself from inside a call) are not waited for, as
// they cannot end first.
#pragma once

#include "base/CallsUnderWay.h"

#include <mutex>

namespace Velora {

template <typename T> class VLCallGate {
public:
    VLCallGate() = default;
    explicit VLCallGate(T* target) : target_(target) {}
    VLCallGate(const VLCallGate&) = delete;
    VLCallGate& operator=(const VLCallGate&) = delete;

    // Calls call(listener) unless none is set; false when nothing was called.
    template <typename F> bool Call(F&& call)
    {
        T* target;
        {
            std::lock_guard<std::mutex> guard(lock_);
            target = target_;
            if (!target) return false;
            calls_.Enter();
        }
        struct Leave {
            VLCallGate& gate;
            ~Leave() { gate.Left(); }
        } leave{*this};
        call(*target);
        return true;
    }

    void Set(T* target)
    {
        std::unique_lock<std::mutex> guard(lock_);
        target_ = target;
        calls_.AwaitOtherThreads(guard);
    }

    T* Get() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return target_;
    }

private:
    void Left()
    {
        std::lock_guard<std::mutex> guard(lock_);
        calls_.Leave();
    }

    // A leaf lock: held for a few statements, never across a call.
    mutable std::mutex lock_;
    T* target_ = nullptr;
    VLCallsUnderWay calls_;
};

} // namespace Velora
