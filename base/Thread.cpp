#include "base/Thread.h"

#include <process.h>

namespace Velora {

VLThread::VLThread(VLThreadFunction function, void* argument) : data(std::make_shared<VLThreadData>())
{
    data->function = function;
    data->argument = argument;
}

VLThread::~VLThread()
{
    Close();
}

bool VLThread::Start()
{
    if (!data || !data->function || data->handle.Valid()) return false;
    // The thread keeps its own reference to the record, so that it never
    // writes into freed memory when the holder is deleted first.
    auto* reference = new std::shared_ptr<VLThreadData>(data);
    unsigned threadId = 0;
    const uintptr_t started = _beginthreadex(nullptr, 0, ThreadProc, reference, CREATE_SUSPENDED, &threadId);
    if (started == 0) {
        delete reference;
        data->running = false;
        data->threadId = 0;
        return false;
    }
    data->handle.Reset(reinterpret_cast<HANDLE>(started));
    data->threadId = threadId;
    data->running = true;
    if (ResumeThread(data->handle.Get()) == DWORD(-1)) {
        // It never ran a line of its own: end it and drop its reference here.
        TerminateThread(data->handle.Get(), 1);
        WaitForSingleObject(data->handle.Get(), INFINITE);
        delete reference;
        Close();
        return false;
    }
    return true;
}

unsigned __stdcall VLThread::ThreadProc(void* record)
{
    const std::unique_ptr<std::shared_ptr<VLThreadData>> reference(
        static_cast<std::shared_ptr<VLThreadData>*>(record));
    VLThreadData& thread = **reference;
    thread.running = true;
    unsigned exitCode = 0;
    try {
        thread.function(thread.argument);
    } catch (...) {
        exitCode = 1;
    }
    thread.running = false;
    return exitCode;
}

void VLThread::Wait()
{
    if (!data || !data->handle.Valid()) return;
    if (WaitForSingleObject(data->handle.Get(), INFINITE) == WAIT_OBJECT_0) Close();
}

void VLThread::Close()
{
    if (!data) return;
    data->handle.Reset();
    data->threadId = 0;
    data->running = false;
}

void DeleteThread(VLThread* thread)
{
    delete thread;
}

void JoinThread(VLThreadPtr thread)
{
    if (thread && thread->data->threadId != GetCurrentThreadId()) thread->Wait();
}

} // namespace Velora
