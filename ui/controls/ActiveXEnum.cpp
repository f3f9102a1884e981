#include "ui/controls/ActiveXEnum.h"

namespace Velora {

VLActiveXEnum::VLActiveXEnum(IUnknown* object) : object_(object)
{
    if (object_) object_->AddRef();
}

VLActiveXEnum::~VLActiveXEnum()
{
    if (object_) object_->Release();
}

STDMETHODIMP VLActiveXEnum::QueryInterface(REFIID iid, void** out)
{
    return VLComAnswer(out, iid == IID_IUnknown || iid == IID_IEnumUnknown ? this : nullptr);
}

STDMETHODIMP VLActiveXEnum::Next(ULONG, IUnknown** objects, ULONG* fetched)
{
    if (fetched) *fetched = 0;
    if (++position_ != 1 || !objects) return S_FALSE;
    *objects = object_;
    if (object_) object_->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
}

STDMETHODIMP VLActiveXEnum::Skip(ULONG count)
{
    position_ += static_cast<LONG>(count);
    return S_OK;
}

STDMETHODIMP VLActiveXEnum::Reset()
{
    position_ = 0;
    return S_OK;
}

} // namespace Velora
