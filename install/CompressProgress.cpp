#include "install/CompressProgress.h"

namespace Velora {

VLCompressProgress::VLCompressProgress() : pauseEvent(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

VLCompressProgress::~VLCompressProgress() = default;

void VLCompressProgress::SetPaused(bool paused)
{
    if (!pauseEvent.handle.Valid()) return;
    if (paused)
        ResetEvent(pauseEvent.handle.Get());
    else
        SetEvent(pauseEvent.handle.Get());
}

void VLCompressProgress::WaitWhilePaused()
{
    if (pauseEvent.handle.Valid()) WaitForSingleObject(pauseEvent.handle.Get(), INFINITE);
}

void VLCompressProgress::Throttle()
{
    const uint32_t ms = throttle;
    if (ms != kNoThrottle) Sleep(ms);
}

} // namespace Velora
