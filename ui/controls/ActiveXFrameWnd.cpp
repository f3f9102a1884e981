#include "ui/controls/ActiveXFrameWnd.h"

#include "ui/controls/ActiveX.h"

namespace Velora {

VLActiveXFrameWnd::~VLActiveXFrameWnd()
{
    if (activeObject) activeObject->Release();
}

STDMETHODIMP VLActiveXFrameWnd::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IOleWindow && iid != IID_IOleInPlaceUIWindow && iid != IID_IOleInPlaceFrame)
        return E_NOINTERFACE;
    *out = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) VLActiveXFrameWnd::AddRef()
{
    return ++references_;
}

STDMETHODIMP_(ULONG) VLActiveXFrameWnd::Release()
{
    LONG left = --references_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP VLActiveXFrameWnd::GetWindow(HWND* window)
{
    if (!window) return E_POINTER;
    if (!owner || !owner->GetManager()) return E_UNEXPECTED;
    *window = owner->GetManager()->window;
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::ContextSensitiveHelp(BOOL)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::GetBorder(LPRECT)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::RequestBorderSpace(LPCBORDERWIDTHS)
{
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP VLActiveXFrameWnd::SetBorderSpace(LPCBORDERWIDTHS)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR)
{
    if (object) object->AddRef();
    if (activeObject) activeObject->Release();
    activeObject = object;
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::SetMenu(HMENU, HOLEMENU, HWND)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::RemoveMenus(HMENU)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::SetStatusText(LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::EnableModeless(BOOL)
{
    return S_OK;
}

STDMETHODIMP VLActiveXFrameWnd::TranslateAccelerator(LPMSG, WORD)
{
    return S_FALSE;
}

} // namespace Velora
