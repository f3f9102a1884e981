#include "ui/controls/ActiveX.h"

#include "ui/controls/ActiveXCtrl.h"
#include "ui/controls/ActiveXWnd.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/GdiScope.h"
#include "base/PathUtil.h"

#include <ocidl.h>

namespace Velora {

namespace {

constexpr DWORD kCreateContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr size_t kClsidTextLimit = 99;

// Pixels to HIMETRIC at the screen's resolution.
SIZEL ToHimetric(int width, int height)
{
    VLWindowDC screen(nullptr);
    return {MulDiv(2540, width, GetDeviceCaps(screen.Get(), LOGPIXELSX)),
            MulDiv(2540, height, GetDeviceCaps(screen.Get(), LOGPIXELSY))};
}

RECT AtOrigin(const RECT& rect)
{
    return {0, 0, rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

VLActiveX::VLActiveX() = default;

VLActiveX::~VLActiveX()
{
    ReleaseControl();
}

int VLActiveX::GetClassId() const
{
    return kClassActiveX;
}

VLControl* VLActiveX::GetInterface(int id)
{
    return id == kClassActiveX || id == 1 ? this : nullptr;
}

void VLActiveX::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    bool on = value == L"true";
    if (name == L"clsid")
        SetClsidText(value);
    else if (name == L"modulename")
        moduleName = value;
    else if (name == L"delaycreate")
        SetDelayCreate(on);
    else if (name == L"enable3dborder")
        enable3DBorder = on;
    else if (name == L"enablescrollbar")
        enableScrollBar = on;
    else if (name == L"enablecontextmenu")
        enableContextMenu = on;
    else if (name == L"windowless")
        windowless = on;
    else if (name == L"showjserror")
        showScriptErrors = on;
    else
        VLControl::SetAttribute(name, value);
}

void VLActiveX::SetClsidText(const std::wstring& text)
{
    std::wstring cut = text.substr(0, kClsidTextLimit);
    CLSID clsid = {};
    HRESULT hr =
        !cut.empty() && cut[0] == L'{' ? CLSIDFromString(cut.c_str(), &clsid) : CLSIDFromProgID(cut.c_str(), &clsid);
    if (FAILED(hr)) clsid = CLSID();
    SetClsid(clsid);
}

void VLActiveX::SetClsid(const CLSID& clsid)
{
    if (IsEqualCLSID(clsid, clsid_)) return;
    clsid_ = clsid;
    created_ = false;
    if (!delayCreate_) CreateControl();
}

void VLActiveX::SetDelayCreate(bool delay)
{
    if (delayCreate_ != delay && !delay && !created_ && !IsEqualCLSID(clsid_, CLSID())) {
        delayCreate_ = delay;
        CreateControl();
    }
    delayCreate_ = delay;
}

HRESULT VLActiveX::GetControl(REFIID iid, void** out) const
{
    if (!out) return E_POINTER;
    if (!object_) return E_UNEXPECTED;
    return object_->QueryInterface(iid, out);
}

bool VLActiveX::TranslateAccelerator(MSG& msg)
{
    // Only keys are accelerators: an object that claimed any other message
    // would keep it from its window.
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    VLComPtr<IOleInPlaceActiveObject> active;
    if (FAILED(GetControl(IID_IOleInPlaceActiveObject, active.Receive())) || !active.Get()) return false;
    return active->TranslateAccelerator(&msg) == S_OK;
}

IOleControl* VLActiveX::CreateFromModule() const
{
    // A bare or relative name is looked up beside the program, never in the
    // current folder or along the search path, where anyone could plant it.
    std::wstring path = CombinePath(GetParentPath(GetModuleFilePath()), moduleName);
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return nullptr;
    auto getClassObject = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return nullptr;
    VLComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(clsid_, IID_IClassFactory, factory.Receive())) || !factory.Get()) return nullptr;
    IOleControl* control = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_IOleControl, reinterpret_cast<void**>(&control)))) return nullptr;
    return control;
}

bool VLActiveX::CreateControl()
{
    VLPaintManager* manager = GetManager();
    if (!manager || !manager->GetWindow()) return false;
    ReleaseControl();
    created_ = true;
    IOleControl* control = moduleName.empty() ? nullptr : CreateFromModule();
    if (!control &&
        FAILED(CoCreateInstance(clsid_, nullptr, kCreateContext, IID_IOleControl, reinterpret_cast<void**>(&control))))
        return false;
    HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
    control->Release();
    if (FAILED(hr) || !object_) {
        object_ = nullptr;
        return false;
    }

    site_ = new VLActiveXCtrl;
    site_->owner = this;
    DWORD status = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &status);
    VLComPtr<IOleClientSite> clientSite;
    site_->QueryInterface(IID_IOleClientSite, clientSite.Receive());
    if (status & OLEMISC_SETCLIENTSITEFIRST) object_->SetClientSite(clientSite.Get());
    VLComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(object_->QueryInterface(IID_IPersistStreamInit, persist.Receive())) && persist.Get() &&
        FAILED(persist->InitNew()))
        return false;
    if (!(status & OLEMISC_SETCLIENTSITEFIRST)) object_->SetClientSite(clientSite.Get());

    for (const IID* iid : {&IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject}) {
        hr = object_->QueryInterface(*iid, reinterpret_cast<void**>(&site_->viewObject));
        if (SUCCEEDED(hr) && site_->viewObject) break;
        site_->viewObject = nullptr;
    }
    object_->SetHostNames(L"UIActiveX", nullptr);
    if (!(status & OLEMISC_INVISIBLEATRUNTIME)) {
        RECT pos = GetPos();
        hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite.Get(), 0, manager->GetWindow(), &pos);
        RedrawWindow(manager->GetWindow(), &pos, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_FRAME);
    }
    VLComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(object_->QueryInterface(IID_IObjectWithSite, withSite.Receive())) && withSite.Get())
        withSite->SetSite(static_cast<IOleClientSite*>(site_));
    return SUCCEEDED(hr);
}

void VLActiveX::ReleaseControl()
{
    hostWindow = nullptr;
    if (object_) {
        VLComPtr<IObjectWithSite> withSite;
        if (SUCCEEDED(object_->QueryInterface(IID_IObjectWithSite, withSite.Receive())) && withSite.Get())
            withSite->SetSite(nullptr);
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_) {
        site_->owner = nullptr;
        site_->Release();
        site_ = nullptr;
    }
    if (VLPaintManager* manager = GetManager()) manager->RemoveMessageFilter(this);
}

void VLActiveX::SetPos(const RECT& rect)
{
    VLControl::SetPos(rect); // an inverted rectangle comes back empty
    RECT pos = GetPos();
    if (!created_) CreateControl();
    if (!object_ || !site_) return;
    SIZEL extent = ToHimetric(pos.right - pos.left, pos.bottom - pos.top);
    object_->SetExtent(DVASPECT_CONTENT, &extent);
    if (site_->inPlaceObject) {
        RECT objectRect = site_->windowless ? pos : AtOrigin(pos);
        site_->inPlaceObject->SetObjectRects(&objectRect, &objectRect);
    }
    if (!site_->windowless && site_->window)
        MoveWindow(site_->window->GetHWND(), pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top, TRUE);
}

void VLActiveX::SetVisible(bool visible)
{
    VLControl::SetVisible(visible);
    if (hostWindow && site_ && !site_->windowless) ShowWindow(hostWindow, IsVisible() ? SW_SHOW : SW_HIDE);
}

void VLActiveX::Paint(HDC dc, const RECT& paintRect)
{
    RECT pos = GetPos(), meet;
    if (!IntersectRect(&meet, &paintRect, &pos)) return;
    if (site_ && site_->windowless && site_->viewObject) {
        RECTL bounds = {pos.left, pos.top, pos.right, pos.bottom};
        site_->viewObject->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, &bounds, nullptr, 0);
    }
    if (firstPaintPending_ && GetManager()) {
        firstPaintPending_ = false;
        GetManager()->SendNotify(this, kNotifyActiveX, 0, 0);
    }
}

LRESULT VLActiveX::MessageFilter(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (!site_ || !site_->inPlaceActive || !site_->windowless || !site_->inPlaceObject) return 0;
    bool wasHandled = false;
    if ((message >= WM_MOUSEFIRST && message <= 0x20D) || message == WM_SETCURSOR) {
        if (!site_->captured) {
            VLComPtr<IViewObjectEx> view;
            if (!site_->viewObject || FAILED(site_->viewObject->QueryInterface(IID_IViewObjectEx, view.Receive())) ||
                !view.Get())
                return 0;
            RECT pos = GetPos();
            POINT point = PointOf(lParam);
            DWORD hit = 0;
            view->QueryHitPoint(DVASPECT_CONTENT, &pos, point, 0, &hit);
            if (hit != HITRESULT_HIT) return 0;
        }
        wasHandled = message != WM_SETCURSOR;
    } else if (message >= WM_KEYFIRST && message <= 0x108) {
        if (!IsFocused()) return 0;
        wasHandled = true;
    } else if (message != WM_HELP && message != WM_CONTEXTMENU) {
        return 0;
    }
    LRESULT result = 0;
    auto* object = static_cast<IOleInPlaceObjectWindowless*>(site_->inPlaceObject);
    if (SUCCEEDED(object->OnWindowMessage(message, wParam, lParam, &result))) handled = wasHandled;
    return result;
}

} // namespace Velora
