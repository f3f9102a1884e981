#include "ui/controls/WebBrowser.h"

#include "tests/ui/UiTestSupport.h"
#include "tests/ui/controls/ActiveXHost.h"

#include <exdispid.h>

#include <sstream>

namespace Velora {
namespace {

// Records each hook's call as its name and the payloads it got.
class RecordingBrowser : public VLWebBrowser {
public:
    void OnStatusTextChange(BSTR text) override { Add("status", text); }
    void OnProgressChange(LONG progress, LONG maximum) override { Add("progress", progress, maximum); }
    void OnCommandStateChange(LONG command, LONG enable) override
    {
        Add("command", command, enable);
        VLWebBrowser::OnCommandStateChange(command, enable);
    }
    void OnTitleChange(BSTR text) override { Add("title", text); }
    void OnNewWindow2(IDispatch** dispatch, VARIANT_BOOL* cancel) override { Add("new2", dispatch, cancel); }
    void OnNavigateComplete2(IDispatch* dispatch, VARIANT* url) override { Add("complete2", dispatch, url); }
    void OnBeforeNavigate2(IDispatch* dispatch, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT* headers,
                           VARIANT_BOOL* cancel) override
    {
        Add("before2", dispatch, url, headers, cancel);
    }
    void OnBeforeNavigate(BSTR url, LONG flags, BSTR, VARIANT*, BSTR, VARIANT_BOOL* cancel) override
    {
        Add("before", url, flags, cancel);
    }
    void OnDocumentComplete(IDispatch* dispatch, VARIANT* url) override { Add("document", dispatch, url); }
    void OnNewWindow3(IDispatch** dispatch, VARIANT_BOOL* cancel, DWORD flags, BSTR, BSTR url) override
    {
        Add("new3", dispatch, cancel, flags, url);
    }
    void OnNewWindow(BSTR headers, VARIANT_BOOL* processed) override { Add("new", headers, processed); }
    void OnDownloadComplete() override { Add("download"); }
    void OnWindowClosing(VARIANT_BOOL child, VARIANT_BOOL* cancel) override { Add("closing", child, cancel); }

    template <typename... T> void Add(const char* name, T... values)
    {
        std::ostringstream line;
        line << name;
        ((line << ' ' << (uintptr_t)values), ...);
        calls.push_back(line.str());
    }
    std::vector<std::string> calls;
};

// Arguments in declaration order as the 32-bit payloads 1, 2, 3...; the call
// stores them last first.
struct Arguments {
    explicit Arguments(UINT count) : values(count)
    {
        for (UINT i = 0; i < count; ++i) {
            VARIANT& v = values[count - 1 - i];
            VariantInit(&v);
            V_VT(&v) = VT_I4;
            V_I4(&v) = static_cast<LONG>(i + 1);
        }
        parameters = {values.data(), nullptr, count, 0};
    }
    std::vector<VARIANT> values;
    DISPPARAMS parameters;
};

TEST(WebBrowserEvents, EachMethodCallReachesItsHook)
{
    struct Case {
        DISPID id;
        UINT arguments;
        const char* call;
    } cases[] = {
        {DISPID_STATUSTEXTCHANGE, 1, "status 1"},
        {DISPID_PROGRESSCHANGE, 2, "progress 1 2"},
        {DISPID_COMMANDSTATECHANGE, 2, "command 1 2"},
        {DISPID_TITLECHANGE, 1, "title 1"},
        {DISPID_NEWWINDOW2, 2, "new2 1 2"},
        {DISPID_NAVIGATECOMPLETE2, 2, "complete2 1 2"},
        {DISPID_BEFORENAVIGATE2, 7, "before2 1 2 6 7"},
        {DISPID_BEFORENAVIGATE, 6, "before 1 2 6"},
        {DISPID_DOCUMENTCOMPLETE, 2, "document 1 2"},
        {DISPID_NEWWINDOW3, 5, "new3 1 2 3 5"},
        {DISPID_NEWWINDOW, 6, "new 5 6"},
        {DISPID_DOWNLOADCOMPLETE, 0, "download"},
        {DISPID_WINDOWCLOSING, 2, "closing 1 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        RecordingBrowser browser;
        Arguments arguments(c.arguments);
        for (WORD flags : {WORD(DISPATCH_PROPERTYGET), WORD(DISPATCH_METHOD)})
            EXPECT_EQ(E_NOTIMPL,
                      browser.Invoke(c.id, IID_NULL, 0, flags, &arguments.parameters, nullptr, nullptr, nullptr));
        EXPECT_EQ(std::vector<std::string>{c.call}, browser.calls);
        // Too few arguments: the hook would read past them, so none runs.
        if (c.arguments == 0) continue;
        Arguments shortOnes(c.arguments - 1);
        browser.Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, &shortOnes.parameters, nullptr, nullptr, nullptr);
        EXPECT_EQ(1u, browser.calls.size());
    }
    RecordingBrowser browser;
    Arguments arguments(2);
    browser.Invoke(999, IID_NULL, 0, DISPATCH_METHOD, &arguments.parameters, nullptr, nullptr, nullptr);
    browser.Invoke(DISPID_PROGRESSCHANGE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(browser.calls.empty());
}

TEST(WebBrowserEvents, CommandStateKeepsBackAndForward)
{
    struct Case {
        LONG command;
        VARIANT_BOOL enable;
        BOOL forward, back;
    } cases[] = {
        {CSC_NAVIGATEFORWARD, VARIANT_TRUE, VARIANT_TRUE, FALSE},
        {CSC_NAVIGATEBACK, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE},
        {CSC_UPDATECOMMANDS, VARIANT_FALSE, VARIANT_TRUE, VARIANT_TRUE},
        {CSC_NAVIGATEFORWARD, VARIANT_FALSE, FALSE, VARIANT_TRUE},
    };
    VLWebBrowser browser;
    for (const Case& c : cases) {
        Arguments arguments(2);
        V_I4(&arguments.values[1]) = c.command;
        V_VT(&arguments.values[0]) = VT_BOOL;
        V_BOOL(&arguments.values[0]) = c.enable;
        browser.Invoke(DISPID_COMMANDSTATECHANGE, IID_NULL, 0, DISPATCH_METHOD, &arguments.parameters, nullptr, nullptr,
                       nullptr);
        EXPECT_EQ(c.forward, browser.CanGoForward());
        EXPECT_EQ(c.back, browser.CanGoBack());
    }
}

using WebBrowserTest = ActiveXTest;

// The system's browser is created and listened to; it is never navigated.
TEST_F(WebBrowserTest, CreatedAndAdvisedThroughFindConnectionPoint)
{
    const IID events2 = {0x34a715a0, 0x6587, 0x11d0, {0x92, 0x4a, 0x00, 0x20, 0xaf, 0xc7, 0xac, 0x4d}};
    BoundManager bound;
    {
        VLWebBrowser browser;
        browser.SetManager(&bound.manager);
        browser.SetPos({0, 0, 200, 100});
        EXPECT_EQ(nullptr, browser.GetWebBrowser()); // created only by Init
        browser.Init();
        ASSERT_NE(nullptr, browser.GetWebBrowser());
        EXPECT_FALSE(browser.IsDelayCreate());
        ASSERT_FALSE(browser.connections.empty());
        EXPECT_TRUE(IsEqualIID(events2, browser.connections[0]));
        EXPECT_EQ(browser.connections.size(), browser.cookies.size());
    }
}

} // namespace
} // namespace Velora
