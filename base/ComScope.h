// COM for one operation on a worker thread (a detector, a shortcut):
// initialisation held for the scope, interface pointers released on every path.
#pragma once

#include <objbase.h>

#include <utility>

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
    VLComPtr(VLComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    VLComPtr& operator=(VLComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
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
    // Another interface of the same object into target (emptied first); the
    // object's answer, E_NOINTERFACE among them, is passed on.
    template <typename U> HRESULT QueryInterface(VLComPtr<U>& target) const
    {
        target.Reset();
        if (!pointer_) return E_POINTER;
        return pointer_->QueryInterface(__uuidof(U), target.Receive());
    }

private:
    T* pointer_ = nullptr;
};

} // namespace Velora
