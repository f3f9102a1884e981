#include "TestControl.h"

#include <ocidl.h>
#include <olectl.h>

#include <cwchar>
#include <string>

namespace {

struct Settings {
    DWORD miscStatus = OLEMISC_SETCLIENTSITEFIRST;
    BOOL windowless = TRUE;
    COLORREF colour = RGB(255, 0, 0);
    UINT acceleratorKey = 0;
} settings;

std::wstring log;
LONG instances = 0;

void Record(const wchar_t* format, ...)
{
    wchar_t line[256];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, 255, format, args);
    va_end(args);
    line[255] = 0;
    log += line;
    log += L'\n';
}

class TestControl : public IOleObject,
                    public IOleControl,
                    public IOleInPlaceObjectWindowless,
                    public IOleInPlaceActiveObject,
                    public IViewObjectEx,
                    public IPersistStreamInit,
                    public IObjectWithSite {
public:
    TestControl() : settings_(settings) { InterlockedIncrement(&instances); }
    virtual ~TestControl()
    {
        if (window_) DestroyWindow(window_);
        InterlockedDecrement(&instances);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleObject)
            *out = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleControl)
            *out = static_cast<IOleControl*>(this);
        else if (iid == IID_IOleInPlaceObjectWindowless || iid == IID_IOleInPlaceObject || iid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceObjectWindowless*>(this);
        else if (iid == IID_IOleInPlaceActiveObject)
            *out = static_cast<IOleInPlaceActiveObject*>(this);
        else if (iid == IID_IViewObjectEx || iid == IID_IViewObject2 || iid == IID_IViewObject)
            *out = static_cast<IViewObjectEx*>(this);
        else if (iid == IID_IPersistStreamInit)
            *out = static_cast<IPersistStreamInit*>(this);
        else if (iid == IID_IObjectWithSite)
            *out = static_cast<IObjectWithSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override
    {
        Record(L"SetClientSite %d", site != nullptr);
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override
    {
        Record(L"GetClientSite");
        *site = site_;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override
    {
        Record(L"SetHostNames %ls %d", app ? app : L"", object != nullptr);
        return S_OK;
    }
    STDMETHODIMP Close(DWORD option) override
    {
        Record(L"Close %lu", option);
        InPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return Unused(L"SetMoniker"); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return Unused(L"GetMoniker"); }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return Unused(L"InitFromData"); }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return Unused(L"GetClipboardData"); }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG index, HWND parent, LPCRECT rect) override
    {
        Record(L"DoVerb %ld %d %ld %d %ld %ld %ld %ld", verb, site != nullptr, index, parent != nullptr,
               rect ? rect->left : -1, rect ? rect->top : -1, rect ? rect->right : -1, rect ? rect->bottom : -1);
        if (verb != OLEIVERB_INPLACEACTIVATE || !site || inPlaceSite_) return S_OK;
        return Activate(site);
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return Unused(L"EnumVerbs"); }
    STDMETHODIMP Update() override { return Unused(L"Update"); }
    STDMETHODIMP IsUpToDate() override { return Unused(L"IsUpToDate"); }
    STDMETHODIMP GetUserClassID(CLSID*) override { return Unused(L"GetUserClassID"); }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return Unused(L"GetUserType"); }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override
    {
        Record(L"SetExtent %lu %ld %ld", aspect, size->cx, size->cy);
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return Unused(L"GetExtent"); }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return Unused(L"Advise"); }
    STDMETHODIMP Unadvise(DWORD) override { return Unused(L"Unadvise"); }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return Unused(L"EnumAdvise"); }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override
    {
        Record(L"GetMiscStatus %lu", aspect);
        *status = settings_.miscStatus;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return Unused(L"SetColorScheme"); }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return Unused(L"GetControlInfo"); }
    STDMETHODIMP OnMnemonic(MSG*) override { return Unused(L"OnMnemonic"); }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return Unused(L"OnAmbientPropertyChange"); }
    STDMETHODIMP FreezeEvents(BOOL) override { return Unused(L"FreezeEvents"); }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless
    STDMETHODIMP GetWindow(HWND* window) override
    {
        Record(L"GetWindow");
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return Unused(L"ContextSensitiveHelp"); }
    STDMETHODIMP InPlaceDeactivate() override
    {
        Record(L"InPlaceDeactivate");
        if (!inPlaceSite_) return S_OK;
        IOleInPlaceSite* site = inPlaceSite_;
        inPlaceSite_ = nullptr;
        site->OnInPlaceDeactivate();
        site->Release();
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return Unused(L"UIDeactivate"); }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override
    {
        Record(L"SetObjectRects %ld %ld %ld %ld / %ld %ld %ld %ld", position->left, position->top, position->right,
               position->bottom, clip->left, clip->top, clip->right, clip->bottom);
        if (window_)
            MoveWindow(window_, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, TRUE);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return Unused(L"ReactivateAndUndo"); }
    STDMETHODIMP OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        Record(L"OnWindowMessage %u %ld %ld", message, static_cast<long>(wParam), static_cast<long>(lParam));
        *result = 0x5A;
        return S_OK;
    }
    STDMETHODIMP GetDropTarget(IDropTarget**) override { return Unused(L"GetDropTarget"); }

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override
    {
        Record(L"TranslateAccelerator %u %ld", msg->message, static_cast<long>(msg->wParam));
        return msg->wParam == settings_.acceleratorKey ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return Unused(L"OnFrameWindowActivate"); }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return Unused(L"OnDocWindowActivate"); }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return Unused(L"ResizeBorder"); }
    STDMETHODIMP EnableModeless(BOOL) override { return Unused(L"EnableModeless"); }

    // IViewObject, IViewObject2, IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override
    {
        Record(L"Draw %lu %ld %ld %ld %ld %ld", aspect, index, bounds->left, bounds->top, bounds->right,
               bounds->bottom);
        RECT area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
        HBRUSH brush = CreateSolidBrush(settings_.colour);
        FillRect(dc, &area, brush);
        DeleteObject(brush);
        return S_OK;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override
    {
        return Unused(L"GetColorSet");
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return Unused(L"Freeze"); }
    STDMETHODIMP Unfreeze(DWORD) override { return Unused(L"Unfreeze"); }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override { return Unused(L"SetAdvise"); }
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return Unused(L"GetAdvise"); }
    STDMETHODIMP GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL) override { return Unused(L"GetExtent2"); }
    STDMETHODIMP GetRect(DWORD, LPRECTL) override { return Unused(L"GetRect"); }
    STDMETHODIMP GetViewStatus(DWORD*) override { return Unused(L"GetViewStatus"); }
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG closeHint, DWORD* result) override
    {
        Record(L"QueryHitPoint %lu %ld %ld %ld", aspect, point.x, point.y, closeHint);
        *result = PtInRect(bounds, point) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
        return S_OK;
    }
    STDMETHODIMP QueryHitRect(DWORD, LPCRECT, LPCRECT, LONG, DWORD*) override { return Unused(L"QueryHitRect"); }
    STDMETHODIMP GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override
    {
        return Unused(L"GetNaturalExtent");
    }

    // IPersist, IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        *clsid = CLSID_VLTestControl;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return Unused(L"IsDirty"); }
    STDMETHODIMP Load(LPSTREAM) override { return Unused(L"Load"); }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return Unused(L"Save"); }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return Unused(L"GetSizeMax"); }
    STDMETHODIMP InitNew() override
    {
        Record(L"InitNew");
        return S_OK;
    }

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override
    {
        Record(L"SetSite %d", site != nullptr);
        return S_OK;
    }
    STDMETHODIMP GetSite(REFIID, void**) override { return Unused(L"GetSite"); }

private:
    HRESULT Unused(const wchar_t* name)
    {
        Record(L"%ls", name);
        return E_NOTIMPL;
    }

    // In-place activation the way a control does it: windowless when both
    // sides agree, else in a child window of the site's window.
    HRESULT Activate(IOleClientSite* site)
    {
        IOleInPlaceSiteWindowless* windowless = nullptr;
        if (settings_.windowless &&
            SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&windowless)))) {
            HRESULT hr = windowless->CanWindowlessActivate() == S_OK
                             ? windowless->OnInPlaceActivateEx(nullptr, ACTIVATE_WINDOWLESS)
                             : windowless->OnInPlaceActivate();
            if (FAILED(hr)) {
                windowless->Release();
                return hr;
            }
            inPlaceSite_ = windowless;
        } else {
            IOleInPlaceSite* inPlace = nullptr;
            HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace));
            if (FAILED(hr)) return hr;
            hr = inPlace->OnInPlaceActivate();
            HWND parent = nullptr;
            if (SUCCEEDED(hr)) hr = inPlace->GetWindow(&parent);
            if (FAILED(hr)) {
                inPlace->Release();
                return hr;
            }
            inPlaceSite_ = inPlace;
            window_ = CreateWindowExW(0, L"STATIC", L"test control", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, parent, nullptr,
                                      nullptr, nullptr);
            staticProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordKeys)));
        }
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position = {}, clip = {};
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof(info);
        if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &document, &position, &clip, &info))) {
            Record(L"GetWindowContext %u %d %u", info.cb, info.hwndFrame != nullptr, info.cAccelEntries);
            if (frame) frame->Release();
            if (document) document->Release();
        }
        return S_OK;
    }

    // The keys that reach the control's window (dispatched to it).
    static LRESULT CALLBACK RecordKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_KEYDOWN) Record(L"KeyDown %ld", static_cast<long>(wParam));
        return CallWindowProcW(staticProc, window, message, wParam, lParam);
    }
    static WNDPROC staticProc;

    LONG references_ = 1;
    Settings settings_;
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* inPlaceSite_ = nullptr;
    HWND window_ = nullptr;
};

WNDPROC TestControl::staticProc = nullptr;

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        Record(L"CreateInstance");
        if (outer) return CLASS_E_NOAGGREGATION;
        TestControl* control = new TestControl;
        HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
} factory;

} // namespace

extern "C" {

__declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (clsid != CLSID_VLTestControl) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

__declspec(dllexport) void __stdcall TestControlSetup(DWORD miscStatus, BOOL windowless, COLORREF colour,
                                                      UINT acceleratorKey)
{
    settings = {miscStatus, windowless, colour, acceleratorKey};
}

__declspec(dllexport) const wchar_t* __stdcall TestControlLog()
{
    return log.c_str();
}

__declspec(dllexport) void __stdcall TestControlClear()
{
    log.clear();
}

__declspec(dllexport) LONG __stdcall TestControlInstances()
{
    return instances;
}
}
