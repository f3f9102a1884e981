#include "ui/controls/GridLayout.h"

#include "ui/core/Saturated.h"

#include <algorithm>
#include <cwchar>

namespace Velora {

void VLGridLayout::SetPos(const RECT& rect)
{
    const RECT inner = BeginPass(rect);
    if (GetCount() == 0) {
        UpdateScrollBars(inner, 0, 0);
        return;
    }
    const SIZE scroll = GetScrollPos();
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    const int cellWidth = cellWidth_ != 0 || columns_ == 0 ? cellWidth_ : width / columns_;
    const int cellHeight = cellHeight_ != 0 || rows_ == 0 ? cellHeight_ : height / rows_;
    // Every row starts at the horizontally scrolled origin, so the columns
    // stay lined up while the grid scrolls sideways.
    const int rowLeft = Saturated(int64_t{inner.left} - scroll.cx);
    int x = rowLeft, y = Saturated(int64_t{inner.top} - scroll.cy);
    int placed = 0, rowCount = 0;
    for (int i = 0; i < GetCount(); ++i) {
        VLControl* item = GetItemAt(i);
        if (!item->IsVisible()) continue;
        if (item->IsFloat() || item->IsAbsFloat() || item->IsRelFloat()) {
            SetFloatItemPos(item, inner);
            continue;
        }
        if (placed == 0) {
            rowCount = 1;
        } else if (columns_ != 0 && placed % columns_ == 0) {
            x = rowLeft;
            y = Saturated(int64_t{y} + cellHeight);
            ++rowCount;
        }
        item->SetPos({x, y, Saturated(int64_t{x} + cellWidth), Saturated(int64_t{y} + cellHeight)});
        x = Saturated(int64_t{x} + cellWidth);
        ++placed;
    }
    UpdateScrollBars(inner, Saturated(int64_t{cellWidth} * std::min(placed, columns_)),
                     Saturated(int64_t{cellHeight} * rowCount));
}

void VLGridLayout::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const int number = static_cast<int>(wcstol(value.c_str(), nullptr, 10));
    if (name == L"gridwidth")
        cellWidth_ = number;
    else if (name == L"gridheight")
        cellHeight_ = number;
    else if (name == L"column")
        columns_ = number;
    else if (name == L"row")
        rows_ = number;
    else
        VLContainer::SetAttribute(name, value);
}

} // namespace Velora
