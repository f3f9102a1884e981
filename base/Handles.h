// Tiny owning wrappers, one per kind of Windows handle. Each closes what it
// holds when it goes out of scope, so no early return can leak a handle.
#pragma once

#include <windows.h>

#include <utility>

namespace Velora {

// Kernel object handle (file, thread, event, process). Both NULL and
// INVALID_HANDLE_VALUE mean "nothing held": the Win32 calls disagree on which
// one they answer for a failure.
class VLHandle {
public:
    explicit VLHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~VLHandle() { Reset(); }
    VLHandle(VLHandle&& other) noexcept : handle_(other.Release()) {}
    VLHandle& operator=(VLHandle&& other) noexcept { Reset(other.Release()); return *this; }
    VLHandle(const VLHandle&) = delete;
    VLHandle& operator=(const VLHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle_, nullptr); }
    void Reset(HANDLE handle = nullptr)
    {
        if (Valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// Search handle of FindFirstFileW, which needs FindClose instead of CloseHandle.
class VLFindHandle {
public:
    explicit VLFindHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~VLFindHandle() { Close(); }
    VLFindHandle(const VLFindHandle&) = delete;
    VLFindHandle& operator=(const VLFindHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle) { Close(); handle_ = handle; }
    // False when FindClose refuses; the handle is then forgotten all the same,
    // as it cannot be used again.
    bool Close()
    {
        bool closed = !Valid() || FindClose(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// A movable global memory block (GlobalAlloc with GMEM_MOVEABLE).
class VLGlobalMemory {
public:
    explicit VLGlobalMemory(HGLOBAL memory = nullptr) : memory_(memory) {}
    ~VLGlobalMemory() { Reset(); }
    VLGlobalMemory(const VLGlobalMemory&) = delete;
    VLGlobalMemory& operator=(const VLGlobalMemory&) = delete;

    HGLOBAL Get() const { return memory_; }
    void Reset(HGLOBAL memory = nullptr)
    {
        if (memory_) GlobalFree(memory_);
        memory_ = memory;
    }

private:
    HGLOBAL memory_;
};

// The lock of a movable block, held for as long as the pointer is used. Declare
// it after the VLGlobalMemory it locks so that it is unlocked before the free.
class VLGlobalLock {
public:
    VLGlobalLock() = default;
    ~VLGlobalLock() { Reset(); }
    VLGlobalLock(const VLGlobalLock&) = delete;
    VLGlobalLock& operator=(const VLGlobalLock&) = delete;

    void* Get() const { return pointer_; }
    // Locks the block; false (and nothing held) when GlobalLock fails.
    bool Lock(HGLOBAL memory)
    {
        Reset();
        pointer_ = memory ? GlobalLock(memory) : nullptr;
        memory_ = pointer_ ? memory : nullptr;
        return pointer_ != nullptr;
    }
    void Reset()
    {
        if (memory_) GlobalUnlock(memory_);
        memory_ = nullptr;
        pointer_ = nullptr;
    }

private:
    HGLOBAL memory_ = nullptr;
    void* pointer_ = nullptr;
};

} // namespace Velora
