// Where submenus and drop lists go, against a work area.
#include <gtest/gtest.h>

#include "tests/ui/controls/HostWindow.h"
#include "ui/controls/PopupPlacement.h"

using namespace Velora;

namespace {

TEST(PopupPlacement, MenuFlipsAtTheWorkAreaEdges)
{
    const RECT work = {0, 0, 1024, 738};
    const SIZE size = {150, 200};
    struct Case {
        RECT element, window, expected;
    } cases[] = {
        // Room on both sides: right of the window, level with the element.
        {{110, 300, 200, 330}, {100, 250, 300, 450}, {294, 300, 444, 500}},
        // Exactly at the right edge still fits; one pixel more opens left.
        {{810, 300, 900, 330}, {700, 250, 880, 450}, {874, 300, 1024, 500}},
        {{810, 300, 900, 330}, {700, 250, 881, 450}, {556, 300, 706, 500}},
        // Past the bottom: raised so its bottom meets the element's.
        {{110, 600, 200, 630}, {100, 500, 300, 700}, {294, 430, 444, 630}},
        // Both at once, in the bottom right corner.
        {{910, 700, 1000, 730}, {900, 600, 1020, 735}, {756, 530, 906, 730}},
    };
    for (const Case& c : cases) {
        const RECT got = PlaceMenuPopup(c.element, c.window, size, work);
        EXPECT_TRUE(SameRect(c.expected, got)) << got.left << "," << got.top << "," << got.right << "," << got.bottom;
    }
}

TEST(PopupPlacement, MenuSize)
{
    const RECT inset = {2, 3, 4, 5};
    const std::vector<VLPopupItemSize> items = {{{80, 20}, {5, 9, 6, 9}}, {{100, 24}, {0, 0, 0, 0}}, {{0, 0}, {}}};
    // Widest with side paddings; heights without their paddings, two gaps.
    SIZE size = MeasureMenuPopup(items, 4, inset, 70);
    EXPECT_EQ(100, size.cx);
    EXPECT_EQ(20 + 24 + 2 * 4 + 8, size.cy);
    size = MeasureMenuPopup({{{0, 10}, {}}}, 4, inset, 70);
    EXPECT_EQ(70, size.cx); // nothing measured wide: the owner's width
    EXPECT_EQ(18, size.cy);
}

TEST(PopupPlacement, ComboList)
{
    const RECT inset = {1, 2, 3, 4};
    EXPECT_EQ(6, MeasureComboList({}, inset, 5));
    EXPECT_EQ(26, MeasureComboList({20}, inset, 5));
    EXPECT_EQ(6 + 20 + 0 + 30 + 2 * 5, MeasureComboList({20, 0, 30}, inset, 5));
    const RECT combo = {10, 20, 110, 44};
    EXPECT_TRUE(SameRect(RECT{10, 44, 110, 94}, PlaceComboPopup(combo, {0, 0}, 50)));
    EXPECT_TRUE(SameRect(RECT{10, 44, 210, 344}, PlaceComboPopup(combo, {200, 300}, 50)));
}

} // namespace
