// Tab items and the tab strip in a real window.
#include <gtest/gtest.h>

#include "tests/ui/SkinWindow.h"
#include "tests/ui/controls/HostWindow.h"
#include "ui/controls/TabCtrl.h"

using namespace Velora;

namespace {

struct Strip {
    Strip()
    {
        host.Open(0, 0, 300, 30);
        tabs->SetAttribute(L"item", L"width=\"100\" drag=\"true\"");
        for (int i = 0; i < 3; ++i) {
            items[i] = new VLTabItem;
            EXPECT_TRUE(tabs->Add(items[i]));
        }
        tabs->SetAttribute(L"group", L"7"); // after the items: they all move
        tabs->Init();                       // as the window's first listener does with markup
        Pump();
    }
    VLTabCtrl* tabs = new VLTabCtrl;
    VLTabItem* items[3] = {};
    HostWindow host{tabs};
};

TEST(Tabs, SelectWithinTheGroupAndNotify)
{
    Strip s;
    VLControl* label = new VLControl;
    EXPECT_FALSE(s.tabs->Add(label)); // only tab items
    delete label;
    EXPECT_EQ(3, s.tabs->GetCount());
    SendMouse(s.host, WM_LBUTTONDOWN, 150, 10);
    SendMouse(s.host, WM_LBUTTONUP, 150, 10);
    EXPECT_TRUE(s.items[1]->IsSelected());
    SendMouse(s.host, WM_LBUTTONDOWN, 50, 10);
    SendMouse(s.host, WM_LBUTTONUP, 50, 10);
    EXPECT_TRUE(s.items[0]->IsSelected());
    EXPECT_FALSE(s.items[1]->IsSelected());
    EXPECT_EQ(s.items[0], s.tabs->GetSelected());
    EXPECT_EQ(s.items[1], s.tabs->GetPrevious());
    EXPECT_TRUE(s.items[0]->layoutFormat & kFormatTopmost);
    EXPECT_FALSE(s.items[1]->layoutFormat & kFormatTopmost);
    const auto changes = s.host.NotesOf(kNotifySelectChanged);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(s.tabs, changes.back().sender);

    // The expand control reports 23 and selects nothing.
    s.items[2]->SetAttribute(L"showexpand", L"true");
    VLControlEvent click = {};
    click.sender = s.items[2]->GetExpand();
    EXPECT_FALSE(s.items[2]->Activate(click));
    EXPECT_EQ(1u, s.host.NotesOf(kNotifyTabExpand).size());
    EXPECT_FALSE(s.items[2]->IsSelected());

    // Removing the selected tab forgets it.
    s.tabs->Remove(s.items[0]);
    EXPECT_EQ(nullptr, s.tabs->GetSelected());
    s.items[2]->SetSelected(true);
    EXPECT_EQ(nullptr, s.tabs->GetPrevious());

    VLTabItem loose;
    loose.SetSelected(true); // no group: no change
    EXPECT_FALSE(loose.IsSelected());
}

TEST(Tabs, DraggingATabAsksTheWindowFirst)
{
    Strip s;
    // Dragged far past the end: it stops in the last slot.
    const auto drag = [&s](int fromX, int toX) {
        SendMouse(s.host, WM_LBUTTONDOWN, fromX, 10);
        SendMessageW(s.host, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(toX, 10));
        EXPECT_LE(s.items[0]->GetPos().right, 303);
        SendMouse(s.host, WM_LBUTTONUP, toX, 10);
        Pump();
    };
    s.host.dragAnswer = 1;
    drag(50, 900);
    ASSERT_EQ(1u, s.host.drags.size());
    EXPECT_EQ(2, s.host.drags[0]);
    EXPECT_EQ(0, s.tabs->GetItemIndex(s.items[0])); // refused: the order stays
    EXPECT_EQ(0, s.items[0]->GetPos().left);
    s.host.dragAnswer = 0;
    drag(50, 900);
    EXPECT_EQ(2, s.tabs->GetItemIndex(s.items[0]));
    EXPECT_EQ(0, s.tabs->GetItemIndex(s.items[1]));
    EXPECT_TRUE(s.items[0]->IsSelected());
}

} // namespace
