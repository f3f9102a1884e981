#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/Label.h"
#include "ui/core/Option.h"
#include "ui/core/VerticalLayout.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

// Counts its deletions; deleting it may stop its container owning the rest.
class Probe : public VLControl {
public:
    Probe(int& deleted, VLContainer* disown = nullptr) : deleted_(deleted), disown_(disown) {}
    ~Probe() override
    {
        ++deleted_;
        if (disown_) disown_->SetAutoDestroy(false);
    }

private:
    int& deleted_;
    VLContainer* disown_;
};

TEST(Container, ItemListOwnershipAndIndexes)
{
    int deleted = 0;
    VLContainer c;
    VLControl *a = new Probe(deleted, &c), *b = new Probe(deleted), *d = new Probe(deleted);
    VLControl *first = new Probe(deleted), *e = new Probe(deleted);
    EXPECT_FALSE(c.Add(nullptr));
    EXPECT_TRUE(c.Add(a) && c.Add(b) && c.AddAt(d, 100) && c.AddAt(first, -1));
    EXPECT_EQ(3, c.GetItemIndex(d));
    EXPECT_TRUE(c.needsLayout && first->GetParent() == &c);
    EXPECT_TRUE(c.SetItemIndex(first, 100) && c.GetItemIndex(first) == 3 && c.SetItemIndex(first, 0));
    EXPECT_FALSE(c.GetItemAt(-1) || c.SetItemAt(4, e) || c.RemoveAt(4));
    EXPECT_TRUE(c.SetItemAt(3, e) && c.Remove(first)); // d and first are deleted
    EXPECT_EQ(2, deleted);
    // Deleting a makes the container stop owning: b and e survive.
    c.RemoveAll();
    EXPECT_EQ(3, deleted);
    EXPECT_EQ(0, c.GetCount());
    delete b;
    delete e;
}

TEST(Container, FindControlAsksBarsThenItemsThenItself)
{
    VLContainer c;
    c.SetInset(10, 10, 10, 10);
    c.EnableScrollBar(true, false);
    VLControl* item = AddItem(c, L"height=\"300\"");
    c.SetPos({0, 0, 100, 100});
    VLScrollbar* bar = c.GetVerticalScrollBar();
    // The container's own "cut" does not hide its items, only itself.
    const struct {
        int cut;
        POINT at;
        VLControl* expected;
    } hits[] = {{0, {5, 50}, &c},     {0, {75, 50}, bar},     {0, {15, 15}, item},
                {20, {15, 15}, item}, {20, {5, 50}, nullptr}, {0, {150, 50}, nullptr}};
    const VLFindControlProc self = [](VLControl* found, void*) { return found; };
    for (const auto& hit : hits) {
        c.SetCut({hit.cut, hit.cut, hit.cut, hit.cut});
        POINT p = hit.at;
        EXPECT_EQ(hit.expected, c.FindControl(self, &p, kFindHitTest | kFindVisible)) << p.x << "," << p.y;
    }
    item->SetVisible(false);
    POINT inside = {30, 30};
    EXPECT_EQ(&c, c.FindControl(self, &inside, kFindHitTest | kFindVisible));
}

TEST(Container, KeysWheelAndSteps)
{
    VLHorizontalLayout row;
    row.SetAttribute(L"hscrollbarstyle", L"linesize=\"30\""); // not used by the horizontal line step
    VLControl* item = AddItem(row, L"width=\"400\"");
    row.SetPos({0, 0, 100, 100});
    ASSERT_EQ(300, row.GetScrollRange().cx);
    const struct {
        int32_t type;
        uint16_t key;
        WPARAM wParam;
        int expected;
    } steps[] = {{kEventKeyDown, VK_NEXT, 0, 100}, {kEventKeyDown, VK_UP, 0, 92},     {kEventKeyDown, VK_DOWN, 0, 100},
                 {kEventKeyDown, VK_LEFT, 0, 100}, {kEventKeyDown, VK_RIGHT, 0, 100}, {kEventKeyDown, VK_END, 0, 300},
                 {kEventMouseWheel, 0, 0, 292},    {kEventMouseWheel, 0, 1, 300},     {kEventKeyDown, VK_HOME, 0, 0}};
    for (const auto& step : steps) {
        Deliver(row, step.type, 0, 0, step.key, step.wParam);
        EXPECT_EQ(step.expected, row.GetScrollPos().cx) << step.type << " " << step.key;
        EXPECT_EQ(-step.expected, item->GetX()) << step.type << " " << step.key;
    }
}

TEST(Container, PagesBarButtonsAndPositionsWithoutABar)
{
    VLVerticalLayout list;
    list.SetInset(0, 5, 0, 5);
    list.EnableScrollBar(true, true);
    VLControl* item = AddItem(list, L"width=\"300\" height=\"1000\"");
    list.SetPos({0, 0, 100, 200});
    list.ScrollPageDown();
    list.ScrollPageRight();
    EXPECT_EQ(200 - 10 - 16, list.GetScrollPos().cy); // the page leaves out the other bar
    EXPECT_EQ(100 - 16, list.GetScrollPos().cx);
    list.ScrollToTop();
    const RECT button = list.GetVerticalScrollBar()->GetButton2Rect();
    Deliver(*list.GetVerticalScrollBar(), kEventLButtonDown, button.left + 1, button.top + 1);
    EXPECT_EQ(8, list.GetScrollPos().cy);
    EXPECT_EQ(5 - 8, item->GetY());

    // Without a bar the position says where the first item's top goes.
    VLContainer box;
    box.SetInset(0, 10, 0, 0);
    item = AddItem(box, L"height=\"20\"");
    box.SetPos({0, 0, 100, 100});
    box.SetScrollPos({0, 0});
    EXPECT_EQ("0,0,100,20", RectText(item->GetPos()));
    box.SetScrollPos({0, 5});
    EXPECT_EQ("0,-5,100,15", RectText(item->GetPos()));
}

TEST(Container, AttributesAndLabelsWithoutThem)
{
    BoundManager bound;
    bound.manager.AddDefaultAttributeList(L"VScrollBar", L"linesize=\"12\"");
    VLContainer c;
    VLLabel label;
    for (VLContainer* target : {&c, static_cast<VLContainer*>(&label)}) {
        target->SetManager(&bound.manager);
        VLControl::ApplyAttributeList(L"inset=\"4,3\" childpadding=\"7\" layouttype=\"2\" vscrollbar=\"true\"", target);
    }
    EXPECT_EQ("4,3,0,0", RectText(c.GetInset())); // a short list ends at the text's end
    EXPECT_TRUE(c.GetChildPadding() == 7 && c.GetLayoutType() == kLayoutVertical);
    ASSERT_NE(nullptr, c.GetVerticalScrollBar());
    EXPECT_EQ(12, c.GetVerticalScrollBar()->GetLineSize());
    c.SetAttribute(L"vscrollbar", L"false");
    EXPECT_EQ(nullptr, c.GetVerticalScrollBar());
    c.SetAttribute(L"vscrollbarstyle", L"linesize=\"20\"");
    ASSERT_NE(nullptr, c.GetVerticalScrollBar());
    EXPECT_EQ(20, c.GetVerticalScrollBar()->GetLineSize());

    EXPECT_TRUE(label.GetInset().left == 0 && label.GetChildPadding() == 0 && !label.GetVerticalScrollBar());
    for (const wchar_t* value : {L"TRUE", L"1", L"", L"true"}) {
        label.SetAttribute(L"text_antialias", value);
        EXPECT_EQ(value[0] == L't', label.IsTextAntialiased()) << value;
    }
}

// ---- Painting into memory DIBs ----------------------------------------------

using Velora::Test::Canvas;
using Velora::Test::CellColour;

constexpr uint32_t kBack = 0xFF102030;

// A solid cell of the test program's 9x9 cell image.
std::wstring Cell(int column, int row)
{
    return L"res='601' restype='PNG' source='" + std::to_wstring(column * 3) + L"," + std::to_wstring(row * 3) + L"," +
           std::to_wstring(column * 3 + 3) + L"," + std::to_wstring(row * 3 + 3) + L"'";
}

TEST(ContainerPaint, TopmostLastFloatsOverTheInsetFlowClippedToIt)
{
    VLContainer box;
    VLControl::ApplyAttributeList(L"inset=\"10,10,10,10\" normalbkcolor=\"#FF808080\"", &box);
    AddItem(box, L"width=\"40\" height=\"40\" normalbkcolor=\"#FF00FF00\""); // reaches past the inset
    AddItem(box, L"format=\"topmost\" normalbkcolor=\"#FF0000FF\"");
    AddItem(box, L"normalbkcolor=\"#FFFF0000\"");
    AddItem(box, L"float=\"true\" pos=\"-10,-10,0,0\" normalbkcolor=\"#FFFFFF00\"");
    box.SetPos({0, 0, 40, 40});
    Canvas canvas(50, 50, kBack);
    box.Paint(canvas.Dc(), {0, 0, 50, 50});
    // topmost blue over red; the float over the inset; the green item clipped to the inner rectangle
    for (const auto& [x, colour] : {std::pair{20, 0x0000FFu}, {5, 0xFFFF00u}, {35, 0x808080u}, {45, kBack & 0xFFFFFF}})
        EXPECT_EQ(colour, canvas.Rgb(x, x)) << x;
}

TEST(ContainerPaint, ScrollbarOutlinesWhatHasNoImage)
{
    VLScrollbar bar;
    bar.SetPos({0, 0, 16, 100});
    Canvas canvas(16, 100, kBack);
    bar.Paint(canvas.Dc(), {0, 0, 16, 100});
    for (POINT p : {POINT{0, 0}, POINT{15, 99}, POINT{0, 17}}) EXPECT_EQ(0x85E4FFu, canvas.Rgb(p.x, p.y)) << p.y;
    EXPECT_EQ(kBack, canvas.At(8, 8));

    // A hidden button's image is not stretched over the bar; the thumb's is
    // drawn where the thumb is, and the bar's background under everything.
    bar.SetShowButton1(false);
    VLControl::ApplyAttributeList(L"button1normalimage=\"" + Cell(0, 0) + L"\" thumbnormalimage=\"" + Cell(1, 1) +
                                      L"\" bknormalimage=\"" + Cell(2, 2) + L"\"",
                                  &bar);
    canvas.Fill(kBack);
    bar.Paint(canvas.Dc(), {0, 0, 16, 100});
    EXPECT_EQ(CellColour(4, 4), canvas.Rgb(8, 20));
    EXPECT_EQ(CellColour(7, 7), canvas.Rgb(8, 60));
}

TEST(ContainerPaint, AntialiasedTextCoverage)
{
    // text colour, pixel, result: black text stays as drawn, the full colour
    // and untouched pixels stay, half coverage, brighter than the colour
    const uint32_t cases[][3] = {{0xFF000000, 0xFF404040, 0xFF404040},
                                 {0xFFFF0000, 0xFFFF0000, 0xFFFF0000},
                                 {0xFFFF0000, 0x00000000, 0x00000000},
                                 {0xFFFF0000, 0xFF800000, 0x80800000},
                                 {0xFFFF0000, 0xFF404040, 0xFFFF0000}};
    for (const auto& c : cases) {
        uint32_t pixel = c[1];
        VLLabel::CoverText(&pixel, 1, c[0]);
        EXPECT_TRUE(Velora::Test::Near(c[2], pixel, 1)) << std::hex << c[1] << " became " << pixel;
    }

    // Black antialiased text shows, and only inside the text rectangle.
    BoundManager bound;
    VLLabel label;
    label.SetManager(&bound.manager);
    VLControl::ApplyAttributeList(
        L"text_antialias=\"true\" text=\"WWW\" normaltextpadding=\"10,5,10,5\" normaltextcolor=\"#FF000000\"", &label);
    label.SetPos({0, 0, 80, 30});
    Canvas canvas(80, 30, 0xFFFFFFFF);
    label.Paint(canvas.Dc(), {0, 0, 80, 30});
    const RECT changed = canvas.Changed(0xFFFFFFFF);
    EXPECT_TRUE(!IsRectEmpty(&changed) && changed.left >= 10 && changed.top >= 5 && changed.right <= 70 &&
                changed.bottom <= 25)
        << RectText(changed);
}

TEST(ContainerPaint, SelectedOptionLooks)
{
    // The state image covers the top left quarter, over the selected background.
    const struct {
        bool enabled, disabledSelectedImage;
        uint32_t expected;
    } cases[] = {{true, false, CellColour(0, 0)}, {false, false, CellColour(0, 0)}, {false, true, CellColour(3, 0)}};
    for (const auto& c : cases) {
        VLOption option;
        option.images[kImageSelected] = Cell(0, 0) + L" dest='0,0,10,10'";
        option.bkImages[kImageSelected] = Cell(2, 2);
        if (c.disabledSelectedImage) option.SetDisabledSelectedImage(Cell(1, 0) + L" dest='0,0,10,10'");
        option.SetSelected(true);
        option.SetEnabled(c.enabled);
        option.SetPos({0, 0, 20, 20});
        option.state |= kStatePushed;
        Canvas canvas(20, 20, kBack);
        option.Paint(canvas.Dc(), {0, 0, 20, 20});
        EXPECT_EQ(c.expected, canvas.Rgb(5, 5)) << c.enabled << c.disabledSelectedImage;
        EXPECT_EQ(CellColour(6, 6), canvas.Rgb(15, 15));
        EXPECT_EQ(0u, option.state & kStatePushed);
    }
}

} // namespace
} // namespace Velora
