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
    if (thread) {
        thread->Wait();
        DeleteThread(thread);
        thread = nullptr;
    }
    thread = new VLThread(&VLTaskList::ThreadProc, this);
    running = thread->Start();
    return running;
}

bool VLTaskList::StopThread()
{
    if (!thread) return true;
    SetEvent(stopEvent.Get());
    thread->Wait();
    DeleteThread(thread);
    thread = nullptr;
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
