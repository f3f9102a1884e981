// The controls' markup element names.
#include <gtest/gtest.h>

#include "base/TextConvert.h"
#include "tests/ui/SkinWindow.h"
#include "ui/controls/ActiveX.h"
#include "ui/controls/Advert.h"
#include "ui/controls/Combo.h"
#include "ui/controls/ComboElement.h"
#include "ui/controls/ControlElements.h"
#include "ui/controls/DrawWnd.h"
#include "ui/controls/Edit.h"
#include "ui/controls/GridLayout.h"
#include "ui/controls/Menu.h"
#include "ui/controls/MenuElement.h"
#include "ui/controls/Picture.h"
#include "ui/controls/RichEdit.h"
#include "ui/controls/TabCtrl.h"
#include "ui/controls/TabItem.h"
#include "ui/controls/WebBrowser.h"
#include "ui/core/Button.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/Label.h"
#include "ui/core/Option.h"
#include "ui/core/Progress.h"
#include "ui/core/Slide.h"
#include "ui/core/VerticalLayout.h"

#include <typeinfo>

using namespace Velora;

namespace {

// One markup holding every element the builder knows, each building exactly
// its own class.
TEST(ControlElements, OneMarkupBuildsEveryElement)
{
    RegisterControlElements();
    const struct {
        const wchar_t* element;
        const std::type_info& type;
    } elements[] = {
        {L"Control", typeid(VLControl)},
        {L"Container", typeid(VLContainer)},
        {L"VerticalLayout", typeid(VLVerticalLayout)},
        {L"HorizontalLayout", typeid(VLHorizontalLayout)},
        {L"Option", typeid(VLOption)},
        {L"Progress", typeid(VLProgress)},
        {L"Slide", typeid(VLSlide)},
        {L"Label", typeid(VLLabel)},
        {L"Button", typeid(VLButton)},
        {L"TabItem", typeid(VLTabItem)},
        {L"TabCtrl", typeid(VLTabCtrl)},
        {L"GridLayout", typeid(VLGridLayout)},
        {L"DrawWnd", typeid(VLDrawWnd)},
        {L"Edit", typeid(VLEdit)},
        {L"RichEdit", typeid(VLRichEdit)},
        {L"Menu", typeid(VLMenu)},
        {L"MenuElement", typeid(VLMenuElement)},
        {L"Picture", typeid(VLPicture)},
        {L"Combo", typeid(VLCombo)},
        {L"ComboElement", typeid(VLComboElement)},
        {L"ActiveX", typeid(VLActiveX)},
        {L"WebBrowser", typeid(VLWebBrowser)},
        {L"Advert", typeid(VLAdvert)},
    };
    std::wstring markup = L"<Window><VerticalLayout>";
    for (const auto& row : elements) markup += std::wstring(L"<") + row.element + L" name=\"" + row.element + L"\"/>";
    SkinWindow window(markup + L"</VerticalLayout></Window>");
    ASSERT_TRUE(window.Open(0, 0, 200, 400));
    Pump();
    for (const auto& row : elements) {
        VLControl* control = window.paintManager.FindControlByName(row.element);
        ASSERT_NE(nullptr, control) << ToMultiByte(row.element);
        EXPECT_TRUE(typeid(*control) == row.type) << ToMultiByte(row.element);
    }
}

TEST(ControlElements, NestedControlsTakeTheirChildren)
{
    RegisterControlElements();
    SkinWindow window(LR"(<Window><GridLayout column="2" gridheight="20">
        <Menu><MenuElement id="1"><MenuElement id="2"/></MenuElement></Menu>
        <Combo><ComboElement/><ComboElement/></Combo>
        <TabCtrl group="5"><TabItem/><TabItem/></TabCtrl>
        <DrawWnd/></GridLayout></Window>)");
    ASSERT_TRUE(window.Open(0, 0, 200, 100));
    Pump();
    VLContainer* grid = static_cast<VLContainer*>(window.paintManager.root.get());
    ASSERT_EQ(4, grid->GetCount());
    VLContainer* menu = static_cast<VLContainer*>(grid->GetItemAt(0));
    EXPECT_EQ(3, static_cast<VLContainer*>(menu->GetItemAt(0))->GetItemAt(0)->GetClassId());
    EXPECT_EQ(2u, static_cast<VLCombo*>(grid->GetItemAt(1))->GetItems().size());
    VLTabCtrl* tabs = static_cast<VLTabCtrl*>(grid->GetItemAt(2));
    EXPECT_EQ(5, static_cast<VLTabItem*>(tabs->GetItemAt(1))->GetGroup());
    EXPECT_EQ(grid->GetPos().top + 20, tabs->GetPos().top); // the third cell starts the second row
}

} // namespace
