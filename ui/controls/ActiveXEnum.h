// The container's list of its objects: the one hosted object.
#pragma once

#include <ole2.h>

namespace Velora {

class VLActiveXEnum : public IEnumUnknown {
public:
    // Holds a reference to the object (which may be null).
    explicit VLActiveXEnum(IUnknown* object);
    virtual ~VLActiveXEnum();
    VLActiveXEnum(const VLActiveXEnum&) = delete;
    VLActiveXEnum& operator=(const VLActiveXEnum&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Gives the object once, at the first position, whatever count is asked.
    STDMETHODIMP Next(ULONG count, IUnknown** objects, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumUnknown** copy) override;

private:
    LONG position_ = 0;
    LONG references_ = 1;
    IUnknown* object_;
};

} // namespace Velora
