// Where the skinned pop-ups go: a submenu beside the window it opens from,
// kept inside the monitor's work area, and a combo box's drop list below the
// combo. Pure arithmetic, so the rules can be checked without a screen.
#pragma once

#include <windows.h>

#include <vector>

namespace Velora {

// How far a submenu overlaps the window it opens from.
constexpr int kSubmenuOverlap = 6;

// One submenu item as measured for the work area, with its padding.
struct VLPopupItemSize {
    SIZE measured;
    RECT padding;
};

// The work area of the monitor the window is on (the primary one when it is
// on none).
RECT GetWorkAreaOf(HWND window);

// The submenu's size: as wide as its widest item with its side paddings, as
// tall as the items' heights with the padding between them and the inset's
// top and bottom. A width of 0 becomes ownerWidth.
SIZE MeasureMenuPopup(const std::vector<VLPopupItemSize>& items, int childPadding, const RECT& inset, int ownerWidth);

// The submenu's screen rectangle: its top level with the owner element, its
// left edge overlapping the owner window's right edge. Past the work area's
// right edge it opens to the left of the owner window instead; past its
// bottom it is raised until its bottom meets the owner element's bottom.
RECT PlaceMenuPopup(const RECT& ownerElement, const RECT& ownerWindow, SIZE size, const RECT& workArea);

// The drop list's height without a fixed one: the items' fixed heights, the
// inset's top and bottom and the padding between the items.
int MeasureComboList(const std::vector<int>& fixedHeights, const RECT& inset, int childPadding);

// The drop list's rectangle in the combo's window: below the combo, as wide
// as the combo unless dropBox gives a width, dropBox.cy tall or listHeight
// when that is 0.
RECT PlaceComboPopup(const RECT& combo, SIZE dropBox, int listHeight);

} // namespace Velora
