// A queue drained by one worker thread: producers release the semaphore once
// per queued item and the worker calls ProcessTasks once per release, and
// once each time a wait the list bounds runs out.
#pragma once

#include "base/Handles.h"
#include "base/Thread.h"

#include <atomic>
#include <mutex>

namespace Velora {

class VLTaskList {
public:
    VLTaskList();
    // A subclass stops the worker in its own destructor, while its
    // ProcessTasks still exists: here it is gone, and a worker still running
    // would call what is left of it.
    virtual ~VLTaskList();
    VLTaskList(const VLTaskList&) = delete;
    VLTaskList& operator=(const VLTaskList&) = delete;

    virtual void ProcessTasks() = 0;

    bool StartThread();
    bool StopThread();
    // At most 64 wake-ups wait at a time; a release beyond that is lost.
    bool Wake();
    // Set from before a worker lives until it has left its loop.
    bool IsRunning() const { return running_; }

protected:
    // Called by StartThread once the new worker lives, before the start is
    // answered. Does nothing; tests hold this moment open.
    virtual void OnWorkerStarted() {}
    // How long the worker waits for a wake-up before it makes a pass of its
    // own; asked before each wait. Without end unless a list has work that
    // comes due by itself.
    virtual DWORD IdleWaitMs() { return INFINITE; }

private:
    static void ThreadProc(void* list);

    std::atomic<bool> running_{false};
    const VLHandle stopEvent_;
    const VLHandle wakeSemaphore_;
    // Held across starting a worker and across joining one, so that two
    // threads never start or join at once and a stop is never taken by a
    // newer worker. The worker itself never takes it: it finds its list
    // running from before it lives, so StartThread answers it at once.
    std::mutex threadLock_;
    VLThreadPtr thread_;
};

} // namespace Velora
