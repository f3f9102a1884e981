// COM for one operation on a worker thread (a detector, a shortcut):
// initialisation held for the scope, interface pointers released on every path.
#pragma once

#include <objbase.h>

namespace Velora {

// Apartment-threaded COM for as long as the object lives. Uninitialises only
// what it initialised: a thread already in another apartment keeps it.
class VLComInit {
public:
    VLComInit() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~VLComInit()
    {
        if (initialised_) CoUninitialize();
    }
    VLComInit(const VLComInit&) = delete;
    VLComInit& operator=(const VLComInit&) = delete;

private:
    bool initialised_;
};

template <typename T> class VLComPtr {
public:
    VLComPtr() = default;
    ~VLComPtr() { Reset(); }
    VLComPtr(const VLComPtr&) = delete;
    VLComPtr& operator=(const VLComPtr&) = delete;

    T* operator->() const { return pointer_; }
    T* Get() const { return pointer_; }
    // For the out argument of CoCreateInstance and QueryInterface.
    void** Receive() { return reinterpret_cast<void**>(Put()); }
    // For a typed out argument (T**).
    T** Put()
    {
        Reset();
        return &pointer_;
    }
    void Reset()
    {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    T* pointer_ = nullptr;
};

} // namespace Velora
