#include "ui/core/Scrollbar.h"
#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace Velora {
namespace {

void Tick(VLScrollbar& bar, int times)
{
    for (int i = 0; i < times; ++i) Deliver(bar, kEventTimer, 0, 0, 0, kScrollTimerId);
}

TEST(Scrollbar, PartsFollowLengthRangeAndPosition)
{
    const struct {
        const char* name;
        bool horizontal;
        int length, range, position;
        const char *thumb, *button2;
    } cases[] = {
        {"top", false, 100, 100, 0, "0,16,16,50", "0,84,16,100"},
        {"bottom", false, 100, 100, 100, "0,50,16,84", "0,84,16,100"},
        {"long content: least thumb", false, 100, 10000, 0, "0,16,16,32", "0,84,16,100"},
        {"no range fills the track", false, 100, 0, 0, "0,16,16,84", "0,84,16,100"},
        {"huge range in 64 bits", false, 100, INT_MAX, INT_MAX, "0,68,16,84", "0,84,16,100"},
        {"no room for a thumb", false, 20, 100, 0, "0,0,0,0", "0,10,16,20"},
        {"horizontal", true, 100, 100, 100, "50,0,84,16", "84,0,100,16"},
    };
    for (const auto& c : cases) {
        VLScrollbar bar;
        bar.SetHorizontal(c.horizontal);
        bar.SetScrollRange(c.range);
        bar.SetScrollPos(c.position);
        bar.SetPos(c.horizontal ? RECT{0, 0, c.length, 16} : RECT{0, 0, 16, c.length});
        EXPECT_EQ(c.thumb, RectText(bar.GetThumbRect())) << c.name;
        EXPECT_EQ(c.button2, RectText(bar.GetButton2Rect())) << c.name;
    }
    VLScrollbar bar;
    bar.SetScrollPos(60);
    bar.SetScrollRange(-5);
    EXPECT_EQ(0, bar.GetScrollRange() + bar.GetScrollPos());
    bar.SetAttribute(L"showbutton1", L"True");
    bar.SetAttribute(L"inset", L"2"); // short lists end at the text's end
    bar.SetPos({0, 0, 16, 100});
    EXPECT_EQ("2,0,2,0", RectText(bar.GetButton1Rect()));
}

TEST(Scrollbar, HeldButtonRepeatsAfterTheDelayAndTheRailPages)
{
    BoundManager bound;
    VLScrollbar bar;
    bar.SetManager(&bound.manager);
    bar.SetPos({0, 0, 16, 100});
    Deliver(bar, kEventLButtonDown, 8, 90);
    EXPECT_EQ(8, bar.GetScrollPos());
    EXPECT_EQ(1u, bound.manager.GetTimers().size());
    Tick(bar, kScrollRepeatDelay);
    EXPECT_EQ(8, bar.GetScrollPos());
    Tick(bar, 2);
    EXPECT_EQ(24, bar.GetScrollPos());
    Deliver(bar, kEventLButtonUp, 8, 90);
    EXPECT_TRUE(bound.manager.GetTimers().empty());

    Deliver(bar, kEventLButtonDown, 8, 70); // below the thumb: a page of the bar's height
    EXPECT_EQ(100, bar.GetScrollPos());
    bar.SetEnabled(false);
    Deliver(bar, kEventLButtonDown, 8, 5);
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
        Deliver(bar, kEventLButtonDown, 8, thumb.top + 1);
        EXPECT_EQ(kStatePushed | kStateCaptured, bar.GetThumbState());
        Deliver(bar, kEventMouseMove, 8, thumb.top + 1 + travel);
        EXPECT_EQ(0, bar.GetScrollPos()); // the position follows on the timer
        Tick(bar, 1);
        EXPECT_EQ(range, bar.GetScrollPos());
        Deliver(bar, kEventMouseMove, 8, -500);
        Tick(bar, 1);
        EXPECT_EQ(0, bar.GetScrollPos());
        Deliver(bar, kEventLButtonUp, 8, 0);
        EXPECT_EQ(0u, bar.GetThumbState());
    }
}

} // namespace
} // namespace Velora
