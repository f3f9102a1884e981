// Menus and their popups in real windows.
#include <gtest/gtest.h>

#include "tests/ui/SkinWindow.h"
#include "tests/ui/controls/HostWindow.h"
#include "ui/controls/Menu.h"
#include "ui/controls/MenuElement.h"
#include "ui/controls/MenuWnd.h"
#include "ui/controls/PopupPlacement.h"
#include "ui/core/Label.h"

using namespace Velora;

namespace {

VLMenuElement* Element(int id, int width)
{
    VLMenuElement* element = new VLMenuElement;
    element->SetId(id);
    element->SetFixedWidth(width);
    element->SetFixedHeight(20);
    return element;
}

// File (leaves 11, 12), Edit (leaf 21) and a leaf 3, stacked in a 120 x 60
// window.
struct MenuBar {
    explicit MenuBar(POINT at)
    {
        for (VLMenuElement* e : {file, edit, leaf}) menu->Add(e);
        for (VLMenuElement* e : {leafA, leafB}) file->Add(e);
        edit->Add(leafC);
        host.Open(at.x, at.y, 120, 60);
        Pump();
    }
    RECT PopupRect() const
    {
        const std::vector<HWND> popups = WindowsOfClass(L"VLMenuWnd");
        RECT r = {};
        if (popups.size() == 1) GetWindowRect(popups[0], &r);
        return r;
    }
    VLMenu* menu = new VLMenu;
    VLMenuElement *file = Element(1, 0), *edit = Element(2, 0), *leaf = Element(3, 0);
    VLMenuElement *leafA = Element(11, 150), *leafB = Element(12, 150), *leafC = Element(21, 150);
    HostWindow host{menu};
};

TEST(Menus, HoverOpensClickCommandsAndClosesAll)
{
    MenuBar bar({100, 100});
    VLLabel label;
    EXPECT_FALSE(bar.menu->Add(&label));
    EXPECT_EQ(3, bar.menu->GetCount());

    SendMouse(bar.host, WM_MOUSEMOVE, 10, 10);
    Pump();
    ASSERT_EQ(1u, WindowsOfClass(L"VLMenuWnd").size());
    EXPECT_TRUE(SameRect({214, 100, 364, 140}, bar.PopupRect()));
    EXPECT_EQ(bar.leafA->GetManager()->GetWindow(), bar.file->GetSubmenuWindow()->GetHWND());

    // A sibling closes it and opens its own.
    SendMouse(bar.host, WM_MOUSEMOVE, 10, 30);
    Pump();
    ASSERT_EQ(1u, WindowsOfClass(L"VLMenuWnd").size());
    EXPECT_EQ(nullptr, bar.file->GetSubmenuWindow());
    ASSERT_NE(nullptr, bar.edit->GetSubmenuWindow());
    // Closed: the items are the owner's again, in its manager.
    EXPECT_EQ(bar.file, bar.leafA->GetParent());
    EXPECT_EQ(&bar.host.paintManager, bar.leafB->GetManager());

    const HWND popup = bar.edit->GetSubmenuWindow()->GetHWND();
    SendMouse(popup, WM_LBUTTONDOWN, 10, 10);
    SendMouse(popup, WM_LBUTTONUP, 10, 10);
    Pump();
    EXPECT_EQ(std::vector<WPARAM>{21}, bar.host.commands);
    EXPECT_TRUE(WindowsOfClass(L"VLMenuWnd").empty());
    EXPECT_EQ(bar.edit, bar.leafC->GetParent());
    EXPECT_EQ(0u, bar.leafC->state & (kStatePushed | kStateCaptured));
    // Outside a popup an element tells no window until one is given.
    EXPECT_EQ(nullptr, bar.leaf->GetNotifyWindow());
}

TEST(Menus, PopupFlipsAtTheWorkAreaEdges)
{
    const RECT work = GetWorkAreaOf(nullptr);
    MenuBar bar({work.right - 100, work.bottom - 30});
    SendMouse(bar.host, WM_MOUSEMOVE, 10, 10);
    Pump();
    // Left of the window, 6 pixels over it; raised to the element's bottom.
    const RECT expected = {work.right - 244, work.bottom - 50, work.right - 94, work.bottom - 10};
    EXPECT_TRUE(SameRect(expected, bar.PopupRect()));
    VLMenuWnd::CloseMenus(nullptr, VLMenuWnd::kCloseAll);
    Pump();
    EXPECT_TRUE(WindowsOfClass(L"VLMenuWnd").empty());
}

} // namespace
