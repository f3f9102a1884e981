// The combo box and its pop-up in a real window.
#include <gtest/gtest.h>

#include "tests/ui/SkinWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui/controls/HostWindow.h"
#include "ui/controls/Combo.h"
#include "ui/controls/ComboElement.h"
#include "ui/controls/ComboWnd.h"

using namespace Velora;

namespace {

VLCombo* MakeCombo(std::vector<VLComboElement*>& items)
{
    VLCombo* combo = new VLCombo;
    for (int i = 0; i < 3; ++i) {
        items.push_back(new VLComboElement);
        items.back()->SetFixedHeight(20);
        combo->Add(items.back());
    }
    return combo;
}

HWND Popup(VLCombo* combo)
{
    return combo->GetDropWindow() ? combo->GetDropWindow()->GetHWND() : nullptr;
}

TEST(Combo, PopupKeysAndChoices)
{
    std::vector<VLComboElement*> items;
    VLCombo* combo = MakeCombo(items);
    HostWindow host(combo);
    host.paintManager.AddDefaultAttributeList(L"ComboScrollBar", L"width=\"9\"");
    host.Open(50, 50, 100, 24);
    Pump();
    ASSERT_EQ(1u, host.NotesOf(kNotifyItemSelect).size()); // Init chose item 0
    EXPECT_EQ(0u, host.NotesOf(kNotifyItemSelect)[0].wParam);
    EXPECT_EQ(-1, host.NotesOf(kNotifyItemSelect)[0].lParam);

    SendMouse(host, WM_LBUTTONDOWN, 10, 10);
    const HWND popup = Popup(combo);
    ASSERT_TRUE(popup);
    EXPECT_EQ(1u, host.NotesOf(kNotifyDropDown).size());
    ASSERT_FALSE(host.ncActivations.empty()); // the window keeps its active look
    EXPECT_EQ(TRUE, host.ncActivations.back());
    RECT rect = {};
    GetWindowRect(popup, &rect);
    EXPECT_TRUE(SameRect({50, 74, 150, 134}, rect));
    EXPECT_EQ(9, combo->GetDropWindow()->GetList()->GetVerticalScrollBar()->GetFixedWidth());
    EXPECT_EQ(kComboPopupGroup, items[2]->GetGroup());
    EXPECT_TRUE(items[0]->IsSelected());

    SendMessageW(popup, WM_KEYDOWN, VK_RETURN, 0); // chooses nothing
    SendMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    EXPECT_TRUE(IsWindow(popup));
    EXPECT_EQ(0, combo->GetCurSel());
    SendMessageW(popup, WM_KEYDOWN, VK_F4, 0);
    Pump();
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(1, combo->GetCurSel());
    EXPECT_EQ(1u, host.NotesOf(kNotifyItemSelect)[1].wParam);
    EXPECT_EQ(0, host.NotesOf(kNotifyItemSelect)[1].lParam);
    EXPECT_EQ(0, items[2]->GetGroup());
    EXPECT_EQ(&host.paintManager, items[2]->GetManager());

    // A click elsewhere takes the focus: closed, nothing chosen.
    VLControlEvent event = {};
    combo->Activate(event);
    ASSERT_TRUE(Popup(combo));
    HiddenWindow elsewhere;
    ShowWindow(elsewhere.Get(), SW_SHOW);
    SetFocus(elsewhere.Get());
    Pump();
    EXPECT_EQ(nullptr, combo->GetDropWindow());
    EXPECT_EQ(1, combo->GetCurSel());
    EXPECT_EQ(2u, host.NotesOf(kNotifyItemSelect).size());

    EXPECT_TRUE(combo->SelectItem(10)); // past the end: the last
    EXPECT_EQ(2, combo->GetCurSel());
    EXPECT_TRUE(combo->SelectItem(2));
    EXPECT_EQ(3u, host.NotesOf(kNotifyItemSelect).size());
    items[0]->SetEnabled(false);
    EXPECT_FALSE(combo->SelectItem(0));
    EXPECT_FALSE(combo->SelectItem(-1));
}

TEST(Combo, DestroyedWithItsPopupOpen)
{
    BoundManager bound;
    std::vector<VLComboElement*> items;
    VLCombo* combo = MakeCombo(items);
    combo->SetManager(&bound.manager);
    combo->SetPos({0, 0, 80, 20});
    VLControlEvent event = {};
    combo->Activate(event);
    const HWND popup = Popup(combo);
    ASSERT_TRUE(IsWindow(popup));
    delete combo; // the pop-up goes first and lets go of the items
    EXPECT_FALSE(IsWindow(popup));
    Pump();
}

} // namespace
