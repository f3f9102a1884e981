// A queue drained by one worker thread: producers release the semaphore once
// per queued item and the worker calls ProcessTasks once per release.
#pragma once

#include "base/Handles.h"
#include "base/Thread.h"

#include <atomic>
#include <mutex>

namespace Velora {

class VLTaskList {
public:
    VLTaskList();
    virtual ~VLTaskList();
    VLTaskList(const VLTaskList&) = delete;
    VLTaskList& operator=(const VLTaskList&) = delete;

    virtual void ProcessTasks() = 0;

    bool StartThread();
    bool StopThread();
    // At most 64 wake-ups wait at a time; a release beyond that is lost.
    bool Wake();

    std::atomic<bool> running{false};
    VLHandle stopEvent;
    VLHandle wakeSemaphore;

private:
    static void ThreadProc(void* list);

    // Held across starting a worker and across joining one, so that two
    // threads never start or join at once and a stop is never taken by a
    // newer worker. The worker itself never takes it: a running worker
    // makes StartThread answer at once.
    std::mutex threadLock_;
    VLThreadPtr thread_;
};

} // namespace Velora
