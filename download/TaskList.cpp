#include "download/TaskList.h"

namespace Velora {

VLTaskList::VLTaskList()
    : stopEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      wakeSemaphore(CreateSemaphoreW(nullptr, 0, 64, nullptr))
{
}

VLTaskList::~VLTaskList()
{
    StopThread();
}

bool VLTaskList::StartThread()
{
    if (running) return true;
    std::lock_guard<std::mutex> guard(threadLock_);
    if (running) return true;
    // A previous worker has left its loop; its end is only a return away.
    JoinThread(std::move(thread_));
    // A stop meant for a worker that had already ended must not end this one.
    ResetEvent(stopEvent.Get());
    thread_ = std::make_unique<VLThread>(&VLTaskList::ThreadProc, this);
    running = thread_->Start();
    return running;
}

bool VLTaskList::StopThread()
{
    std::lock_guard<std::mutex> guard(threadLock_);
    if (!thread_) return true;
    SetEvent(stopEvent.Get());
    JoinThread(std::move(thread_));
    return true;
}

bool VLTaskList::Wake()
{
    return ReleaseSemaphore(wakeSemaphore.Get(), 1, nullptr) != FALSE;
}

void VLTaskList::ThreadProc(void* argument)
{
    VLTaskList* list = static_cast<VLTaskList*>(argument);
    const HANDLE handles[2] = {list->stopEvent.Get(), list->wakeSemaphore.Get()};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 + 1) {
            list->ProcessTasks();
            continue;
        }
        // The stop event, or a wait that failed: either way the worker ends.
        list->running = false;
        return;
    }
}

} // namespace Velora
