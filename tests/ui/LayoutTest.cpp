#include "tests/ui/UiTestSupport.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/VerticalLayout.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

std::string Places(const VLContainer& parent)
{
    std::string out;
    for (int i = 0; i < parent.GetCount(); ++i) out += (i ? " " : "") + RectText(parent.GetItemAt(i)->GetPos());
    return out;
}

TEST(Layout, HorizontalRowsShareTheRoomLeft)
{
    const struct {
        int width;
        const wchar_t* items[3];
        const char* expected;
    } rows[] = {
        {300, {L"width=\"50\" padding=\"0,5,0,3\"", L"", L""}, "0,5,50,37 60,0,175,40 185,0,300,40"},
        {301, {L"width=\"50\"", L"", L""}, "0,0,50,40 60,0,175,40 185,0,301,40"},
        {300, {L"width=\"50\"", L"", L"maxwidth=\"40\""}, "0,0,50,40 60,0,175,40 185,0,225,40"},
        {300, {L"width=\"50\" height=\"10\"", L"", L"maxheight=\"30\""}, "0,0,50,10 60,0,175,40 185,0,300,30"},
        // Sums past int are held at the layout's bound, never wrapped.
        {2048,
         {L"", L"width=\"2147483647\"", L"width=\"962990\""},
         "0,0,0,40 10,0,1073741823,40 1073741823,0,1073741823,40"},
    };
    for (const auto& row : rows) {
        VLHorizontalLayout layout;
        layout.SetChildPadding(10);
        for (const wchar_t* attributes : row.items) AddItem(layout, attributes);
        layout.SetPos({0, 0, row.width, 40});
        EXPECT_EQ(row.expected, Places(layout));
    }
}

TEST(Layout, FloatsAndStackingPlaceTheirOwnWay)
{
    const struct {
        int layoutType, inset;
        const wchar_t* attributes;
        const char* expected;
    } cases[] = {
        {0, 0, L"float=\"true\" pos=\"10,10,10,10\"", "10,10,110,110"},
        {0, 0, L"float=\"true\" pos=\"10,10,10,10\" padding=\"1,2,3,4\"", "11,12,107,106"},
        {0, 0, L"relfloat=\"true\" pos=\"10,10,10,10\"", "10,10,100,100"},
        {0, 0, L"absfloat=\"true\" pos=\"5,6,25,16\"", "5,6,25,16"},
        {0, 10, L"float=\"true\" pos=\"10,10,10,10\"", "20,20,110,110"},               // inside the inset
        {kLayoutVertical, 10, L"float=\"true\" pos=\"10,10,10,10\"", "10,10,110,110"}, // the whole control
        {0, 0, L"width=\"20\" height=\"20\" format=\"center vcen\"", "40,40,60,60"},
        {0, 0, L"width=\"20\" height=\"20\" format=\"center\"", "40,0,60,20"},
        {0, 0, L"maxwidth=\"10\" maxheight=\"10\"", "0,0,100,100"}, // stacking ignores bounds
        {kLayoutVertical, 0, L"height=\"30\" padding=\"3,0,4,0\"", "3,0,96,30"},
    };
    for (const auto& c : cases) {
        VLContainer container;
        container.SetLayoutType(c.layoutType);
        container.SetInset(c.inset, c.inset, 0, 0);
        VLControl* item = AddItem(container, c.attributes);
        AddItem(container, L"width=\"20\" height=\"20\" format=\"center vcen\"");
        container.SetPos({0, 0, 100, 100});
        EXPECT_EQ(c.expected, RectText(item->GetPos())) << c.layoutType << " " << c.attributes;
    }
}

TEST(Layout, BarsFollowTheContentAndOnlyVerticalLayoutsScrollDown)
{
    VLVerticalLayout column;
    column.EnableScrollBar(true, false);
    VLControl* first = AddItem(column, L"height=\"250\"");
    VLControl* second = AddItem(column, L"height=\"250\"");
    column.SetPos({0, 0, 100, 300});
    VLScrollbar* bar = column.GetVerticalScrollBar();
    // shown, range, position, place
    const auto state = [bar] {
        return std::to_string(bar->IsVisible()) + " " + std::to_string(bar->GetScrollRange()) + " " +
               std::to_string(bar->GetScrollPos()) + " " + RectText(bar->GetPos());
    };
    EXPECT_EQ("1 200 0 84,0,100,300", state());
    EXPECT_EQ("0,250,84,500", RectText(second->GetPos()));
    column.SetScrollPos({0, 50});
    column.SetPos(column.GetPos());
    EXPECT_EQ(-50, first->GetY());
    first->SetFixedHeight(125);
    second->SetFixedHeight(125);
    column.SetPos(column.GetPos());
    EXPECT_EQ("0 0 0 84,0,100,300", state());
    EXPECT_EQ("0,0,100,125", RectText(first->GetPos()));

    VLHorizontalLayout row;
    row.EnableScrollBar(true, false);
    VLControl* item = AddItem(row, L"width=\"40\" height=\"200\"");
    row.SetPos({0, 0, 100, 100});
    row.SetScrollPos({0, 30});
    EXPECT_EQ(-30, item->GetY());
    row.SetPos(row.GetPos());
    EXPECT_EQ(0, item->GetY());
}

// Records the room it is offered. A contrary one is taller with more room:
// a bar that appears makes it fit, and a bar that goes makes it too tall.
class Probe : public VLControl {
public:
    explicit Probe(bool contrary) : contrary_(contrary) {}
    SIZE MeasureSize(SIZE available) override
    {
        ++measures;
        last = available;
        return contrary_ ? SIZE{0, available.cx >= 100 ? 500 : 100} : VLControl::MeasureSize(available);
    }
    int measures = 0;
    SIZE last = {};

private:
    bool contrary_;
};

TEST(Layout, PaddingComesOffFirstVerticallyAndBarsCannotToggleForever)
{
    for (bool vertical : {true, false}) {
        VLContainer container;
        container.SetLayoutType(vertical ? kLayoutVertical : kLayoutHorizontal);
        auto* item = static_cast<Probe*>(AddItem(container, L"padding=\"10,10,5,5\"", new Probe(false)));
        container.SetPos({0, 0, 100, 100});
        EXPECT_EQ(vertical ? 85 : 100, vertical ? item->last.cy : item->last.cx);
    }
    VLVerticalLayout column;
    column.EnableScrollBar(true, false);
    auto* item = static_cast<Probe*>(AddItem(column, L"", new Probe(true)));
    column.SetPos({0, 0, 100, 300});
    EXPECT_LE(item->measures, 6); // the first pass and at most two more, measuring twice each
    EXPECT_FALSE(column.needsLayout);
}

} // namespace
} // namespace Velora
