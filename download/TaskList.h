// A queue drained by one worker thread: producers release the semaphore once
// per queued item and the worker calls ProcessTasks once per release.
#pragma once

#include "base/Handles.h"
#include "base/Thread.h"

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

    bool running = false;
    VLHandle stopEvent;
    VLHandle wakeSemaphore;
    VLThread* thread = nullptr;

private:
    static void ThreadProc(void* list);
};

} // namespace Velora
