#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace Velora {
namespace {

LPARAM ScreenPoint(HWND hwnd, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    return MAKELPARAM(p.x, p.y);
}

TEST(SkinWindowTest, ClickOverControlNotifiesOnceWithItsId)
{
    SkinWindow w(L"<Window><Control id=\"2\" notify=\"click\" /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
    PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
    Pump();
    ASSERT_EQ(w.Notes(kNotifyClick), 1);
    const auto click = std::find_if(w.notes.begin(), w.notes.end(),
                                    [](const VLNotifyMsg& m) { return m.type == kNotifyClick; });
    EXPECT_EQ(click->sender->GetId(), 2);
}

TEST(SkinWindowTest, HitTestAnswersCaptionAndSizingOnlyWhereMarked)
{
    const wchar_t* framed = L"<Window caption=\"0,0,0,40\" sizebox=\"4,4,4,4,2\"><Control caption=\"true\" /></Window>";
    const wchar_t* plain = L"<Window caption=\"0,0,0,40\"><Control /></Window>";
    const struct {
        const wchar_t* markup;
        int x, y;
        LRESULT code;
    } cases[] = {
        {framed, 50, 20, HTCAPTION}, {framed, 50, 60, HTCLIENT},   {framed, 1, 50, HTLEFT},
        {framed, 198, 50, HTRIGHT},  {framed, 50, 1, HTTOP},       {framed, 50, 98, HTBOTTOM},
        {framed, 3, 1, HTTOPLEFT},   {framed, 199, 99, HTBOTTOMRIGHT}, {framed, 1, 5, HTTOPLEFT},
        {framed, 5, 50, HTCLIENT},   {plain, 50, 20, HTCLIENT},    {plain, 1, 50, HTCLIENT},
    };
    for (const auto& c : cases) {
        SkinWindow w(c.markup);
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        EXPECT_EQ(SendMessageW(w, WM_NCHITTEST, 0, ScreenPoint(w, c.x, c.y)), c.code) << c.x << "," << c.y;
    }
}

TEST(SkinWindowTest, RoundCornerCutsOnlyTheNamedCorners)
{
    const struct {
        const wchar_t* markup;
        bool topCut, bottomCut;
    } cases[] = {
        {L"<Window roundcorner=\"3,0\"><Control /></Window>", false, true},
        {L"<Window roundcorner=\"0,3\"><Control /></Window>", true, false},
        {L"<Window roundcorner=\"6,6\"><Control /></Window>", true, true},
    };
    for (const auto& c : cases) {
        SkinWindow w(c.markup);
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        VLRegion region(CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(GetWindowRgn(w, region.Get()), ERROR);
        EXPECT_EQ(!PtInRegion(region.Get(), 0, 0), c.topCut);
        EXPECT_EQ(!PtInRegion(region.Get(), 199, 0), c.topCut);
        EXPECT_EQ(!PtInRegion(region.Get(), 0, 99), c.bottomCut);
        EXPECT_EQ(!PtInRegion(region.Get(), 199, 99), c.bottomCut);
        EXPECT_TRUE(PtInRegion(region.Get(), 100, 50));
    }
}

TEST(SkinWindowTest, RoundCornerImageGivesTheWindowCopiesOfItsRegion)
{
    Velora::Test::Rgba pixels(9 * 9 * 4, 0xFF);
    for (int i : {0, 8, 72, 80}) pixels[size_t(i) * 4 + 3] = 0; // transparent corner pixels
    Velora::Test::TestFolder folder;
    const std::wstring path = folder / L"corner.png";
    ASSERT_TRUE(Velora::Test::WriteFileBytes(path, Velora::Test::Encode(Velora::Test::Format::Png, 9, 9, pixels)));
    SkinWindow w(L"<Window roundcornerimage=\"file='" + path + L"' corner='3,3,3,3'\"><Control /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    SetWindowPos(w, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
    // The master survives the windows' taking ownership of what they got.
    RECT box;
    ASSERT_NE(GetRgnBox(w.paintManager.GetRoundCornerRegion(), &box), ERROR);
    VLRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(w, region.Get()), ERROR);
    EXPECT_FALSE(PtInRegion(region.Get(), 0, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 1, 0));
}

TEST(SkinWindowTest, FirstPaintSendsWindowInitOnceAndShowsTheTree)
{
    SkinWindow w(L"<Window><Control normalbkcolor=\"#FFFF0000\" /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    Pump();
    EXPECT_EQ(w.Notes(kNotifyWindowInit), 1);
    VLWindowDC dc(w);
    EXPECT_EQ(GetPixel(dc.Get(), 5, 95), RGB(255, 0, 0));
    DIBSECTION buffer = {};
    ASSERT_TRUE(GetObjectW(w.paintManager.GetOffscreenBitmap(), sizeof(buffer), &buffer));
    EXPECT_EQ(buffer.dsBmih.biHeight, 100); // bottom-up
}

TEST(SkinWindowTest, PaintWithNothingToUpdateDoesNothing)
{
    SkinWindow w(L"<Window><Control /></Window>");
    ASSERT_TRUE(w.Create(nullptr, L"hidden", WS_POPUP, 0, 0, 0, 200, 100));
    SendMessageW(w, WM_PAINT, 0, 0);
    EXPECT_EQ(w.Notes(kNotifyWindowInit), 0);
    EXPECT_FALSE(w.paintManager.GetOffscreenBitmap());
}

TEST(SkinWindowTest, LayeredWindowIsPaintedThroughUpdateLayeredWindow)
{
    SkinWindow w(L"<Window layeredwindow=\"true\" layeredwindowalpha=\"50\"><Control /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    EXPECT_TRUE(w.paintManager.RedrawLayeredWindow(w.paintManager.GetLayeredAlpha()));
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(w.Notes(kNotifyWindowInit), 1);
    // A paint the system asks for is answered: nothing is left to repaint.
    InvalidateRect(w, nullptr, FALSE);
    Pump();
    RECT update;
    EXPECT_FALSE(GetUpdateRect(w, &update, FALSE));
    // The constant alpha is percent x 255 / 100: 100 % is opaque.
    const int percents[] = {50, 100, 255, -1, 0}, alphas[] = {127, 255, 255, 255, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(LayeredAlpha(percents[i]), alphas[i]) << percents[i];
}

// Paint, size, mouse, keys and layered redraws of a window whose markup
// built nothing.
TEST(SkinWindowTest, WindowWithoutRootHandlesEverything)
{
    SkinWindow w(L"<Window sizebox=\"4,4,4,4\"><Unknown /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    ASSERT_EQ(w.paintManager.GetRoot(), nullptr);
    SetWindowPos(w, nullptr, 0, 0, 250, 120, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSELEAVE})
        SendMessageW(w, message, 0, MAKELPARAM(20, 20));
    SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), ScreenPoint(w, 20, 20));
    PostMessageW(w, WM_KEYDOWN, VK_TAB, 0);
    Pump();
    EXPECT_TRUE(w.paintManager.RedrawLayeredWindow(100));
    EXPECT_EQ(w.Notes(kNotifyWindowInit), 1);
}

TEST(SkinWindowTest, ReplacedRootIsFreedByThePostedMessage)
{
    SkinWindow w(L"<Window><Probe /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    const int before = ProbeControl::live;
    w.paintManager.AttachRoot(new VLControl);
    EXPECT_EQ(ProbeControl::live, before);
    Pump();
    EXPECT_EQ(ProbeControl::live, before - 1);
}

TEST(SkinWindowTest, MouseWheelTowardsTheUserGivesOne)
{
    SkinWindow w(L"<Window><Probe /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    for (const short delta : {-120, 120}) {
        w.Probe()->events.clear();
        SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), ScreenPoint(w, 30, 30));
        ASSERT_EQ(w.Probe()->Count(kEventMouseWheel), 1);
        EXPECT_EQ(w.Probe()->events.front().wParam, delta < 0 ? 1u : 0u);
        // The follow-up move lets hover catch up with the scrolled content.
        EXPECT_EQ(w.Probe()->events.back().type, kEventMouseMove);
    }
}

TEST(SkinWindowTest, EveryTimerReachesItsControlWithItsOwnId)
{
    SkinWindow w(L"<Window><Probe /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    for (uint32_t controlId : {5u, 6u}) ASSERT_TRUE(w.paintManager.SetTimer(w.Probe(), controlId, 100000));
    ASSERT_EQ(w.paintManager.GetTimers().size(), 2u);
    for (const auto& timer : w.paintManager.GetTimers()) SendMessageW(w, WM_TIMER, timer->windowId, 0);
    ASSERT_EQ(w.Probe()->Count(kEventTimer), 2);
    EXPECT_EQ(w.Probe()->events[0].wParam, 5u);
    EXPECT_EQ(w.Probe()->events[1].wParam, 6u);
}

TEST(SkinWindowTest, HoverOverATooltipControlShowsItsTip)
{
    SkinWindow w(L"<Window><Probe tooltip=\"tip\" tooltipdelaytime=\"100\" /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30));
    ASSERT_EQ(w.paintManager.GetHoverTracked(), w.Probe());
    EXPECT_EQ(w.Probe()->Count(kEventMouseEnter), 1);
    EXPECT_EQ(SendMessageW(w, WM_MOUSEHOVER, 0, MAKELPARAM(30, 30)), 0);
    EXPECT_EQ(w.Probe()->Count(kEventMouseHover), 1);
    ASSERT_TRUE(w.paintManager.GetActiveToolTip());
    EXPECT_EQ(w.paintManager.GetActiveToolTip(), w.paintManager.GetToolTipWindow());
    EXPECT_EQ(GetWindow(w.paintManager.GetToolTipWindow(), GW_OWNER), w.GetHWND());
    SendMessageW(w, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(w.paintManager.GetActiveToolTip(), nullptr);
    EXPECT_EQ(w.Probe()->Count(kEventMouseLeave), 1);
}

TEST(SkinWindowTest, HoverIsTrackedOnlyInsideTheCutWithADelay)
{
    const struct {
        const wchar_t* attributes;
        int x;
        bool tracked;
    } cases[] = {
        {L"tooltipdelaytime=\"100\"", 2, true},
        {L"tooltipdelaytime=\"100\" cut=\"10,10,10,10\"", 2, false},
        {L"tooltipdelaytime=\"100\" cut=\"10,10,10,10\"", 20, true},
        {L"", 20, false},
    };
    for (const auto& c : cases) {
        SkinWindow w(std::wstring(L"<Window><Probe ") + c.attributes + L" /></Window>");
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        SendMessageW(w, WM_MOUSELEAVE, 0, 0); // whatever tracking the opening started ends
        SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(c.x, 20));
        EXPECT_EQ(w.paintManager.GetHoverTracked() == w.Probe(), c.tracked) << c.attributes << " at " << c.x;
    }
}

TEST(SkinWindowTest, PressedCaptureControlKeepsOthersFromBeingEntered)
{
    for (const bool capture : {true, false}) {
        SkinWindow w(std::wstring(L"<Window><HorizontalLayout><Probe name=\"a\" capture=\"") +
                     (capture ? L"true" : L"false") + L"\" /><Probe name=\"b\" /></HorizontalLayout></Window>");
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        auto* b = static_cast<ProbeControl*>(w.paintManager.FindControlByName(L"b"));
        SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 20));
        EXPECT_EQ(b->Count(kEventMouseEnter), capture ? 0 : 1);
        // Moves go to the pressed control, not to the one under the mouse.
        EXPECT_EQ(b->Count(kEventMouseMove), 0);
        SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(150, 20));
    }
}

TEST(SkinWindowTest, SetCursorReachesOnlyFlaggedControlsWithoutCapture)
{
    const struct {
        const wchar_t* markup;
        bool captured;
        int events;
    } cases[] = {
        {L"<Window><Probe flags=\"setcursor\" /></Window>", false, 1},
        {L"<Window><Probe flags=\"setcursor\" /></Window>", true, 0},
        {L"<Window><Probe /></Window>", false, 0},
    };
    for (const auto& c : cases) {
        SkinWindow w(c.markup);
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        SetCursorPos(150, 150);
        if (c.captured) w.paintManager.CaptureMouse();
        SendMessageW(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w.GetHWND()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(w.Probe()->Count(kEventSetCursor), c.events);
        if (c.captured) w.paintManager.ReleaseMouse();
    }
}

TEST(SkinWindowTest, KeysGoToTheFocusAndKeyUpOnlyAfterKeyDown)
{
    SkinWindow w(L"<Window><Probe /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    w.paintManager.SetFocus(w.Probe());
    SendMessageW(w, WM_KEYUP, 'A', 0);
    EXPECT_EQ(w.Probe()->Count(kEventKeyUp), 0);
    SendMessageW(w, WM_KEYDOWN, 'A', 0);
    SendMessageW(w, WM_CHAR, 'a', 0);
    SendMessageW(w, WM_KEYUP, 'A', 0);
    EXPECT_EQ(w.Probe()->Count(kEventKeyDown), 1);
    EXPECT_EQ(w.Probe()->Count(kEventChar), 1);
    EXPECT_EQ(w.Probe()->Count(kEventKeyUp), 1);
    // Alt combinations reach the focus before they are dispatched.
    PostMessageW(w, WM_SYSKEYDOWN, 'F', 0);
    Pump();
    EXPECT_EQ(w.Probe()->Count(kEventSysKeyDown), 1);
}

TEST(SkinWindowTest, TabMovesFocusOnlyInsideItsOwnWindow)
{
    const wchar_t* markup =
        L"<Window><HorizontalLayout><Button name=\"a\" /><Button name=\"b\" /></HorizontalLayout></Window>";
    SkinWindow first(markup), second(markup);
    ASSERT_TRUE(first.Open(0, 0, 200, 50));
    ASSERT_TRUE(second.Open(0, 100, 200, 50));
    VLControl* a = first.paintManager.FindControlByName(L"a");
    VLControl* b = first.paintManager.FindControlByName(L"b");
    VLControl* elsewhere = second.paintManager.GetFocus();
    // The first paint gave each window its first tab stop.
    ASSERT_EQ(first.paintManager.GetFocus(), a);
    for (VLControl* expected : {b, a}) {
        PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
        Pump();
        EXPECT_EQ(first.paintManager.GetFocus(), expected);
        EXPECT_EQ(second.paintManager.GetFocus(), elsewhere);
    }
}

TEST(SkinWindowTest, CloseEndsHoverPressAndFocus)
{
    SkinWindow w(L"<Window><Probe /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    ProbeControl* probe = w.Probe();
    SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    SendMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    ASSERT_EQ(w.paintManager.GetFocus(), probe);
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(probe->Count(kEventMouseLeave), 1);
    EXPECT_EQ(probe->Count(kEventLButtonUp), 1);
    EXPECT_EQ(probe->Count(kEventContextMenu), 1);
    EXPECT_EQ(probe->Count(kEventKillFocus), 1);
    EXPECT_FALSE(IsWindow(w));
}

class AnswerFilter : public IMessageFilterUI {
public:
    explicit AnswerFilter(bool takes) : takes_(takes) {}
    LRESULT MessageFilter(UINT message, WPARAM, LPARAM, bool& handled) override
    {
        ++seen;
        handled = takes_ && message == WM_NCHITTEST;
        return 77;
    }
    int seen = 0;

private:
    bool takes_;
};

TEST(SkinWindowTest, FirstFilterThatHandlesEndsTheMessage)
{
    SkinWindow w(L"<Window caption=\"0,0,0,40\"><Control caption=\"true\" /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    AnswerFilter pass(false), take(true), late(true);
    for (AnswerFilter* f : {&pass, &take, &late}) w.paintManager.AddMessageFilter(f);
    pass.seen = take.seen = late.seen = 0;
    EXPECT_EQ(SendMessageW(w, WM_NCHITTEST, 0, ScreenPoint(w, 50, 20)), 77);
    EXPECT_EQ(pass.seen, 1);
    EXPECT_EQ(take.seen, 1);
    EXPECT_EQ(late.seen, 0);
    for (AnswerFilter* f : {&pass, &take, &late}) w.paintManager.RemoveMessageFilter(f);
}

// A native child that answers reflected messages with their number.
class ChildWindow : public VLWindowWnd {
public:
    const wchar_t* GetWindowClassName() const override { return L"VLReflectChild"; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return message >= 0x2000 ? message : VLWindowWnd::HandleMessage(message, wParam, lParam);
    }
};

TEST(SkinWindowTest, ChildNotificationsAreReflectedToTheChild)
{
    SkinWindow w(L"<Window><Control /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 200, 100));
    ChildWindow child;
    ASSERT_TRUE(child.Create(w, L"", WS_CHILD, 0, 0, 0, 10, 10));
    const LPARAM from = reinterpret_cast<LPARAM>(child.GetHWND());
    EXPECT_EQ(SendMessageW(w, WM_COMMAND, 1, from), 0x2111);
    EXPECT_EQ(SendMessageW(w, WM_CTLCOLOREDIT, 0, from), 0x2133);
    EXPECT_EQ(SendMessageW(w, WM_CTLCOLORSTATIC, 0, from), 0x2138);
}

TEST(SkinWindowTest, MaximisedSizeFollowsTheWorkArea)
{
    SkinWindow w(L"<Window mininfo=\"300,200\" maxinfo=\"0,0\"><Control /></Window>");
    ASSERT_TRUE(w.Open(100, 100, 400, 300));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MINMAXINFO info = {};
    info.ptMaxPosition = {-4, -4};
    SendMessageW(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
    EXPECT_EQ(info.ptMaxPosition.x, work.left - 4);
    EXPECT_EQ(info.ptMaxPosition.y, work.top - 4);
    EXPECT_EQ(info.ptMaxTrackSize.y, 8 + work.bottom - work.top);
}

// A window class whose own hit-test handler answers, or passes the message on.
class HitWindow : public SkinWindow {
public:
    HitWindow(const wchar_t* markup, bool answers) : SkinWindow(markup), answers_(answers) {}
    const wchar_t* GetWindowClassName() const override { return L"VLHitTestWindow"; }
    LRESULT OnNcHitTest(UINT, WPARAM, LPARAM, bool& handled) override
    {
        handled = answers_;
        return HTBORDER;
    }

private:
    bool answers_;
};

TEST(SkinWindowTest, OwnHandlerComesBeforeTheManager)
{
    const wchar_t* markup = L"<Window caption=\"0,0,0,40\"><Control caption=\"true\" /></Window>";
    for (const bool answers : {true, false}) {
        HitWindow w(markup, answers);
        ASSERT_TRUE(w.Open(100, 100, 200, 100));
        EXPECT_EQ(SendMessageW(w, WM_NCHITTEST, 0, ScreenPoint(w, 50, 20)), answers ? HTBORDER : HTCAPTION);
    }
}

// ---- The window wrapper --------------------------------------------------------

struct FinalRecord {
    HWND windowAtFinal = reinterpret_cast<HWND>(1);
    HANDLE propertyAtFinal = reinterpret_cast<HANDLE>(1);
    bool deleted = false;
};

// Deletes itself when its window is gone.
class SelfDeletingEdit : public VLWindowWnd {
public:
    explicit SelfDeletingEdit(FinalRecord& record) : record_(record) {}
    ~SelfDeletingEdit() override { record_.deleted = true; }
    const wchar_t* GetWindowClassName() const override { return L"VLSuperEdit"; }
    const wchar_t* GetSuperClassName() const override { return L"EDIT"; }
    void OnFinalMessage(HWND hwnd) override
    {
        record_.windowAtFinal = GetHWND();
        record_.propertyAtFinal = GetPropW(hwnd, L"WndX");
        delete this;
    }

private:
    FinalRecord& record_;
};

TEST(WindowWndTest, SuperclassKeepsTheObjectInAPropertyUntilTheFinalMessage)
{
    FinalRecord record;
    auto* edit = new SelfDeletingEdit(record);
    const HWND hwnd = edit->Create(nullptr, L"", WS_POPUP, 0, 0, 0, 50, 20);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(GetPropW(hwnd, L"WndX"), edit);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0);
    // The edit class's own procedure still answers.
    SetWindowTextW(hwnd, L"typed");
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 5);
    DestroyWindow(hwnd);
    EXPECT_TRUE(record.deleted);
    EXPECT_EQ(record.windowAtFinal, nullptr);
    EXPECT_EQ(record.propertyAtFinal, nullptr);
}

TEST(WindowWndTest, SecondWindowOfAClassIsCreatedAndBoundThroughUserData)
{
    SkinWindow first(L"<Window><Control /></Window>"), second(L"<Window><Control /></Window>");
    ASSERT_TRUE(first.Open(0, 0, 50, 50));
    ASSERT_TRUE(second.Open(60, 0, 50, 50));
    EXPECT_EQ(GetWindowLongPtrW(second, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&second));
    EXPECT_EQ(GetPropW(second, L"WndX"), nullptr);
}

TEST(WindowWndTest, CenterWindowClampsToTheWorkArea)
{
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    SkinWindow owner(L"<Window><Control /></Window>");
    ASSERT_TRUE(owner.Open(work.left, work.top, 100, 100));
    const struct {
        int cx, cy;
        bool minimiseOwner;
        int x, y;
    } cases[] = {
        {workWidth + 100, workHeight + 50, false, work.left, work.top},
        {200, 100, true, (work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 50},
        {40, 20, false, work.left + 50 - 20, work.top + 50 - 10},
    };
    for (const auto& c : cases) {
        ShowWindow(owner, c.minimiseOwner ? SW_MINIMIZE : SW_RESTORE);
        SkinWindow w(L"<Window><Control /></Window>");
        ASSERT_TRUE(w.Open(300, 300, c.cx, c.cy, owner));
        w.CenterWindow();
        RECT frame;
        GetWindowRect(w, &frame);
        EXPECT_EQ(frame.left, c.x);
        EXPECT_EQ(frame.top, c.y);
    }
}

class ModalWindow : public SkinWindow {
public:
    using SkinWindow::SkinWindow;
    const wchar_t* GetWindowClassName() const override { return L"VLModalTestWindow"; }
    LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) override
    {
        ownerEnabledAtClose = IsWindowEnabled(GetWindow(GetHWND(), GW_OWNER)) != FALSE;
        handled = false;
        return 0;
    }
    bool ownerEnabledAtClose = false;
};

// Closed by its own WM_CLOSE, the owner is usable again before the window
// goes; a WM_QUIT ends the loop and is posted again for the loop outside.
TEST(WindowWndTest, ModalLoopReleasesItsOwner)
{
    for (const bool quit : {false, true}) {
        SkinWindow owner(L"<Window><Control /></Window>");
        ASSERT_TRUE(owner.Open(0, 0, 100, 100));
        ModalWindow modal(L"<Window><Control /></Window>");
        ASSERT_TRUE(modal.Open(20, 20, 50, 50, owner));
        if (quit)
            PostQuitMessage(7);
        else
            PostMessageW(modal, WM_CLOSE, 0, 0);
        modal.ShowModal();
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(modal.ownerEnabledAtClose, !quit);
        EXPECT_EQ(IsWindow(modal) != FALSE, quit);
        MSG msg = {};
        EXPECT_EQ(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, quit);
        EXPECT_EQ(msg.wParam, quit ? 7u : 0u);
    }
}

} // namespace
} // namespace Velora
