#include "tests/ui/UiTestSupport.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/Label.h"
#include "ui/core/VerticalLayout.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

VLControl* Self(VLControl* c, void*)
{
    return c;
}

// Counts its deletions; the first one may stop its container owning the rest.
class Probe : public VLControl {
public:
    explicit Probe(int& deleted, VLContainer* disown = nullptr) : deleted_(deleted), disown_(disown) {}
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
    VLControl* a = new Probe(deleted, &c);
    VLControl* b = new Probe(deleted);
    VLControl* d = new Probe(deleted);
    EXPECT_FALSE(c.Add(nullptr));
    for (VLControl* item : {a, b}) EXPECT_TRUE(c.Add(item));
    EXPECT_TRUE(c.AddAt(d, 100));
    EXPECT_EQ(2, c.GetItemIndex(d));
    VLControl* first = new Probe(deleted);
    EXPECT_TRUE(c.AddAt(first, -1));
    EXPECT_EQ(&c, first->GetParent());
    EXPECT_TRUE(c.needsLayout);
    EXPECT_TRUE(c.SetItemIndex(first, 100));
    EXPECT_EQ(3, c.GetItemIndex(first));
    EXPECT_TRUE(c.SetItemIndex(first, 0));
    EXPECT_EQ(nullptr, c.GetItemAt(-1));
    EXPECT_EQ(nullptr, c.GetItemAt(4));
    VLControl spare;
    EXPECT_FALSE(c.SetItemAt(4, &spare));
    EXPECT_FALSE(c.RemoveAt(4));
    VLControl* e = new Probe(deleted);
    EXPECT_TRUE(c.SetItemAt(3, e)); // d is deleted
    EXPECT_EQ(1, deleted);
    EXPECT_EQ(&c, e->GetParent());
    EXPECT_TRUE(c.Remove(first));
    EXPECT_EQ(2, deleted);
    EXPECT_EQ(-1, c.GetItemIndex(first));

    // Deleting a makes the container stop owning: b and e survive RemoveAll.
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
    VLControl* item = new VLControl;
    item->SetFixedHeight(300);
    c.Add(item);
    c.SetPos({0, 0, 100, 100});
    VLScrollbar* bar = c.GetVerticalScrollBar();
    // The container's own "cut" does not hide its items, only itself.
    const struct {
        int cut;
        POINT at;
        VLControl* expected;
    } hits[] = {{0, {5, 50}, &c},     {0, {75, 50}, bar},     {0, {15, 15}, item},
                {20, {15, 15}, item}, {20, {5, 50}, nullptr}, {0, {150, 50}, nullptr}};
    for (const auto& hit : hits) {
        c.SetCut({hit.cut, hit.cut, hit.cut, hit.cut});
        POINT p = hit.at;
        EXPECT_EQ(hit.expected, c.FindControl(Self, &p, kFindHitTest | kFindVisible)) << p.x << "," << p.y;
    }
    // With every item hidden the container answers for its inner rectangle.
    c.SetCut({0, 0, 0, 0});
    item->SetVisible(false);
    POINT inside = {30, 30};
    EXPECT_EQ(&c, c.FindControl(Self, &inside, kFindHitTest | kFindVisible));
}

TEST(Container, KeysWheelAndSteps)
{
    VLHorizontalLayout row;
    row.SetAttribute(L"hscrollbarstyle", L"linesize=\"30\"");
    ASSERT_NE(nullptr, row.GetHorizontalScrollBar());
    EXPECT_EQ(30, row.GetHorizontalScrollBar()->GetLineSize());
    VLControl* item = new VLControl;
    item->SetFixedWidth(400);
    row.Add(item);
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
        VLControlEvent e;
        e.type = step.type;
        e.key = step.key;
        e.wParam = step.wParam;
        row.DoEvent(e);
        EXPECT_EQ(step.expected, row.GetScrollPos().cx) << step.type << " " << step.key;
        EXPECT_EQ(-step.expected, item->GetX()) << step.type << " " << step.key;
    }
}

TEST(Container, PagesLeaveOutTheOtherBarAndBarButtonsScrollTheOwner)
{
    VLVerticalLayout list;
    list.SetInset(0, 5, 0, 5);
    list.EnableScrollBar(true, true);
    VLControl* item = new VLControl;
    item->SetFixedWidth(300);
    item->SetFixedHeight(1000);
    list.Add(item);
    list.SetPos({0, 0, 100, 200});
    list.ScrollPageDown();
    EXPECT_EQ(200 - 10 - 16, list.GetScrollPos().cy);
    list.ScrollPageRight();
    EXPECT_EQ(100 - 16, list.GetScrollPos().cx);

    // The bar's down button scrolls its container by the bar's line size.
    list.ScrollToTop();
    VLScrollbar* bar = list.GetVerticalScrollBar();
    const RECT button = bar->GetButton2Rect();
    VLControlEvent down;
    down.type = kEventLButtonDown;
    down.ptMouse = {button.left + 1, button.top + 1};
    bar->DoEvent(down);
    EXPECT_EQ(8, list.GetScrollPos().cy);
    EXPECT_EQ(5 - 8, item->GetY());
}

TEST(Container, ScrollPositionWithoutABarAlignsTheFirstItem)
{
    VLContainer c;
    c.SetInset(0, 10, 0, 0);
    VLControl* item = new VLControl;
    item->SetFixedHeight(20);
    c.Add(item);
    c.SetPos({0, 0, 100, 100});
    ASSERT_EQ(10, item->GetY());
    c.SetScrollPos({0, 0});
    EXPECT_EQ(0, item->GetY());
    c.SetScrollPos({0, 5});
    EXPECT_EQ(-5, item->GetY());
    EXPECT_EQ(15, item->GetPos().bottom);
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
    const RECT inset = c.GetInset();
    EXPECT_EQ(4, inset.left);
    EXPECT_EQ(3, inset.top);
    EXPECT_EQ(0, inset.right + inset.bottom);
    EXPECT_EQ(7, c.GetChildPadding());
    EXPECT_EQ(kLayoutVertical, c.GetLayoutType());
    ASSERT_NE(nullptr, c.GetVerticalScrollBar());
    EXPECT_EQ(12, c.GetVerticalScrollBar()->GetLineSize());
    EXPECT_EQ(&c, c.GetVerticalScrollBar()->GetParent());
    c.SetAttribute(L"vscrollbar", L"false");
    EXPECT_EQ(nullptr, c.GetVerticalScrollBar());
    c.SetAttribute(L"vscrollbarstyle", L"linesize=\"20\"");
    ASSERT_NE(nullptr, c.GetVerticalScrollBar());
    EXPECT_EQ(20, c.GetVerticalScrollBar()->GetLineSize());

    EXPECT_EQ(0, label.GetInset().left);
    EXPECT_EQ(0, label.GetChildPadding());
    EXPECT_EQ(nullptr, label.GetVerticalScrollBar());
    for (const wchar_t* value : {L"TRUE", L"1", L"", L"true"}) {
        label.SetAttribute(L"text_antialias", value);
        EXPECT_EQ(value[0] == L't', label.IsTextAntialiased()) << value;
    }
}

} // namespace
} // namespace Velora
