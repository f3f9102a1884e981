#include "ui/core/Scrollbar.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace Velora {
namespace {

VLControlEvent MouseAt(int32_t type, int x, int y, WPARAM wParam = 0)
{
    VLControlEvent e;
    e.type = type;
    e.ptMouse = {x, y};
    e.wParam = wParam;
    return e;
}

void Tick(VLScrollbar& bar, int times)
{
    for (int i = 0; i < times; ++i) {
        VLControlEvent e = MouseAt(kEventTimer, 0, 0, kScrollTimerId);
        bar.DoEvent(e);
    }
}

TEST(Scrollbar, PartsFollowLengthRangeAndPosition)
{
    const struct {
        const char* name;
        bool horizontal;
        int length;
        int range;
        int position;
        RECT thumb;
        RECT button2;
    } cases[] = {
        {"top", false, 100, 100, 0, {0, 16, 16, 50}, {0, 84, 16, 100}},
        {"bottom", false, 100, 100, 100, {0, 50, 16, 84}, {0, 84, 16, 100}},
        {"long content keeps the least thumb", false, 100, 10000, 0, {0, 16, 16, 32}, {0, 84, 16, 100}},
        {"no range fills the track", false, 100, 0, 0, {0, 16, 16, 84}, {0, 84, 16, 100}},
        {"huge range in 64 bits", false, 100, INT_MAX, INT_MAX, {0, 68, 16, 84}, {0, 84, 16, 100}},
        {"no room for a thumb", false, 20, 100, 0, {0, 0, 0, 0}, {0, 10, 16, 20}},
        {"horizontal", true, 100, 100, 100, {50, 0, 84, 16}, {84, 0, 100, 16}},
    };
    for (const auto& c : cases) {
        VLScrollbar bar;
        bar.SetHorizontal(c.horizontal);
        bar.SetScrollRange(c.range);
        bar.SetScrollPos(c.position);
        bar.SetPos(c.horizontal ? RECT{0, 0, c.length, 16} : RECT{0, 0, 16, c.length});
        EXPECT_EQ(RectText(c.thumb), RectText(bar.GetThumbRect())) << c.name;
        EXPECT_EQ(RectText(c.button2), RectText(bar.GetButton2Rect())) << c.name;
    }
    VLScrollbar bar;
    bar.SetScrollPos(60);
    bar.SetScrollRange(-5);
    EXPECT_EQ(0, bar.GetScrollRange());
    EXPECT_EQ(0, bar.GetScrollPos());
    bar.SetAttribute(L"showbutton1", L"True");
    bar.SetAttribute(L"inset", L"2");
    bar.SetPos({0, 0, 16, 100});
    EXPECT_EQ(2, bar.GetButton1Rect().left);
    EXPECT_EQ(0, bar.GetButton1Rect().bottom - bar.GetButton1Rect().top);
}

TEST(Scrollbar, HeldButtonRepeatsAfterTheDelay)
{
    BoundManager bound;
    VLScrollbar bar;
    bar.SetManager(&bound.manager);
    bar.SetPos({0, 0, 16, 100});
    VLControlEvent down = MouseAt(kEventLButtonDown, 8, 90);
    bar.DoEvent(down);
    EXPECT_EQ(8, bar.GetScrollPos());
    EXPECT_EQ(1u, bound.manager.timers.size());
    Tick(bar, kScrollRepeatDelay);
    EXPECT_EQ(8, bar.GetScrollPos());
    Tick(bar, 2);
    EXPECT_EQ(24, bar.GetScrollPos());
    VLControlEvent up = MouseAt(kEventLButtonUp, 8, 90);
    bar.DoEvent(up);
    EXPECT_TRUE(bound.manager.timers.empty());

    // The rail pages by the bar's own length, and a disabled bar ignores presses.
    VLControlEvent rail = MouseAt(kEventLButtonDown, 8, 70);
    bar.DoEvent(rail);
    EXPECT_EQ(100, bar.GetScrollPos());
    bar.SetEnabled(false);
    VLControlEvent press = MouseAt(kEventLButtonDown, 8, 5);
    bar.DoEvent(press);
    EXPECT_EQ(100, bar.GetScrollPos());
}

TEST(Scrollbar, DragOverTheFreeTravelCoversTheRange)
{
    for (int range : {100, INT_MAX}) {
        BoundManager bound;
        VLScrollbar bar;
        bar.SetManager(&bound.manager);
        bar.SetScrollRange(range);
        bar.SetPos({0, 0, 16, 100});
        const RECT thumb = bar.GetThumbRect();
        const int travel = 100 - (thumb.bottom - thumb.top) - 32;
        VLControlEvent down = MouseAt(kEventLButtonDown, 8, thumb.top + 1);
        bar.DoEvent(down);
        EXPECT_EQ(kStatePushed | kStateCaptured, bar.GetThumbState());
        VLControlEvent move = MouseAt(kEventMouseMove, 8, thumb.top + 1 + travel);
        bar.DoEvent(move);
        EXPECT_EQ(0, bar.GetScrollPos()); // the position follows on the timer
        Tick(bar, 1);
        EXPECT_EQ(range, bar.GetScrollPos());
        VLControlEvent back = MouseAt(kEventMouseMove, 8, -500);
        bar.DoEvent(back);
        Tick(bar, 1);
        EXPECT_EQ(0, bar.GetScrollPos());
        VLControlEvent up = MouseAt(kEventLButtonUp, 8, 0);
        bar.DoEvent(up);
        EXPECT_EQ(0u, bar.GetThumbState());
    }
}

} // namespace
} // namespace Velora
