#include "ui/controls/ActiveXCtrl.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/ActiveXEnum.h"
#include "ui/controls/ActiveXFrameWnd.h"
#include "ui/controls/ActiveXWnd.h"

#include "base/ComScope.h"
#include "ui/core/RenderClip.h"

#include <mshtml.h>

namespace Velora {

namespace {

// The document host's command group, in which documents ask about script
// errors.
const GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

template <typename T> void Replace(T*& field, T* value)
{
    if (value) value->AddRef();
    if (field) field->Release();
    field = value;
}

} // namespace

VLActiveXCtrl::VLActiveXCtrl() = default;

VLActiveXCtrl::~VLActiveXCtrl()
{
    DestroyHostWindow();
    Replace<IUnknown>(outerSite, nullptr);
    Replace<IViewObject>(viewObject, nullptr);
    Replace<IOleInPlaceObject>(inPlaceObject, nullptr);
    if (accelerators) DestroyAcceleratorTable(accelerators);
}

void VLActiveXCtrl::DestroyHostWindow()
{
    if (!window) return;
    if (owner) {
        owner->hostWindow = nullptr;
        owner->SetHostWindow(nullptr);
    }
    delete window;
    window = nullptr;
}

HWND VLActiveXCtrl::ManagerWindow() const
{
    return owner && owner->GetManager() ? owner->GetManager()->GetWindow() : nullptr;
}

RECT VLActiveXCtrl::ObjectRect() const
{
    RECT pos = owner->GetPos();
    if (!windowless) OffsetRect(&pos, -pos.left, -pos.top);
    return pos;
}

STDMETHODIMP VLActiveXCtrl::QueryInterface(REFIID iid, void** out)
{
    IUnknown* part = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        part = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleInPlaceSiteWindowless || iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSite ||
             iid == IID_IOleWindow)
        part = static_cast<IOleInPlaceSiteWindowless*>(this);
    else if (iid == IID_IOleControlSite)
        part = static_cast<IOleControlSite*>(this);
    else if (iid == IID_IOleContainer)
        part = static_cast<IOleContainer*>(this);
    else if (iid == IID_IObjectWithSite)
        part = static_cast<IObjectWithSite*>(this);
    else if (iid == IID_IOleCommandTarget)
        part = static_cast<IOleCommandTarget*>(this);
    else if (iid == IID_IDocHostUIHandler)
        part = static_cast<IDocHostUIHandler*>(this);
    return VLComAnswer(out, part);
}

// IOleClientSite

STDMETHODIMP VLActiveXCtrl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP VLActiveXCtrl::GetContainer(IOleContainer** container)
{
    if (!container) return E_POINTER;
    *container = nullptr;
    if (outerSite && SUCCEEDED(outerSite->QueryInterface(IID_IOleContainer, reinterpret_cast<void**>(container))) &&
        *container)
        return S_OK;
    return QueryInterface(IID_IOleContainer, reinterpret_cast<void**>(container));
}

STDMETHODIMP VLActiveXCtrl::ShowObject()
{
    if (!owner) return E_UNEXPECTED;
    HDC dc = ::GetDC(owner->hostWindow);
    if (!dc) return E_FAIL;
    if (viewObject) {
        RECT pos = owner->GetPos();
        RECTL bounds = {pos.left, pos.top, pos.right, pos.bottom};
        viewObject->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, &bounds, nullptr, 0);
    }
    ::ReleaseDC(owner->hostWindow, dc);
    return S_OK;
}

// IOleWindow

STDMETHODIMP VLActiveXCtrl::GetWindow(HWND* hwnd)
{
    if (!hwnd) return E_POINTER;
    if (!owner) return E_UNEXPECTED;
    if (!owner->hostWindow && !window) {
        window = new VLActiveXWnd(this);
        owner->hostWindow = window->Init(ManagerWindow());
    }
    *hwnd = owner->hostWindow;
    return *hwnd ? S_OK : E_FAIL;
}

// IOleInPlaceSite, IOleInPlaceSiteEx

STDMETHODIMP VLActiveXCtrl::OnInPlaceActivate()
{
    if (!owner) return E_UNEXPECTED;
    return OnInPlaceActivateEx(nullptr, owner->windowless ? ACTIVATE_WINDOWLESS : 0);
}

STDMETHODIMP VLActiveXCtrl::OnUIActivate()
{
    uiActive = true;
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::OnUIDeactivate(BOOL)
{
    uiActive = false;
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo)
{
    if (!document || !frame || !position || !clip) return E_POINTER;
    if (!owner) return E_UNEXPECTED;
    *frame = new VLActiveXFrameWnd(owner);
    *document = nullptr;
    if (accelerators) DestroyAcceleratorTable(accelerators);
    ACCEL none = {};
    accelerators = CreateAcceleratorTableW(&none, 1);
    if (frameInfo) {
        frameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = ManagerWindow();
        frameInfo->haccel = accelerators;
        frameInfo->cAccelEntries = 1;
    }
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::OnInPlaceDeactivate()
{
    return OnInPlaceDeactivateEx(TRUE);
}

STDMETHODIMP VLActiveXCtrl::OnInPlaceActivateEx(BOOL*, DWORD flags)
{
    VLComPtr<IOleObject> object;
    if (!owner || FAILED(owner->GetControl(IID_IOleObject, object.Receive()))) return E_UNEXPECTED;
    OleLockRunning(object.Get(), TRUE, FALSE);
    VLPaintManager* manager = owner->GetManager();
    HRESULT hr = E_FAIL;
    Replace<IOleInPlaceObject>(inPlaceObject, nullptr);
    if (flags & ACTIVATE_WINDOWLESS) {
        windowless = true;
        hr = object->QueryInterface(IID_IOleInPlaceObjectWindowless, reinterpret_cast<void**>(&inPlaceObject));
        owner->hostWindow = ManagerWindow();
        if (manager) manager->AddMessageFilter(owner);
    }
    if (FAILED(hr)) {
        windowless = false;
        if (manager) manager->RemoveMessageFilter(owner);
        if (!window) {
            window = new VLActiveXWnd(this);
            if (!window->Init(ManagerWindow())) {
                delete window;
                window = nullptr;
                return E_OUTOFMEMORY;
            }
        }
        owner->hostWindow = window->GetHWND();
        owner->SetHostWindow(window->GetHWND());
        hr = object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlaceObject));
    }
    if (FAILED(hr)) inPlaceObject = nullptr;
    if (inPlaceObject) {
        RECT rect = ObjectRect();
        inPlaceObject->SetObjectRects(&rect, &rect);
    }
    inPlaceActive = SUCCEEDED(hr);
    return hr;
}

STDMETHODIMP VLActiveXCtrl::OnInPlaceDeactivateEx(BOOL)
{
    inPlaceActive = false;
    Replace<IOleInPlaceObject>(inPlaceObject, nullptr);
    DestroyHostWindow();
    return S_OK;
}

// IOleInPlaceSiteWindowless

STDMETHODIMP VLActiveXCtrl::SetCapture(BOOL capture)
{
    if (!owner) return E_UNEXPECTED;
    captured = capture == TRUE;
    if (captured)
        ::SetCapture(owner->hostWindow);
    else
        ::ReleaseCapture();
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::SetFocus(BOOL focus)
{
    if (!owner) return E_UNEXPECTED;
    if (focus) owner->SetFocus();
    focused = focus == TRUE;
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::GetDC(LPCRECT, DWORD flags, HDC* dc)
{
    if (!dc) return E_POINTER;
    if (!owner) return E_UNEXPECTED;
    *dc = ::GetDC(owner->hostWindow);
    RECT seen{};
    if (*dc && (flags & OLEDC_PAINTBKGND) && VLRenderClip::VisiblePart(*dc, ObjectRect(), seen))
        FillRect(*dc, &seen, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::ReleaseDC(HDC dc)
{
    if (!owner) return E_UNEXPECTED;
    ::ReleaseDC(owner->hostWindow, dc);
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::InvalidateRect(LPCRECT rect, BOOL erase)
{
    if (!owner) return E_UNEXPECTED;
    if (!owner->hostWindow) return E_FAIL;
    return ::InvalidateRect(owner->hostWindow, rect, erase) ? S_OK : E_FAIL;
}

STDMETHODIMP VLActiveXCtrl::InvalidateRgn(HRGN region, BOOL erase)
{
    if (!owner) return E_UNEXPECTED;
    if (!owner->hostWindow) return E_FAIL;
    return ::InvalidateRgn(owner->hostWindow, region, erase) ? S_OK : E_FAIL;
}

STDMETHODIMP VLActiveXCtrl::OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (!owner) return E_UNEXPECTED;
    LRESULT answer = DefWindowProcW(owner->hostWindow, message, wParam, lParam);
    if (result) *result = answer;
    return S_OK;
}

// IOleControlSite

STDMETHODIMP VLActiveXCtrl::GetExtendedControl(IDispatch** control)
{
    if (!control) return E_POINTER;
    *control = nullptr;
    if (!owner) return E_UNEXPECTED;
    return owner->GetControl(IID_IDispatch, reinterpret_cast<void**>(control));
}

STDMETHODIMP VLActiveXCtrl::OnFocus(BOOL gotFocus)
{
    focused = gotFocus == TRUE;
    return S_OK;
}

// IObjectWithSite

STDMETHODIMP VLActiveXCtrl::SetSite(IUnknown* site)
{
    Replace(outerSite, site);
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::GetSite(REFIID iid, void** site)
{
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!outerSite) return E_FAIL;
    return outerSite->QueryInterface(iid, site);
}

// IOleContainer

STDMETHODIMP VLActiveXCtrl::EnumObjects(DWORD, IEnumUnknown** objects)
{
    if (!objects) return E_POINTER;
    *objects = nullptr;
    if (!owner) return E_UNEXPECTED;
    VLComPtr<IUnknown> object;
    owner->GetControl(IID_IOleObject, object.Receive());
    *objects = new VLActiveXEnum(object.Get());
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::LockContainer(BOOL lock)
{
    containerLocked = lock != FALSE;
    return S_OK;
}

// IDocHostUIHandler

STDMETHODIMP VLActiveXCtrl::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    if (!owner) return E_UNEXPECTED;
    return owner->enableContextMenu ? E_NOTIMPL : S_OK;
}

STDMETHODIMP VLActiveXCtrl::GetHostInfo(DOCHOSTUIINFO* info)
{
    if (!info) return E_POINTER;
    if (!owner) return E_UNEXPECTED;
    if (!owner->enable3DBorder) info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    if (!owner->enableScrollBar) info->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    return S_OK;
}

STDMETHODIMP VLActiveXCtrl::GetExternal(IDispatch** external)
{
    if (!external) return E_POINTER;
    *external = nullptr;
    if (!owner) return E_UNEXPECTED;
    if (!owner->externalObject) return E_NOTIMPL;
    Replace(*external, owner->externalObject);
    return S_OK;
}

// IOleCommandTarget

STDMETHODIMP VLActiveXCtrl::Exec(const GUID* group, DWORD command, DWORD, VARIANT* in, VARIANT* out)
{
    if (!group || !IsEqualGUID(*group, kDocHostCommandHandler)) return OLECMDERR_E_UNKNOWNGROUP;
    if (!owner) return E_UNEXPECTED;
    if (owner->showScriptErrors) return OLECMDERR_E_UNKNOWNGROUP;
    if (command != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
    // Only a well-formed answer slot can tell the document to go on without
    // its dialog; the document behind the in argument is optional.
    if (!out) return E_POINTER;
    if (in && (V_VT(in) == VT_UNKNOWN || V_VT(in) == VT_DISPATCH) && V_UNKNOWN(in)) ReadScriptError(V_UNKNOWN(in));
    VariantClear(out);
    V_VT(out) = VT_BOOL;
    V_BOOL(out) = VARIANT_TRUE;
    return S_OK;
}

void VLActiveXCtrl::ReadScriptError(IUnknown* unknown)
{
    VLComPtr<IHTMLDocument2> document;
    VLComPtr<IHTMLWindow2> window;
    VLComPtr<IHTMLEventObj> event;
    if (FAILED(unknown->QueryInterface(IID_IHTMLDocument2, document.Receive())) || !document.Get() ||
        FAILED(document->get_parentWindow(window.Put())) || !window.Get() || FAILED(window->get_event(event.Put())) ||
        !event.Get())
        return;
    for (const wchar_t* name : {L"errorLine", L"errorCharacter", L"errorCode", L"errorMessage", L"errorUrl"}) {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        if (FAILED(event->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) continue;
        DISPPARAMS none = {};
        VARIANT value;
        VariantInit(&value);
        event->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
        VariantClear(&value);
    }
}

void VLActiveXCtrl::DoVerb(LONG verb)
{
    VLComPtr<IOleObject> object;
    VLComPtr<IOleClientSite> clientSite;
    if (!owner || !window || FAILED(owner->GetControl(IID_IOleObject, object.Receive())) ||
        FAILED(QueryInterface(IID_IOleClientSite, clientSite.Receive())))
        return;
    RECT pos = owner->GetPos();
    object->DoVerb(verb, nullptr, clientSite.Get(), 0, window->GetHWND(), &pos);
}

} // namespace Velora
