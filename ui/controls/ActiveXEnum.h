// The container's list of its objects: the one hosted object.
#pragma once

#include "ui/controls/ComObject.h"

#include <ole2.h>

namespace Velora {

class VLActiveXEnum : public VLComObject<IEnumUnknown> {
public:
    // Holds a reference to the object (which may be null).
    explicit VLActiveXEnum(IUnknown* object);
    ~VLActiveXEnum() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    // Gives the object once, at the first position, whatever count is asked.
    STDMETHODIMP Next(ULONG count, IUnknown** objects, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumUnknown**) override { return E_NOTIMPL; }

private:
    LONG position_ = 0;
    IUnknown* object_;
};

} // namespace Velora
