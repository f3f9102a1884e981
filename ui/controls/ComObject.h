// The reference counting and interface answers shared by the COM objects the
// hosts hand out (site, frame, enumerator).
#pragma once

#include <unknwn.h>

namespace Velora {

// Gives out one part of an object: counted into out, E_NOINTERFACE (and a
// null out) when the object has no such part.
inline HRESULT VLComAnswer(void** out, IUnknown* part)
{
    if (!out) return E_POINTER;
    *out = part;
    if (!part) return E_NOINTERFACE;
    part->AddRef();
    return S_OK;
}

// One count shared by all the interfaces; the last Release deletes the
// object. Counts are plain: these objects live on the UI thread only.
template <typename... Interfaces> class VLComObject : public Interfaces... {
public:
    VLComObject() = default;
    virtual ~VLComObject() = default;
    VLComObject(const VLComObject&) = delete;
    VLComObject& operator=(const VLComObject&) = delete;

    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    LONG references_ = 1;
};

} // namespace Velora
