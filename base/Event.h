// An owned event handle that can be signalled.
#pragma once

#include "base/Handles.h"

namespace Velora {

class VLEvent {
public:
    explicit VLEvent(HANDLE event = nullptr) : handle(event) {}

    // 0 on success, else the Windows error code.
    DWORD Set() { return SetEvent(handle.Get()) ? 0 : GetLastError(); }

    VLHandle handle;
};

} // namespace Velora
