// A pointer to a listener that other threads call, with the calls under way
// counted instead of guarded by a lock held across them. Changing the
// pointer returns only once no call made by another thread through the old
// one is under way, and no call through it starts afterwards: an owner that
// detaches may let the listener go. The calling thread's own calls (a
// listener that detaches itself from inside a call) are not waited for, as
// they cannot end first.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

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
            callers_.push_back(std::this_thread::get_id());
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
        const std::thread::id self = std::this_thread::get_id();
        ended_.wait(guard, [&] {
            return std::all_of(callers_.begin(), callers_.end(), [&](std::thread::id id) { return id == self; });
        });
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
        callers_.erase(std::find(callers_.begin(), callers_.end(), std::this_thread::get_id()));
        ended_.notify_all();
    }

    // A leaf lock: held for a few statements, never across a call.
    mutable std::mutex lock_;
    std::condition_variable ended_;
    T* target_ = nullptr;
    // One entry per call under way.
    std::vector<std::thread::id> callers_;
};

} // namespace Velora
