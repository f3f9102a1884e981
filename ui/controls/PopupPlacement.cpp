#include "ui/controls/PopupPlacement.h"

#include <algorithm>

namespace Velora {

RECT GetWorkAreaOf(HWND window)
{
    MONITORINFO info = {sizeof(info)};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcWork;
}

SIZE MeasureMenuPopup(const std::vector<VLPopupItemSize>& items, int childPadding, const RECT& inset, int ownerWidth)
{
    SIZE size = {0, inset.top + inset.bottom};
    for (const VLPopupItemSize& item : items) {
        size.cx = std::max<LONG>(size.cx, item.measured.cx + item.padding.left + item.padding.right);
        size.cy += item.measured.cy;
    }
    if (!items.empty()) size.cy += childPadding * static_cast<int>(items.size() - 1);
    if (size.cx == 0) size.cx = ownerWidth;
    return size;
}

RECT PlaceMenuPopup(const RECT& ownerElement, const RECT& ownerWindow, SIZE size, const RECT& workArea)
{
    RECT rect = {ownerWindow.right - kSubmenuOverlap, ownerElement.top, 0, ownerElement.top + size.cy};
    rect.right = rect.left + size.cx;
    if (rect.right > workArea.right) {
        rect.right = ownerWindow.left + kSubmenuOverlap;
        rect.left = rect.right - size.cx;
    }
    if (rect.bottom > workArea.bottom) {
        rect.bottom = ownerElement.bottom;
        rect.top = rect.bottom - size.cy;
    }
    return rect;
}

int MeasureComboList(const std::vector<int>& fixedHeights, const RECT& inset, int childPadding)
{
    int height = inset.top + inset.bottom;
    for (int fixed : fixedHeights) height += fixed;
    if (fixedHeights.size() >= 2) height += childPadding * static_cast<int>(fixedHeights.size() - 1);
    return height;
}

RECT PlaceComboPopup(const RECT& combo, SIZE dropBox, int listHeight)
{
    RECT rect = {combo.left, combo.bottom, combo.right, 0};
    if (dropBox.cx != 0) rect.right = rect.left + dropBox.cx;
    rect.bottom = rect.top + (dropBox.cy != 0 ? dropBox.cy : listHeight);
    return rect;
}

} // namespace Velora
