#include "app/HarrowStatusSink.h"

namespace Velora {

void VLHarrowStatusSink::SetWindow(HWND window)
{
    std::lock_guard<std::mutex> guard(lock_);
    window_ = window;
    if (!window) queue_.clear();
}

uint32_t VLHarrowStatusSink::BeginRun()
{
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
    cancelled_ = false;
    return ++generation_;
}

void VLHarrowStatusSink::CancelRun()
{
    std::lock_guard<std::mutex> guard(lock_);
    cancelled_ = true;
}

bool VLHarrowStatusSink::IsCancelled(uint32_t generation) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_ || generation != generation_;
}

bool VLHarrowStatusSink::Push(uint32_t generation, const HarrowStatusRecord& record)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!window_ || generation != generation_) return false;
    queue_.push_back(record);
    // Posted under the lock: once SetWindow(nullptr) has returned, no message
    // can reach a window handle that may already name another window.
    // PostMessageW never waits for the receiver, so this cannot deadlock.
    if (!PostMessageW(window_, WM_HARROW_STATUS, 0, 0)) {
        // Without its message the record would be handled one message late,
        // and the last one never.
        queue_.pop_back();
        return false;
    }
    return true;
}

void VLHarrowStatusSink::PostWorkerEnded()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (window_) PostMessageW(window_, WM_HARROW_WORKER_ENDED, 0, 0);
}

bool VLHarrowStatusSink::Pop(HarrowStatusRecord& record)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) return false;
    record = queue_.front();
    queue_.pop_front();
    return true;
}

} // namespace Velora
