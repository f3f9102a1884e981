#include "tests/ui/UiTestSupport.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/VerticalLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace Velora {
namespace {

VLControl* Item(VLContainer& parent, const wchar_t* attributes)
{
    auto* item = new VLControl;
    VLControl::ApplyAttributeList(attributes, item);
    parent.Add(item);
    return item;
}

TEST(Layout, HorizontalRowsShareTheRoomLeft)
{
    const struct {
        const char* name;
        int width;
        const wchar_t* items[3];
        RECT expected[3];
    } rows[] = {
        {"300 wide",
         300,
         {L"width=\"50\" padding=\"0,5,0,3\"", L"", L""},
         {{0, 5, 50, 37}, {60, 0, 175, 40}, {185, 0, 300, 40}}},
        {"301 wide: the last takes the remainder",
         301,
         {L"width=\"50\"", L"", L""},
         {{0, 0, 50, 40}, {60, 0, 175, 40}, {185, 0, 301, 40}}},
        {"a maximum is not shared out",
         300,
         {L"width=\"50\"", L"", L"maxwidth=\"40\""},
         {{0, 0, 50, 40}, {60, 0, 175, 40}, {185, 0, 225, 40}}},
        {"heights fixed or clamped",
         300,
         {L"width=\"50\" height=\"10\"", L"", L"maxheight=\"30\""},
         {{0, 0, 50, 10}, {60, 0, 175, 40}, {185, 0, 300, 30}}},
    };
    for (const auto& row : rows) {
        VLHorizontalLayout layout;
        layout.SetChildPadding(10);
        std::vector<VLControl*> items;
        for (const wchar_t* attributes : row.items) items.push_back(Item(layout, attributes));
        layout.SetPos({0, 0, row.width, 40});
        for (size_t i = 0; i < items.size(); ++i)
            EXPECT_EQ(RectText(row.expected[i]), RectText(items[i]->GetPos())) << row.name << " " << i;
    }
}

TEST(Layout, FloatsAndStackingPlaceTheirOwnWay)
{
    const struct {
        const char* name;
        int layoutType;
        const wchar_t* attributes;
        RECT expected;
    } cases[] = {
        {"float", 0, L"float=\"true\" pos=\"10,10,10,10\"", {10, 10, 110, 110}},
        {"float less padding", 0, L"float=\"true\" pos=\"10,10,10,10\" padding=\"1,2,3,4\"", {11, 12, 107, 106}},
        {"relfloat", 0, L"relfloat=\"true\" pos=\"10,10,10,10\"", {10, 10, 100, 100}},
        {"absfloat with a size", 0, L"absfloat=\"true\" pos=\"5,6,25,16\"", {5, 6, 25, 16}},
        {"stack centred", 0, L"width=\"20\" height=\"20\" format=\"center vcen\"", {40, 40, 60, 60}},
        {"stack ignores a maximum", 0, L"maxwidth=\"10\" maxheight=\"10\"", {0, 0, 100, 100}},
        {"stack only centred across", 0, L"width=\"20\" height=\"20\" format=\"center\"", {40, 0, 60, 20}},
        {"vertical float in the control rect",
         kLayoutVertical,
         L"float=\"true\" pos=\"10,10,10,10\"",
         {10, 10, 110, 110}},
        {"vertical fills the width", kLayoutVertical, L"height=\"30\" padding=\"3,0,4,0\"", {3, 0, 96, 30}},
    };
    for (const auto& c : cases) {
        VLContainer container;
        container.SetLayoutType(c.layoutType);
        VLControl* item = Item(container, c.attributes);
        Item(container, L"width=\"20\" height=\"20\" format=\"center vcen\"");
        container.SetPos({0, 0, 100, 100});
        EXPECT_EQ(RectText(c.expected), RectText(item->GetPos())) << c.name;
    }
    // The stacking pass takes floats relative to the inner rectangle, the
    // vertical pass to the whole control.
    for (int type : {0, kLayoutVertical}) {
        VLContainer container;
        container.SetLayoutType(type);
        container.SetInset(10, 10, 10, 10);
        VLControl* item = Item(container, L"float=\"true\" pos=\"10,10,10,10\"");
        container.SetPos({0, 0, 100, 100});
        EXPECT_EQ(type == 0 ? 20 : 10, item->GetX());
    }
}

TEST(Layout, VerticalBarFollowsTheContent)
{
    VLVerticalLayout layout;
    layout.EnableScrollBar(true, false);
    VLControl* first = Item(layout, L"height=\"250\"");
    VLControl* second = Item(layout, L"height=\"250\"");
    layout.SetPos({0, 0, 100, 300});
    VLScrollbar* bar = layout.GetVerticalScrollBar();
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(200, bar->GetScrollRange());
    EXPECT_EQ(0, bar->GetScrollPos());
    EXPECT_EQ("84,0,100,300", RectText(bar->GetPos()));
    EXPECT_EQ("0,250,84,500", RectText(second->GetPos()));

    // A vertical layout moves with the position, also when laid out again.
    layout.SetScrollPos({0, 50});
    EXPECT_EQ(-50, first->GetY());
    layout.SetPos(layout.GetPos());
    EXPECT_EQ(-50, first->GetY());

    first->SetFixedHeight(125);
    second->SetFixedHeight(125);
    layout.SetPos(layout.GetPos());
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_EQ(0, bar->GetScrollRange());
    EXPECT_EQ(0, bar->GetScrollPos());
    EXPECT_EQ("0,0,100,125", RectText(first->GetPos()));
}

TEST(Layout, HorizontalRowIgnoresTheVerticalPosition)
{
    VLHorizontalLayout row;
    row.EnableScrollBar(true, false);
    VLControl* item = Item(row, L"width=\"40\" height=\"200\"");
    row.SetPos({0, 0, 100, 100});
    ASSERT_TRUE(row.GetVerticalScrollBar()->IsVisible());
    row.SetScrollPos({0, 30});
    EXPECT_EQ(-30, item->GetY());
    row.SetPos(row.GetPos());
    EXPECT_EQ(0, item->GetY());
}

// Remembers the room the last pass offered it.
class Offered : public VLControl {
public:
    SIZE MeasureSize(SIZE available) override
    {
        last = available;
        return VLControl::MeasureSize(available);
    }
    SIZE last = {};
};

// The vertical pass takes an item's padding off before it measures the item;
// the horizontal pass after.
TEST(Layout, PaddingBeforeOrAfterMeasuring)
{
    for (bool vertical : {true, false}) {
        VLContainer container;
        container.SetLayoutType(vertical ? kLayoutVertical : kLayoutHorizontal);
        auto* item = new Offered;
        item->SetPadding({10, 10, 5, 5});
        container.Add(item);
        container.SetPos({0, 0, 100, 100});
        EXPECT_EQ(vertical ? 85 : 100, vertical ? item->last.cy : item->last.cx) << vertical;
    }
}

// Taller when it has more room: showing the bar makes the content fit, which
// hides the bar, which makes the content too tall again.
class Contrary : public VLControl {
public:
    SIZE MeasureSize(SIZE available) override
    {
        ++measures;
        return {0, available.cx >= 100 ? 500 : 100};
    }
    int measures = 0;
};

TEST(Layout, BarsThatToggleEachOtherStop)
{
    VLVerticalLayout layout;
    layout.EnableScrollBar(true, false);
    auto* item = new Contrary;
    layout.Add(item);
    layout.SetPos({0, 0, 100, 300});
    // The first pass and at most two more, each measuring twice.
    EXPECT_LE(item->measures, 6);
    EXPECT_FALSE(layout.needsLayout);
}

} // namespace
} // namespace Velora
