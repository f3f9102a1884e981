#include "ui/controls/ActiveX.h"
#include "ui/controls/ActiveXCtrl.h"
#include "ui/controls/ControlElements.h"

#include "ui/core/Container.h"
#include "ui/core/MarkupBuilder.h"

#include "tests/ui/UiTestSupport.h"
#include "tests/ui/controls/ActiveXHost.h"
#include "tests/ui/controls/HostWindow.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"

#include <mshtmhst.h>

#include <memory>

namespace Velora {
namespace {

int Himetric(int pixels, int axis)
{
    HDC screen = GetDC(nullptr);
    int value = MulDiv(2540, pixels, GetDeviceCaps(screen, axis));
    ReleaseDC(nullptr, screen);
    return value;
}

std::wstring Lines(std::initializer_list<std::wstring> lines)
{
    std::wstring text;
    for (const std::wstring& line : lines) text += line + L"\n";
    return text;
}

// A test control hosted in a control of a bound manager.
struct Hosted {
    explicit Hosted(bool windowless, const std::wstring& module = L"vl_test_activex.dll")
    {
        host->SetManager(&bound.manager);
        host->SetAttribute(L"modulename", module);
        host->SetAttribute(L"windowless", windowless ? L"true" : L"false");
        host->SetAttribute(L"clsid", VL_TEST_CONTROL_CLSID);
    }
    ~Hosted() { delete host; }
    // Placing the host creates the object: its site, or null when that failed.
    VLActiveXCtrl* Place(const RECT& rect) { host->SetPos(rect); return host->GetSite(); }
    BoundManager bound;
    VLActiveX* host = new VLActiveX;
};

TEST_F(ActiveXTest, CreatesInTheOrderTheControlAsksFor)
{
    std::wstring extent =
        L"SetExtent 1 " + std::to_wstring(Himetric(100, LOGPIXELSX)) + L" " + std::to_wstring(Himetric(50, LOGPIXELSY));
    const std::wstring created = Lines({L"CreateInstance", L"GetMiscStatus 1"});
    const std::wstring named = Lines({L"SetHostNames UIActiveX 0"});
    const std::wstring activated = Lines(
        {L"DoVerb -5 1 0 1 10 20 110 70", L"SetObjectRects 10 20 110 70 / 10 20 110 70", L"GetWindowContext 20 1 1"});
    const std::wstring sited = Lines({L"SetSite 1", extent});
    const std::wstring placed = Lines({L"SetObjectRects 10 20 110 70 / 10 20 110 70"});
    struct Case {
        DWORD status;
        std::wstring expected;
    } cases[] = {
        {OLEMISC_SETCLIENTSITEFIRST,
         created + Lines({L"SetClientSite 1", L"InitNew"}) + named + activated + sited + placed},
        {0, created + Lines({L"InitNew", L"SetClientSite 1"}) + named + activated + sited + placed},
        {OLEMISC_INVISIBLEATRUNTIME, created + Lines({L"InitNew", L"SetClientSite 1"}) + named + sited},
    };
    for (const Case& c : cases) {
        setup_(c.status, TRUE, RGB(255, 0, 0), 0);
        clear_();
        {
            Hosted hosted(true);
            hosted.host->SetPos({10, 20, 110, 70});
            EXPECT_EQ(c.expected, Log());
            clear_();
            hosted.host->SetClsidText(VL_TEST_CONTROL_CLSID); // the same class creates nothing new
            EXPECT_EQ(std::wstring::npos, Log().find(L"CreateInstance"));
        }
        EXPECT_NE(std::wstring::npos, Log().find(Lines({L"SetSite 0", L"Close 1"})));
        EXPECT_NE(std::wstring::npos, Log().find(L"SetClientSite 0"));
        EXPECT_EQ(0, instances_());
    }
}

TEST_F(ActiveXTest, WindowlessObjectGetsHitMessagesAndPaintsOnce)
{
    Hosted hosted(true);
    VLActiveX* host = hosted.host;
    host->SetPos({10, 20, 110, 70});
    ASSERT_EQ(1u, hosted.bound.manager.GetMessageFilters().size());
    EXPECT_EQ(hosted.bound.manager.GetWindow(), host->hostWindow);

    struct Case {
        UINT message;
        LPARAM lParam;
        bool passed, handled;
    } cases[] = {
        {WM_LBUTTONDOWN, MAKELPARAM(50, 40), true, true},  {WM_LBUTTONDOWN, MAKELPARAM(5, 5), false, false},
        {WM_SETCURSOR, MAKELPARAM(50, 40), true, false},   {WM_KEYDOWN, 0, false, false},
        {WM_CONTEXTMENU, MAKELPARAM(50, 40), true, false}, {WM_TIMER, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        clear_();
        bool handled = false;
        LRESULT result = host->MessageFilter(c.message, 0, c.lParam, handled);
        EXPECT_EQ(c.passed, Log().find(L"OnWindowMessage") != std::wstring::npos);
        EXPECT_EQ(c.passed ? 0x5A : 0, result);
        EXPECT_EQ(c.handled, handled);
    }
    // While the object holds the capture, every point counts as a hit.
    host->GetSite()->SetCapture(TRUE);
    clear_();
    bool handled = false;
    host->MessageFilter(WM_MOUSEMOVE, 0, MAKELPARAM(500, 500), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(std::wstring::npos, Log().find(L"QueryHitPoint"));
    host->GetSite()->SetCapture(FALSE);

    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 200, -100, 1, 32, BI_RGB}};
    void* bits = nullptr;
    VLMemoryDC dc(CreateCompatibleDC(nullptr));
    VLBitmap bitmap(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    VLSelectObject select(dc.Get(), bitmap.Get());
    host->Paint(dc.Get(), {150, 80, 200, 100}); // does not meet the control
    EXPECT_EQ(0, hosted.bound.Count(kNotifyActiveX));
    host->Paint(dc.Get(), {0, 0, 200, 100});
    host->Paint(dc.Get(), {0, 0, 200, 100});
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc.Get(), 50, 40));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc.Get(), 5, 5));
    EXPECT_EQ(1, hosted.bound.Count(kNotifyActiveX));
}

TEST_F(ActiveXTest, WindowedObjectLivesInItsOwnChildWindow)
{
    setup_(OLEMISC_SETCLIENTSITEFIRST, FALSE, RGB(0, 0, 255), 0);
    HWND window;
    {
        Hosted hosted(false);
        VLActiveX* host = hosted.host;
        host->SetPos({30, 40, 130, 90});
        window = host->hostWindow;
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        EXPECT_STREQ(L"VLActiveXWnd", name);
        EXPECT_EQ(hosted.bound.manager.GetWindow(), GetParent(window));
        EXPECT_TRUE(hosted.bound.manager.GetMessageFilters().empty());
        EXPECT_NE(std::wstring::npos, Log().find(L"SetObjectRects 0 0 100 50 / 0 0 100 50"));
        RECT rect;
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, hosted.bound.manager.GetWindow(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(30, rect.left);
        EXPECT_EQ(90, rect.bottom);
        // Focus on the window makes the object UI active.
        clear_();
        SendMessageW(window, WM_SETFOCUS, 0, 0);
        EXPECT_TRUE(host->GetSite()->focused);
        EXPECT_EQ(Lines({L"DoVerb -4 1 0 1 30 40 130 90"}), Log());
        EXPECT_EQ(MA_ACTIVATE, SendMessageW(window, WM_MOUSEACTIVATE, 0, 0));
        host->SetVisible(false);
        EXPECT_FALSE(IsWindowVisible(window));
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, instances_());
}

TEST_F(ActiveXTest, FocusedObjectTakesItsAcceleratorsBeforeTheyAreDispatched)
{
    setup_(OLEMISC_SETCLIENTSITEFIRST, FALSE, RGB(0, 0, 255), VK_F5);
    auto* activeX = new VLActiveX;
    activeX->SetAttribute(L"modulename", L"vl_test_activex.dll");
    activeX->SetAttribute(L"clsid", VL_TEST_CONTROL_CLSID);
    HostWindow host(activeX);
    host.Open(50, 50, 100, 60);
    VLComPtr<IOleInPlaceObject> object;
    ASSERT_EQ(S_OK, activeX->GetControl(IID_IOleInPlaceObject, object.Receive()));
    HWND window = nullptr; // the object's own window, inside the host's
    ASSERT_EQ(S_OK, object->GetWindow(&window));
    // Focus on the object's window makes the host the focused control too;
    // with the focus on the skinned window, keys for the object's window are
    // not its accelerators.
    struct Case {
        bool focused;
        WPARAM key;
        bool asked, dispatched;
    } cases[] = {{true, VK_F5, true, false}, {true, 'A', true, true}, {false, VK_F5, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ::SetFocus(c.focused ? window : host.GetHWND());
        EXPECT_EQ(activeX, host.paintManager.GetFocus());
        clear_();
        PostMessageW(window, WM_KEYDOWN, c.key, 0);
        Pump();
        const std::wstring key = std::to_wstring(c.key);
        EXPECT_EQ(c.asked, Log().find(L"TranslateAccelerator 256 " + key) != std::wstring::npos);
        EXPECT_EQ(c.dispatched, Log().find(L"KeyDown " + key) != std::wstring::npos);
    }
}

TEST_F(ActiveXTest, SiteAnswersWhatDocumentsAsk)
{
    Hosted hosted(true);
    VLActiveX* host = hosted.host;
    VLActiveXCtrl* site = hosted.Place({0, 0, 50, 50});
    ASSERT_NE(nullptr, site);

    for (bool on : {true, false}) {
        host->SetAttribute(L"enable3dborder", on ? L"true" : L"false");
        host->SetAttribute(L"enablescrollbar", on ? L"true" : L"false");
        host->SetAttribute(L"enablecontextmenu", on ? L"true" : L"false");
        DOCHOSTUIINFO info = {sizeof(info), 0x100};
        EXPECT_EQ(S_OK, site->GetHostInfo(&info));
        EXPECT_EQ(on ? 0x100u : 0x100u | 4 | 8, info.dwFlags);
        EXPECT_EQ(on ? E_NOTIMPL : S_OK, site->ShowContextMenu(0, nullptr, nullptr, nullptr));
    }

    VLComPtr<IEnumUnknown> objects;
    ASSERT_EQ(S_OK, site->EnumObjects(OLECONTF_EMBEDDINGS, objects.Put()));
    VLComPtr<IUnknown> first, object;
    ULONG fetched = 7;
    EXPECT_EQ(S_OK, objects->Next(5, first.Put(), &fetched));
    EXPECT_EQ(1u, fetched);
    host->GetControl(IID_IUnknown, object.Receive());
    VLComPtr<IUnknown> identity;
    first->QueryInterface(IID_IUnknown, identity.Receive());
    EXPECT_EQ(object.Get(), identity.Get());
    VLComPtr<IUnknown> second;
    EXPECT_EQ(S_FALSE, objects->Next(1, second.Put(), &fetched));
    EXPECT_EQ(0u, fetched);

    VLComPtr<IOleInPlaceFrame> frame;
    VLComPtr<IOleInPlaceUIWindow> document;
    RECT position = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    ASSERT_EQ(S_OK, site->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &frameInfo));
    EXPECT_EQ(nullptr, document.Get());
    BORDERWIDTHS widths = {1, 1, 1, 1};
    EXPECT_EQ(INPLACE_E_NOTOOLSPACE, frame->RequestBorderSpace(&widths));
    HWND frameWindow = nullptr;
    EXPECT_EQ(S_OK, frame->GetWindow(&frameWindow));
    EXPECT_EQ(hosted.bound.manager.GetWindow(), frameWindow);

    IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
    EXPECT_EQ(E_NOTIMPL, site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker));
    EXPECT_EQ(nullptr, moniker);
    EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, site->QueryStatus(nullptr, 0, nullptr, nullptr));
}

TEST_F(ActiveXTest, ScriptErrorCommandChecksItsArguments)
{
    const GUID docHost = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
    const GUID other = IID_IUnknown;
    Hosted hosted(true);
    VLActiveXCtrl* site = hosted.Place({0, 0, 50, 50});
    auto variant = [](VARTYPE type, IUnknown* object) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = type;
        V_UNKNOWN(&v) = object;
        return v;
    };
    VARIANT notADocument = variant(VT_UNKNOWN, static_cast<IOleClientSite*>(site));
    VARIANT nullObject = variant(VT_DISPATCH, nullptr);
    VARIANT number = variant(VT_I4, reinterpret_cast<IUnknown*>(0x1234));
    struct Case {
        const char* what;
        bool showErrors;
        const GUID* group;
        DWORD command;
        VARIANT* in;
        bool withOut;
        HRESULT expected;
    } cases[] = {
        {"dialog allowed", true, &docHost, OLECMDID_SHOWSCRIPTERROR, &notADocument, true, OLECMDERR_E_UNKNOWNGROUP},
        {"no group", false, nullptr, OLECMDID_SHOWSCRIPTERROR, nullptr, true, OLECMDERR_E_UNKNOWNGROUP},
        {"other group", false, &other, OLECMDID_SHOWSCRIPTERROR, nullptr, true, OLECMDERR_E_UNKNOWNGROUP},
        {"other command", false, &docHost, OLECMDID_PRINT, nullptr, true, OLECMDERR_E_NOTSUPPORTED},
        {"no in argument", false, &docHost, OLECMDID_SHOWSCRIPTERROR, nullptr, true, S_OK},
        {"null object", false, &docHost, OLECMDID_SHOWSCRIPTERROR, &nullObject, true, S_OK},
        {"a number", false, &docHost, OLECMDID_SHOWSCRIPTERROR, &number, true, S_OK},
        {"not a document", false, &docHost, OLECMDID_SHOWSCRIPTERROR, &notADocument, true, S_OK},
        {"no out argument", false, &docHost, OLECMDID_SHOWSCRIPTERROR, &notADocument, false, E_POINTER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hosted.host->SetAttribute(L"showjserror", c.showErrors ? L"true" : L"false");
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(c.expected, site->Exec(c.group, c.command, 0, c.in, c.withOut ? &out : nullptr));
        EXPECT_EQ(c.expected == S_OK ? VT_BOOL : VT_EMPTY, V_VT(&out));
        if (c.expected == S_OK) {
            EXPECT_EQ(VARIANT_TRUE, V_BOOL(&out));
        }
    }
}

TEST_F(ActiveXTest, ModuleNameIsResolvedBesideTheProgram)
{
    // A copy of the control in the current folder only: a bare name must not
    // find it there, while its full path still does.
    std::wstring folder;
    ASSERT_TRUE(GetTempDir(folder));
    folder = CombinePath(folder, L"vl-activex-" + std::to_wstring(GetCurrentProcessId()));
    ASSERT_TRUE(CreateDirectories(folder));
    std::wstring planted = CombinePath(folder, L"vl_planted_control.dll");
    wchar_t original[MAX_PATH];
    GetModuleFileNameW(module_, original, MAX_PATH);
    ASSERT_TRUE(CopyFileW(original, planted.c_str(), FALSE));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());
    {
        Hosted bare(true, L"vl_planted_control.dll");
        EXPECT_EQ(nullptr, bare.Place({0, 0, 10, 10}));
        EXPECT_EQ(nullptr, GetModuleHandleW(planted.c_str()));
        Hosted full(true, planted);
        EXPECT_NE(nullptr, full.Place({0, 0, 10, 10}));
    }
    SetCurrentDirectoryW(previous);
    FreeLibrary(GetModuleHandleW(planted.c_str()));
    DeleteFileW(planted.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(ActiveXTest, MarkupBuildsTheHostsAndTheManagerFeedsTheObject)
{
    RegisterControlElements();
    BoundManager bound;
    std::wstring markup = L"<Window><HorizontalLayout><Picture/><ActiveX windowless=\"true\" "
                          L"modulename=\"vl_test_activex.dll\" "
                          L"clsid=\"" VL_TEST_CONTROL_CLSID L"\"/><WebBrowser/><Advert/></HorizontalLayout></Window>";
    std::unique_ptr<VLControl> root(
        VLMarkupBuilder().Create(markup.c_str(), nullptr, nullptr, kMarkupText, &bound.manager));
    auto* layout = static_cast<VLContainer*>(root.get());
    ASSERT_NE(nullptr, layout);
    ASSERT_EQ(4, layout->GetCount());
    const int classes[] = {18, 15, 19, 20};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(classes[i], layout->GetItemAt(i)->GetClassId());

    layout->GetItemAt(1)->SetPos({10, 10, 60, 60});
    clear_();
    LRESULT result = 0;
    EXPECT_TRUE(bound.manager.MessageHandler(WM_LBUTTONDOWN, 0, MAKELPARAM(20, 20), result));
    EXPECT_EQ(0x5A, result);
    EXPECT_NE(std::wstring::npos, Log().find(L"OnWindowMessage 513"));
}

TEST_F(ActiveXTest, ClassTextsConvertOrLeaveTheClassEmpty)
{
    VLActiveX host;
    host.SetAttribute(L"clsid", VL_TEST_CONTROL_CLSID);
    EXPECT_TRUE(IsEqualCLSID(CLSID_VLTestControl, host.GetClsid()));
    host.SetAttribute(L"clsid", L"No.Such.ProgId");
    EXPECT_TRUE(IsEqualCLSID(CLSID(), host.GetClsid()));
    // Without a manager nothing can be created yet, even undelayed.
    host.SetAttribute(L"delaycreate", L"false");
    host.SetAttribute(L"clsid", VL_TEST_CONTROL_CLSID);
    EXPECT_EQ(nullptr, host.GetSite());
    EXPECT_EQ(L"", Log());
}

} // namespace
} // namespace Velora
