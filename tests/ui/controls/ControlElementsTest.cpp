// The controls' markup element names.
#include <gtest/gtest.h>

#include "tests/ui/SkinWindow.h"
#include "ui/controls/Combo.h"
#include "ui/controls/ControlElements.h"
#include "ui/controls/TabCtrl.h"

#include <typeinfo>

using namespace Velora;

namespace {

// One markup holding every element the builder knows; each builds the class
// named after it, VL and the element's name.
TEST(ControlElements, OneMarkupBuildsEveryElement)
{
    RegisterControlElements();
    const std::string elements[] = {
        "Control",     "Container", "VerticalLayout", "HorizontalLayout", "Option",  "Progress",   "Slide",    "Label",
        "Button",      "TabItem",   "TabCtrl",        "GridLayout",       "DrawWnd", "Edit",       "RichEdit", "Menu",
        "MenuElement", "Picture",   "Combo",          "ComboElement",     "ActiveX", "WebBrowser", "Advert"};
    std::wstring markup = L"<Window><VerticalLayout>";
    for (const std::string& e : elements)
        markup += L"<" + std::wstring(e.begin(), e.end()) + L" name=\"" + std::wstring(e.begin(), e.end()) + L"\"/>";
    SkinWindow window(markup + L"</VerticalLayout></Window>");
    ASSERT_TRUE(window.Open(0, 0, 200, 400));
    Pump();
    for (const std::string& e : elements) {
        VLControl* control = window.paintManager.FindControlByName(std::wstring(e.begin(), e.end()));
        ASSERT_NE(nullptr, control) << e;
        // The class's mangled name: Velora::VL<element>.
        EXPECT_EQ("N6Velora" + std::to_string(e.size() + 2) + "VL" + e + "E", typeid(*control).name());
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
    VLContainer* grid = static_cast<VLContainer*>(window.paintManager.GetRoot());
    ASSERT_EQ(4, grid->GetCount());
    VLContainer* menu = static_cast<VLContainer*>(grid->GetItemAt(0));
    EXPECT_EQ(3, static_cast<VLContainer*>(menu->GetItemAt(0))->GetItemAt(0)->GetClassId());
    EXPECT_EQ(2u, static_cast<VLCombo*>(grid->GetItemAt(1))->GetItems().size());
    VLTabCtrl* tabs = static_cast<VLTabCtrl*>(grid->GetItemAt(2));
    EXPECT_EQ(5, static_cast<VLTabItem*>(tabs->GetItemAt(1))->GetGroup());
    EXPECT_EQ(grid->GetPos().top + 20, tabs->GetPos().top); // the third cell starts the second row
}

} // namespace
