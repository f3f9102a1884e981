// The calls under way through one object, one entry per call with the thread
// that makes it, guarded by the owner's lock (held by every caller here). A
// thread may wait until no other thread's call is under way; its own calls
// are not waited for, as they cannot end first.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Velora {

class VLCallsUnderWay {
public:
    void Enter() { threads_.push_back(std::this_thread::get_id()); }
    void Leave()
    {
        threads_.erase(std::find(threads_.begin(), threads_.end(), std::this_thread::get_id()));
        ended_.notify_all();
    }
    bool OfThisThread() const
    {
        return std::find(threads_.begin(), threads_.end(), std::this_thread::get_id()) != threads_.end();
    }
    bool OfOtherThreads() const
    {
        const std::thread::id self = std::this_thread::get_id();
        return std::any_of(threads_.begin(), threads_.end(), [&](std::thread::id id) { return id != self; });
    }
    // Releases the owner's lock while it waits.
    void AwaitOtherThreads(std::unique_lock<std::mutex>& ownerLock)
    {
        ended_.wait(ownerLock, [this] { return !OfOtherThreads(); });
    }

private:
    std::condition_variable ended_;
    std::vector<std::thread::id> threads_;
};

} // namespace Velora
