// Where the worker threads leave their status records for the main window.
// Workers and the window share it, so it outlives the window: a worker that
// did not stop in time is never killed (it may hold a lock or be half-way
// through an install); it finds its run cancelled, and whatever it still
// reports is dropped.
#pragma once

#include "app/HarrowStatusRecord.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>

namespace Velora {

class VLHarrowStatusSink {
public:
    // The window that receives WM_HARROW_STATUS; null once it is gone, after
    // which nothing is queued or posted.
    void SetWindow(HWND window);

    // Starts a new run and returns its generation. Records still queued are
    // dropped (their pending messages then find nothing), and every older run
    // counts as cancelled from now on.
    uint32_t BeginRun();
    // Asks the current run to stop; the flag stays set until the next run.
    void CancelRun();
    // True when the run was asked to stop or a newer run has begun.
    bool IsCancelled(uint32_t generation) const;

    // Worker side: queues a copy and posts one WM_HARROW_STATUS for it.
    // False when the record was dropped (an older run, or no window).
    bool Push(uint32_t generation, const HarrowStatusRecord& record);
    // UI side, one per WM_HARROW_STATUS: the oldest record; false when none
    // is queued.
    bool Pop(HarrowStatusRecord& record);
    // Worker side, whatever its run: posts WM_HARROW_WORKER_ENDED while there
    // is a window.
    void PostWorkerEnded();

private:
    mutable std::mutex lock_;
    std::deque<HarrowStatusRecord> queue_;
    HWND window_ = nullptr;
    uint32_t generation_ = 0;
    bool cancelled_ = false;
};

} // namespace Velora
