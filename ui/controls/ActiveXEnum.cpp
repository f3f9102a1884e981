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
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumUnknown) return E_NOINTERFACE;
    *out = static_cast<IEnumUnknown*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) VLActiveXEnum::AddRef()
{
    return ++references_;
}

STDMETHODIMP_(ULONG) VLActiveXEnum::Release()
{
    LONG left = --references_;
    if (left == 0) delete this;
    return left;
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

STDMETHODIMP VLActiveXEnum::Clone(IEnumUnknown**)
{
    return E_NOTIMPL;
}

} // namespace Velora
