// The kernel's handle kinds, each one line on the owner template, and the
// lock of a movable memory block.
#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

namespace Velora {

// Kernel object handle (file, thread, event, process). Both NULL and
// INVALID_HANDLE_VALUE mean "nothing held": the Win32 calls disagree on which
// one they answer for a failure.
using VLHandle = VLUniqueHandle<HANDLE, &CloseHandle, 0, -1>;

// Search handle of FindFirstFileW, which needs FindClose instead of CloseHandle.
using VLFindHandle = VLUniqueHandle<HANDLE, &FindClose, -1>;

// A view of a file mapping (MapViewOfFile).
using VLMappedView = VLUniqueHandle<const void*, &UnmapViewOfFile>;

// Memory the system allocated for the caller to free with LocalFree (security
// descriptors among them).
using VLLocalMemory = VLUniqueHandle<HLOCAL, &LocalFree>;

// A movable global memory block (GlobalAlloc with GMEM_MOVEABLE).
using VLGlobalMemory = VLUniqueHandle<HGLOBAL, &GlobalFree>;

// The lock of a movable block, held for as long as the pointer is used. Declare
// it after the VLGlobalMemory it locks so that it is unlocked before the free.
class VLGlobalLock {
public:
    void* Get() const { return pointer_; }
    // Locks the block; false (and nothing held) when GlobalLock fails.
    bool Lock(HGLOBAL memory)
    {
        Reset();
        pointer_ = memory ? GlobalLock(memory) : nullptr;
        if (pointer_) locked_.Reset(memory);
        return pointer_ != nullptr;
    }
    void Reset()
    {
        locked_.Reset();
        pointer_ = nullptr;
    }

private:
    VLUniqueHandle<HGLOBAL, &GlobalUnlock> locked_;
    void* pointer_ = nullptr;
};

} // namespace Velora
