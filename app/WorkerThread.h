// Starts a check or repair thread that owns its job from then on.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <memory>

namespace Velora {

// The thread's handle; none when the thread could not be made, in which case
// the job is freed here.
template <typename Job>
VLHandle StartWorkerThread(LPTHREAD_START_ROUTINE threadProc, std::unique_ptr<Job> job)
{
    HANDLE thread = CreateThread(nullptr, 0, threadProc, job.get(), 0, nullptr);
    if (thread) job.release();
    return VLHandle(thread);
}

} // namespace Velora
