// Cells of the grid layout.
#include <gtest/gtest.h>

#include "ui/controls/GridLayout.h"

using namespace Velora;

namespace {

TEST(GridLayout, PlacesItemsRowByRow)
{
    VLGridLayout grid;
    grid.SetAttribute(L"inset", L"10,20,0,0");
    grid.SetAttribute(L"column", L"3");
    grid.SetAttribute(L"row", L" +4");
    std::vector<VLControl*> items;
    for (int i = 0; i < 9; ++i) {
        items.push_back(new VLControl);
        grid.Add(items.back());
    }
    items[1]->SetVisible(false); // takes no cell
    items[2]->SetFloat(true);    // keeps its own place
    items[2]->SetFixedXY(5, 6);
    items[2]->SetFixedWidth(7);
    items[2]->SetFixedHeight(8);
    grid.SetPos({0, 0, 310, 420}); // content 300 x 400: cells 100 x 100
    const int rowOf[] = {0, -1, -1, 0, 0, 1, 1, 1, 2};
    const int columnOf[] = {0, -1, -1, 1, 2, 0, 1, 2, 0};
    for (int i = 0; i < 9; ++i) {
        if (rowOf[i] < 0) continue;
        const RECT r = items[i]->GetPos();
        EXPECT_EQ(10 + 100 * columnOf[i], r.left) << i;
        EXPECT_EQ(20 + 100 * rowOf[i], r.top) << i;
        EXPECT_EQ(100, r.right - r.left) << i;
        EXPECT_EQ(100, r.bottom - r.top) << i;
    }
    EXPECT_EQ(15, items[2]->GetPos().left);
    EXPECT_EQ(26, items[2]->GetPos().top);
    EXPECT_EQ(7, items[2]->GetWidth());
    // Three rows of content: with 200-pixel rows, 600 against 400 shown.
    grid.SetAttribute(L"row", L"2");
    grid.SetAttribute(L"vscrollbar", L"true");
    grid.SetPos({0, 0, 310, 420});
    EXPECT_EQ(200, grid.GetScrollRange().cy);
    grid.SetAttribute(L"vscrollbar", L"false");

    // Fixed cells win over the counts; no column count keeps one row.
    grid.SetAttribute(L"gridwidth", L"30");
    grid.SetAttribute(L"column", L"0");
    grid.SetPos({0, 0, 310, 420});
    EXPECT_EQ(10 + 30 * 6, items[8]->GetPos().left);
    EXPECT_EQ(20, items[8]->GetPos().top);
}

} // namespace
