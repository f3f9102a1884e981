#include "ui/controls/ActiveXFrameWnd.h"

#include "ui/controls/ActiveX.h"

namespace Velora {

VLActiveXFrameWnd::~VLActiveXFrameWnd()
{
    if (activeObject) activeObject->Release();
}

STDMETHODIMP VLActiveXFrameWnd::QueryInterface(REFIID iid, void** out)
{
    bool known =
        iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame;
    return VLComAnswer(out, known ? this : nullptr);
}

STDMETHODIMP VLActiveXFrameWnd::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    if (!owner || !owner->GetManager()) return E_UNEXPECTED;
    *window = owner->GetManager()->GetWindow();
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR)
{
    if (object) object->AddRef();
    if (activeObject) activeObject->Release();
    activeObject = object;
    return S_OK;
}

} // namespace Velora
