// The controls' markup element names.
#include <gtest/gtest.h>

#include "tests/ui/SkinWindow.h"
#include "ui/controls/Combo.h"
#include "ui/controls/ControlElements.h"
#include "ui/controls/TabCtrl.h"

using namespace Velora;

namespace {

TEST(ControlElements, MarkupBuildsEachControl)
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
    const int classIds[] = {2, 16, 13, 4};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(classIds[i], grid->GetItemAt(i)->GetClassId()) << i;
    VLContainer* menu = static_cast<VLContainer*>(grid->GetItemAt(0));
    EXPECT_EQ(3, static_cast<VLContainer*>(menu->GetItemAt(0))->GetItemAt(0)->GetClassId());
    EXPECT_EQ(2u, static_cast<VLCombo*>(grid->GetItemAt(1))->GetItems().size());
    VLTabCtrl* tabs = static_cast<VLTabCtrl*>(grid->GetItemAt(2));
    EXPECT_EQ(5, static_cast<VLTabItem*>(tabs->GetItemAt(1))->GetGroup());
    EXPECT_EQ(grid->GetPos().top + 20, tabs->GetPos().top); // the third cell starts the second row
}

} // namespace
