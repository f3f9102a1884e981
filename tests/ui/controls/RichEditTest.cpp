#include "ui/controls/RichEdit.h"

#include "ui/core/Scrollbar.h"

#include "ui/controls/ControlElements.h"

#include "tests/ui/SkinWindow.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace Velora {
namespace {

using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;

// A rich edit as the root of a bound manager, laid out and initialised.
struct RichFixture {
    explicit RichFixture(const Attributes& attributes = {})
    {
        edit = new VLRichEdit;
        edit->SetManager(&bound.manager);
        for (const auto& attribute : attributes) edit->SetAttribute(attribute.first, attribute.second);
        bound.manager.AttachRoot(edit);
        edit->Init();
        edit->SetPos({0, 0, 200, 100});
    }
    // Through the window's filters, as the manager hands every message on.
    void Send(UINT message, WPARAM wParam, LPARAM lParam = 0)
    {
        bool handled = false;
        for (IMessageFilterUI* filter : bound.manager.GetMessageFilters())
            filter->MessageFilter(message, wParam, lParam, handled);
    }
    void Type(const std::wstring& text)
    {
        for (wchar_t ch : text) Send(WM_CHAR, ch);
    }
    BoundManager bound;
    VLRichEdit* edit;
};

// Holds Ctrl down in the thread's keyboard state for the scope.
struct CtrlDown {
    CtrlDown() { SetCtrl(0x80); }
    ~CtrlDown() { SetCtrl(0); }
    static void SetCtrl(BYTE value)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = value;
        SetKeyboardState(keys);
    }
};

TEST(RichEdit, ChineseTextRoundTripsAndTypingNotifies)
{
    RichFixture f(Attributes{{L"event_change", L"true"}});
    ASSERT_NE(f.edit->GetHost(), nullptr);
    f.edit->SetAttribute(L"limittext", L"8");
    f.edit->SetText(L"运行库abc");
    EXPECT_EQ(f.edit->GetText(), L"运行库abc");
    EXPECT_EQ(f.bound.Count(kNotifyTextChanged), 1);
    // Only the case changed: no notification.
    f.edit->SetText(L"运行库ABC");
    EXPECT_EQ(f.bound.Count(kNotifyTextChanged), 1);
    // Keys reach the services only while the control has the focus.
    f.Type(L"x");
    EXPECT_EQ(f.edit->GetText(), L"运行库ABC");
    f.edit->SetFocus();
    f.Type(L"de");
    EXPECT_EQ(f.edit->GetText(), L"运行库ABCde");
    EXPECT_EQ(f.bound.Count(kNotifyTextChanged), 3);
    f.Type(L"fgh");
    EXPECT_EQ(f.edit->GetText(), L"运行库ABCde");
    // The services report a full control through the host.
    f.edit->GetHost()->TxNotify(EN_MAXTEXT, nullptr);
    EXPECT_EQ(f.bound.Count(kNotifyTextLimit), 1);
}

TEST(RichEdit, ReturnRulesPickTheNotification)
{
    struct Row {
        const wchar_t* wantReturn;
        const wchar_t* wantCtrlReturn;
        bool ctrl;
        int32_t notify; // 0: a new line goes into the text
    } rows[] = {
        {L"false", L"true", false, kNotifyReturn},
        {L"false", L"false", true, kNotifyCtrlReturn},
        {L"false", L"true", true, kNotifyReturn},
        {L"true", L"false", true, kNotifyCtrlReturn},
        {L"true", L"true", false, 0},
    };
    for (const Row& row : rows) {
        RichFixture f(Attributes{{L"wantreturn", row.wantReturn}, {L"wantctrlreturn", row.wantCtrlReturn}});
        f.edit->SetFocus();
        {
            CtrlDown ctrl;
            if (!row.ctrl) CtrlDown::SetCtrl(0);
            f.Send(WM_KEYDOWN, VK_RETURN);
        }
        const int notified = f.bound.Count(kNotifyReturn) + f.bound.Count(kNotifyCtrlReturn);
        EXPECT_EQ(notified, row.notify ? 1 : 0) << row.wantReturn << row.wantCtrlReturn << row.ctrl;
        if (row.notify) {
            EXPECT_EQ(f.bound.Count(row.notify), 1);
        }
        EXPECT_EQ(f.edit->GetText().empty(), row.notify != 0);
    }
}

TEST(RichEdit, StyleAttributesBeforeTheHost)
{
    struct Row {
        Attributes attributes;
        uint32_t set;
        uint32_t clear;
    } rows[] = {
        {{{L"align", L"center right"}}, ES_RIGHT, ES_CENTER},
        {{{L"align", L"right center"}}, ES_RIGHT, ES_CENTER},
        {{{L"align", L"center"}}, ES_CENTER, ES_RIGHT},
        {{{L"align", L"right"}, {L"align", L"left"}}, 0, ES_CENTER | ES_RIGHT},
        {{{L"autohscroll", L"false"}, {L"multiline", L"true"}}, ES_MULTILINE, ES_AUTOHSCROLL},
        {{{L"autohscroll", L"true"}, {L"multiline", L"false"}}, ES_AUTOHSCROLL, ES_MULTILINE},
        {{{L"vscrollbar", L"true"}, {L"autovscroll", L"true"}}, WS_VSCROLL | ES_DISABLENOSCROLL | ES_AUTOVSCROLL, 0},
    };
    for (const Row& row : rows) {
        RichFixture f(row.attributes);
        ASSERT_NE(f.edit->GetHost(), nullptr);
        EXPECT_EQ(f.edit->GetHost()->GetStyle() & (row.set | row.clear), row.set) << row.attributes[0].second;
    }
}

TEST(RichEdit, TabIsTypedOnlyWhenWanted)
{
    for (const wchar_t* want : {L"true", L"false"}) {
        RichFixture f(Attributes{{L"wanttab", want}});
        f.edit->SetFocus();
        const bool moved = f.bound.manager.PreTranslate(WM_KEYDOWN, VK_TAB, 0);
        EXPECT_EQ(moved, want[0] == L'f') << want;
    }
}

TEST(RichEdit, StateChoosesTheTextColour)
{
    RichFixture f(Attributes{{L"normaltextcolor", L"#FF010203"},
                             {L"hottextcolor", L"#FF040506"},
                             {L"selectedtextcolor", L"#FF070809"},
                             {L"disabledtextcolor", L"#FF0A0B0C"}});
    const auto colour = [&f] {
        VLWindowDC dc(f.bound.window.Get());
        f.edit->Paint(dc.Get(), f.edit->GetPos());
        const CHARFORMATW* format = nullptr;
        f.edit->GetHost()->TxGetCharFormat(&format);
        return format->crTextColor;
    };
    VLControlEvent event;
    EXPECT_EQ(colour(), RGB(1, 2, 3));
    f.edit->OnMouseEnter(event);
    EXPECT_EQ(colour(), RGB(4, 5, 6));
    f.edit->SetFocus();
    EXPECT_EQ(colour(), RGB(7, 8, 9));
    f.edit->SetEnabled(false);
    EXPECT_EQ(colour(), RGB(0xA, 0xB, 0xC));
    f.edit->SetEnabled(true);
    EXPECT_EQ(colour(), RGB(1, 2, 3));
}

TEST(RichEdit, HostAndFilterAreMadeOnce)
{
    RichFixture f;
    VLTxtWinHost* host = f.edit->GetHost();
    RecordingListener second;
    f.bound.manager.AddNotifier(&second);
    EXPECT_EQ(f.edit->GetHost(), host);
    EXPECT_EQ(f.bound.manager.GetMessageFilters().size(), 1u);
    f.edit->SetFocus();
    f.Type(L"k");
    EXPECT_EQ(f.edit->GetText(), L"k");
}

TEST(RichEdit, TextLimitBelowOneIsTheDefault)
{
    DWORD length = 0;
    RichFixture before(Attributes{{L"limittext", L"0"}});
    before.edit->GetHost()->TxGetMaxLength(&length);
    EXPECT_EQ(length, 32767u);
    RichFixture live;
    live.edit->SetAttribute(L"limittext", L"12");
    live.edit->GetHost()->TxGetMaxLength(&length);
    EXPECT_EQ(length, 12u);
    live.edit->SetAttribute(L"limittext", L"0");
    live.edit->GetHost()->TxGetMaxLength(&length);
    EXPECT_EQ(length, 32767u);
}

TEST(RichEdit, DisabledIsStillFoundByTheEnabledOnlySearch)
{
    RichFixture f;
    f.edit->SetEnabled(false);
    POINT point = {50, 50};
    EXPECT_EQ(f.bound.manager.FindControlAt(point), f.edit);
    const auto any = [](VLControl* c, void*) -> VLControl* { return c; };
    EXPECT_EQ(f.edit->FindControl(any, nullptr, kFindEnabled | kFindVisible), f.edit);
    f.edit->SetVisible(false);
    EXPECT_EQ(f.edit->FindControl(any, nullptr, kFindEnabled | kFindVisible), nullptr);
}

TEST(RichEdit, ScrollRangeDrivesTheOwnBar)
{
    RichFixture f(Attributes{{L"vscrollbar", L"true"}});
    VLScrollbar* bar = f.edit->GetVerticalScrollBar();
    ASSERT_NE(bar, nullptr);
    VLTxtWinHost* host = f.edit->GetHost();
    const RECT client = host->GetClientRect();
    const int height = client.bottom - client.top;
    host->TxSetScrollRange(SB_VERT, 0, height, TRUE);
    EXPECT_FALSE(bar->IsVisible());
    host->TxSetScrollRange(SB_VERT, 0, height + 1, TRUE);
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->GetScrollRange(), 1);
}

TEST(RichEdit, WheelWithoutCtrlIsLeftToTheContainer)
{
    RichFixture f;
    f.edit->SetFocus();
    POINT screen = {50, 50};
    ClientToScreen(f.bound.window.Get(), &screen);
    struct Row {
        WPARAM keys;
        bool handled;
    } rows[] = {{0, false}, {MK_CONTROL, true}};
    for (const Row& row : rows) {
        bool handled = false;
        f.edit->MessageFilter(WM_MOUSEWHEEL, MAKEWPARAM(row.keys, static_cast<WORD>(-WHEEL_DELTA)),
                              MAKELPARAM(screen.x, screen.y), handled);
        EXPECT_EQ(handled, row.handled) << row.keys;
    }
}

TEST(RichEdit, WheelAndBarsScrollTheServicesText)
{
    RichFixture f(Attributes{{L"vscrollbar", L"true"}});
    std::wstring lines;
    for (int i = 0; i < 40; ++i) lines += L"line\r";
    f.edit->SetText(lines);
    f.edit->SetPos({0, 0, 200, 100});
    const auto servicesPos = [&f] {
        LONG min = 0, max = 0, pos = 0, page = 0;
        BOOL enabled = FALSE;
        f.edit->GetHost()->GetTextServices()->TxGetVScroll(&min, &max, &pos, &page, &enabled);
        return pos;
    };
    VLControlEvent wheel;
    wheel.type = kEventMouseWheel;
    wheel.wParam = 1; // towards the user
    f.edit->DoEvent(wheel);
    EXPECT_GT(servicesPos(), 0);
    EXPECT_EQ(f.edit->GetVerticalScrollBar()->GetScrollPos(), servicesPos());
    f.edit->SetScrollPos({0, 0});
    EXPECT_EQ(servicesPos(), 0);
}

TEST(RichEdit, ClicksOnItemsOverTheTextAreAnotherControls)
{
    RichFixture f;
    auto* item = new VLControl;
    item->SetFixedWidth(50);
    item->SetFixedHeight(20);
    f.edit->Add(item);
    f.edit->SetPos({0, 0, 200, 100});
    struct Row {
        POINT point;
        bool taken;
    } rows[] = {{{10, 10}, false}, {{150, 60}, true}};
    for (const Row& row : rows) {
        bool handled = false;
        f.edit->MessageFilter(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(row.point.x, row.point.y), handled);
        EXPECT_EQ(handled, row.taken) << row.point.x;
        EXPECT_EQ(f.edit->IsFocused(), row.taken) << row.point.x;
    }
}

// A shown window whose root is a rich edit built from markup.
struct RichWindow {
    explicit RichWindow(const std::wstring& attributes)
        : window(L"<Window " + attributes +
                 L"><RichEdit name=\"r\" normalbkcolor=\"#FFFFFFFF\" "
                 L"normaltextcolor=\"#FF000000\" event_change=\"true\" wantreturn=\"false\" text=\"中文ABC\"/>"
                 L"</Window>")
    {
        RegisterControlElements();
        window.Open(0, 0, 200, 100);
        Pump();
        edit = static_cast<VLRichEdit*>(window.paintManager.FindControlByName(L"r"));
    }
    // Dark pixels of the text in a fresh back buffer.
    int InkPixels()
    {
        VLPaintManager& manager = window.paintManager;
        const RECT client = {0, 0, 200, 100};
        if (!manager.PaintBackBuffer(client)) return -1;
        VLSelectObject select(manager.GetOffscreenDC(), manager.GetOffscreenBitmap());
        int ink = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 200; ++x) ink += GetPixel(manager.GetOffscreenDC(), x, y) == RGB(0, 0, 0);
        }
        return ink;
    }
    SkinWindow window;
    VLRichEdit* edit = nullptr;
};

TEST(RichEdit, MarkupWindowTypesAndPaintsTheText)
{
    RichWindow w(L"");
    ASSERT_NE(w.edit, nullptr);
    EXPECT_EQ(w.edit->GetText(), L"中文ABC");
    EXPECT_GT(w.InkPixels(), 0);
    w.edit->SetFocus();
    PostMessageW(w.window.GetHWND(), WM_CHAR, L'x', 0);
    PostMessageW(w.window.GetHWND(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(w.edit->GetText(), L"x中文ABC");
    EXPECT_EQ(w.window.Notes(kNotifyTextChanged), 1);
    EXPECT_EQ(w.window.Notes(kNotifyReturn), 1);
    w.edit->SetText(L"");
    EXPECT_EQ(w.InkPixels(), 0);
}

TEST(RichEdit, LayeredWindowIsRedrawnNotInvalidated)
{
    for (bool layered : {false, true}) {
        RichWindow w(layered ? L"layeredwindow=\"true\"" : L"");
        ASSERT_NE(w.edit, nullptr);
        const HWND hwnd = w.window.GetHWND();
        ValidateRect(hwnd, nullptr);
        // A due layout shows whether the tree was painted at once.
        w.window.paintManager.SetNeedsUpdate(true);
        w.edit->GetHost()->TxInvalidateRect(nullptr, FALSE);
        EXPECT_EQ(w.window.paintManager.NeedsUpdate(), !layered);
        RECT update;
        EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE) != FALSE, !layered) << layered;
    }
}

} // namespace
} // namespace Velora
