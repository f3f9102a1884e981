#include "ui/controls/WebBrowser.h"

#include "ui/controls/ActiveXCtrl.h"
#include "ui/controls/ComObject.h"

#include "base/ComScope.h"

#include <exdispid.h>
#include <ocidl.h>

namespace Velora {

namespace {

constexpr wchar_t kBrowserClass[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// The two event interfaces a browser may only offer by name.
const IID kWebBrowserEvents2 = {0x34a715a0, 0x6587, 0x11d0, {0x92, 0x4a, 0x00, 0x20, 0xaf, 0xc7, 0xac, 0x4d}};
const IID kWebBrowserEvents = {0xeab22ac2, 0x30c1, 0x11cf, {0xa7, 0xeb, 0x00, 0x00, 0xc0, 0x5b, 0xae, 0x0b}};

struct EventArity {
    DISPID id;
    UINT arguments;
};
constexpr EventArity kEvents[] = {
    {DISPID_STATUSTEXTCHANGE, 1}, {DISPID_PROGRESSCHANGE, 2}, {DISPID_COMMANDSTATECHANGE, 2},
    {DISPID_TITLECHANGE, 1},      {DISPID_NEWWINDOW2, 2},     {DISPID_NAVIGATECOMPLETE2, 2},
    {DISPID_BEFORENAVIGATE2, 7},  {DISPID_BEFORENAVIGATE, 6}, {DISPID_DOCUMENTCOMPLETE, 2},
    {DISPID_NEWWINDOW3, 5},       {DISPID_NEWWINDOW, 6},      {DISPID_DOWNLOADCOMPLETE, 0},
    {DISPID_WINDOWCLOSING, 2},
};

// The arguments of one event call, numbered in declaration order (the call
// stores them last first).
class EventArguments {
public:
    explicit EventArguments(const DISPPARAMS& parameters) : parameters_(parameters) {}
    const VARIANT& At(UINT index) const { return parameters_.rgvarg[parameters_.cArgs - 1 - index]; }
    // The argument's 32-bit payload, whatever its variant type says.
    template <typename T> T Value(UINT index) const { return reinterpret_cast<T>(V_BYREF(&At(index))); }
    LONG Long(UINT index) const { return V_I4(&At(index)); }
    VARIANT_BOOL Bool(UINT index) const { return V_BOOL(&At(index)); }

private:
    const DISPPARAMS& parameters_;
};

} // namespace

VLWebBrowser::VLWebBrowser() = default;

VLWebBrowser::~VLWebBrowser()
{
    VLComPtr<IUnknown> object;
    if (SUCCEEDED(GetControl(IID_IUnknown, object.Receive()))) UnadviseAll(object.Get());
    if (browser_) browser_->Release();
    browser_ = nullptr;
}

int VLWebBrowser::GetClassId() const
{
    return kClassWebBrowser;
}

VLControl* VLWebBrowser::GetInterface(int id)
{
    return id == kClassWebBrowser || id == kClassActiveX || id == 1 ? this : nullptr;
}

void VLWebBrowser::Init()
{
    SetDelayCreate(false);
    SetClsidText(kBrowserClass);
    VLComPtr<IUnknown> object;
    if (SUCCEEDED(GetControl(IID_IUnknown, object.Receive()))) AdviseAll(object.Get());
    if (browser_) browser_->Release();
    browser_ = nullptr;
    GetControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
}

void VLWebBrowser::SetFocus()
{
    if (GetManager()) GetManager()->SetFocus(this);
    if (GetSite() && !GetSite()->windowless) GetSite()->DoVerb(OLEIVERB_UIACTIVATE);
}

void VLWebBrowser::Advise(IConnectionPoint* point)
{
    IID iid = {};
    if (FAILED(point->GetConnectionInterface(&iid))) iid = IID();
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie))) return;
    connections.push_back(iid);
    cookies.push_back(cookie);
}

void VLWebBrowser::AdviseAll(IUnknown* object)
{
    VLComPtr<IConnectionPointContainer> container;
    if (FAILED(object->QueryInterface(IID_IConnectionPointContainer, container.Receive())) || !container.Get()) return;
    VLComPtr<IEnumConnectionPoints> points;
    if (SUCCEEDED(container->EnumConnectionPoints(points.Put())) && points.Get()) {
        for (;;) {
            VLComPtr<IConnectionPoint> point;
            ULONG fetched = 0;
            if (points->Next(1, point.Put(), &fetched) != S_OK || fetched != 1 || !point.Get()) break;
            Advise(point.Get());
        }
        return;
    }
    // A browser that cannot list its connection points still finds them by
    // interface.
    for (const IID* iid : {&kWebBrowserEvents2, &kWebBrowserEvents}) {
        VLComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(*iid, point.Put())) && point.Get()) Advise(point.Get());
    }
}

void VLWebBrowser::UnadviseAll(IUnknown* object)
{
    VLComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer, container.Receive())) && container.Get()) {
        for (size_t i = 0; i < connections.size(); ++i) {
            VLComPtr<IConnectionPoint> point;
            if (SUCCEEDED(container->FindConnectionPoint(connections[i], point.Put())) && point.Get())
                point->Unadvise(cookies[i]);
        }
    }
    connections.clear();
    cookies.clear();
}

STDMETHODIMP VLWebBrowser::QueryInterface(REFIID iid, void** out)
{
    bool known = iid == IID_IUnknown || iid == IID_IDispatch || iid == kWebBrowserEvents2 || iid == kWebBrowserEvents;
    return VLComAnswer(out, known ? static_cast<IDispatch*>(this) : nullptr);
}

STDMETHODIMP_(ULONG) VLWebBrowser::AddRef()
{
    return ++sinkReferences_;
}

STDMETHODIMP_(ULONG) VLWebBrowser::Release()
{
    return --sinkReferences_;
}

STDMETHODIMP VLWebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                  UINT*)
{
    if ((flags & DISPATCH_METHOD) && parameters) Dispatch(id, *parameters);
    return E_NOTIMPL;
}

void VLWebBrowser::Dispatch(DISPID id, const DISPPARAMS& parameters)
{
    const EventArity* event = nullptr;
    for (const EventArity& known : kEvents)
        if (known.id == id) event = &known;
    if (!event || parameters.cArgs < event->arguments || (event->arguments && !parameters.rgvarg)) return;
    EventArguments a(parameters);
    switch (id) {
    case DISPID_STATUSTEXTCHANGE: return OnStatusTextChange(a.Value<BSTR>(0));
    case DISPID_PROGRESSCHANGE: return OnProgressChange(a.Long(0), a.Long(1));
    case DISPID_COMMANDSTATECHANGE: return OnCommandStateChange(a.Long(0), a.Bool(1));
    case DISPID_TITLECHANGE: return OnTitleChange(a.Value<BSTR>(0));
    case DISPID_NEWWINDOW2: return OnNewWindow2(a.Value<IDispatch**>(0), a.Value<VARIANT_BOOL*>(1));
    case DISPID_NAVIGATECOMPLETE2: return OnNavigateComplete2(a.Value<IDispatch*>(0), a.Value<VARIANT*>(1));
    case DISPID_BEFORENAVIGATE2:
        return OnBeforeNavigate2(a.Value<IDispatch*>(0), a.Value<VARIANT*>(1), a.Value<VARIANT*>(2),
                                 a.Value<VARIANT*>(3), a.Value<VARIANT*>(4), a.Value<VARIANT*>(5),
                                 a.Value<VARIANT_BOOL*>(6));
    case DISPID_BEFORENAVIGATE:
        return OnBeforeNavigate(a.Value<BSTR>(0), a.Long(1), a.Value<BSTR>(2), a.Value<VARIANT*>(3), a.Value<BSTR>(4),
                                a.Value<VARIANT_BOOL*>(5));
    case DISPID_DOCUMENTCOMPLETE: return OnDocumentComplete(a.Value<IDispatch*>(0), a.Value<VARIANT*>(1));
    case DISPID_NEWWINDOW3:
        return OnNewWindow3(a.Value<IDispatch**>(0), a.Value<VARIANT_BOOL*>(1), static_cast<DWORD>(a.Long(2)),
                            a.Value<BSTR>(3), a.Value<BSTR>(4));
    case DISPID_NEWWINDOW: return OnNewWindow(a.Value<BSTR>(4), a.Value<VARIANT_BOOL*>(5));
    case DISPID_DOWNLOADCOMPLETE: return OnDownloadComplete();
    case DISPID_WINDOWCLOSING: return OnWindowClosing(a.Bool(0), a.Value<VARIANT_BOOL*>(1));
    }
}

void VLWebBrowser::OnStatusTextChange(BSTR) {}
void VLWebBrowser::OnProgressChange(LONG, LONG) {}

void VLWebBrowser::OnCommandStateChange(LONG command, LONG enable)
{
    if (command == CSC_NAVIGATEFORWARD)
        canGoForward_ = enable;
    else if (command == CSC_NAVIGATEBACK)
        canGoBack_ = enable;
}

void VLWebBrowser::OnTitleChange(BSTR) {}
void VLWebBrowser::OnNewWindow2(IDispatch**, VARIANT_BOOL*) {}
void VLWebBrowser::OnNavigateComplete2(IDispatch*, VARIANT*) {}
void VLWebBrowser::OnBeforeNavigate2(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL*) {}
void VLWebBrowser::OnBeforeNavigate(BSTR, LONG, BSTR, VARIANT*, BSTR, VARIANT_BOOL*) {}
void VLWebBrowser::OnDocumentComplete(IDispatch*, VARIANT*) {}
void VLWebBrowser::OnNewWindow3(IDispatch**, VARIANT_BOOL*, DWORD, BSTR, BSTR) {}
void VLWebBrowser::OnNewWindow(BSTR, VARIANT_BOOL*) {}
void VLWebBrowser::OnDownloadComplete() {}
void VLWebBrowser::OnWindowClosing(VARIANT_BOOL, VARIANT_BOOL*) {}

} // namespace Velora
