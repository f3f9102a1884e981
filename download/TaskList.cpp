#include "download/TaskList.h"

namespace Velora {

VLTaskList::VLTaskList()
    : stopEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      wakeSemaphore_(CreateSemaphoreW(nullptr, 0, 64, nullptr))
{
}

VLTaskList::~VLTaskList()
{
    // Nothing to stop once the subclass has done it; a worker it left would
    // otherwise outlive the object it runs on.
    StopThread();
}

bool VLTaskList::StartThread()
{
    if (running_) return true;
    std::lock_guard<std::mutex> guard(threadLock_);
    if (running_) return true;
    // A previous worker has left its loop; its end is only a return away.
    JoinThread(std::move(thread_));
    // A stop meant for a worker that had already ended must not end this one.
    ResetEvent(stopEvent_.Get());
    thread_ = std::make_unique<VLThread>(&VLTaskList::ThreadProc, this);
    // Running before the worker lives: a worker that wakes its own list from
    // ProcessTasks must never wait for this lock, which a StopThread joining
    // that worker holds.
    running_ = true;
    if (!thread_->Start()) {
        running_ = false;
        return false;
    }
    OnWorkerStarted();
    return true;
}

bool VLTaskList::StopThread()
{
    std::lock_guard<std::mutex> guard(threadLock_);
    if (!thread_) return true;
    SetEvent(stopEvent_.Get());
    JoinThread(std::move(thread_));
    return true;
}

bool VLTaskList::Wake()
{
    return ReleaseSemaphore(wakeSemaphore_.Get(), 1, nullptr) != FALSE;
}

void VLTaskList::ThreadProc(void* argument)
{
    VLTaskList* list = static_cast<VLTaskList*>(argument);
    const HANDLE handles[2] = {list->stopEvent_.Get(), list->wakeSemaphore_.Get()};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, list->IdleWaitMs());
        if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_TIMEOUT) {
            list->ProcessTasks();
            continue;
        }
        // The stop event, or a wait that failed: either way the worker ends.
        list->running_ = false;
        return;
    }
}

} // namespace Velora
