// The layout passes of a container: side by side, stacked, floating items,
// and the scroll bars fitted to what the items need.
#include "ui/core/Container.h"

#include <algorithm>

namespace Velora {

namespace {

// A pass that changes the bars lays out again; one that is laid out again
// twice in a row stops there, whatever the bars then say.
constexpr int kMaxRelayoutDepth = 2;

int Clamp(int value, int minimum, int maximum)
{
    value = std::max(value, minimum);
    return maximum > 0 && value > maximum ? maximum : value;
}

int ClampSize(const VLControl* item, int value, bool height)
{
    return height ? Clamp(value, item->GetMinHeight(), item->GetMaxHeight())
                  : Clamp(value, item->GetMinWidth(), item->GetMaxWidth());
}

// Shows, ranges and places a bar when the content needs more room than there
// is, hides it when the content fits; true when that showed or hid the bar or
// moved its position.
bool FitBar(VLScrollbar& bar, int needed, int available, const RECT& place)
{
    if (needed <= available) {
        if (!bar.IsVisible()) return false;
        bar.SetVisible(false);
        bar.SetScrollPos(0);
        bar.SetScrollRange(0);
        return true;
    }
    bool changed = true;
    if (!bar.IsVisible()) {
        bar.SetVisible(true);
        bar.SetScrollRange(needed - available);
        bar.SetScrollPos(0);
    } else {
        const int before = bar.GetScrollPos();
        bar.SetScrollRange(needed - available);
        changed = bar.GetScrollPos() != before;
    }
    bar.SetPos(place);
    return changed;
}

} // namespace

bool VLContainer::IsVerticalBarShown() const
{
    return verticalBar_ && verticalBar_->IsVisible();
}

bool VLContainer::IsHorizontalBarShown() const
{
    return horizontalBar_ && horizontalBar_->IsVisible();
}

void VLContainer::SetPos(const RECT& rect)
{
    if (layoutType_ == kLayoutHorizontal)
        LayoutHorizontal(rect);
    else if (layoutType_ == kLayoutVertical)
        LayoutVertical(rect);
    else
        LayoutStack(rect);
}

RECT VLContainer::InnerRect() const
{
    const RECT r = GetPos();
    RECT inner = {r.left + inset_.left, r.top + inset_.top, r.right - inset_.right, r.bottom - inset_.bottom};
    if (IsVerticalBarShown()) inner.right -= verticalBar_->GetFixedWidth();
    if (IsHorizontalBarShown()) inner.bottom -= horizontalBar_->GetFixedHeight();
    return inner;
}

RECT VLContainer::BeginPass(const RECT& rect)
{
    VLControl::SetPos(rect);
    return InnerRect();
}

void VLContainer::LayoutHorizontal(const RECT& rect)
{
    LayoutFlow(rect, false);
}

void VLContainer::LayoutVertical(const RECT& rect)
{
    LayoutFlow(rect, true);
}

// The items follow each other along the pass ("main" axis) and fill the room
// across it. Items without a size of their own along the pass share what the
// others leave; the last of them takes the rounding remainder.
void VLContainer::LayoutFlow(const RECT& rect, bool vertical)
{
    const RECT inner = BeginPass(rect);
    if (items_.empty()) {
        UpdateScrollBars(inner, 0, 0);
        return;
    }
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    // Horizontally scrolled content is as wide as the scroll range makes it.
    const int availableWidth = width + (IsHorizontalBarShown() ? horizontalBar_->GetScrollRange() : 0);
    const int mainAvailable = vertical ? height : availableWidth;
    const int crossAvailable = vertical ? availableWidth : height;

    int adjustables = 0, flowItems = 0, fixedMain = 0, neededCross = 0;
    for (VLControl* item : items_) {
        if (!IsFlowItem(item)) continue;
        const RECT p = item->GetPadding();
        const SIZE s = item->MeasureSize({availableWidth, height});
        const int main = vertical ? s.cy : s.cx;
        if (main == 0) ++adjustables;
        fixedMain += vertical ? p.top + p.bottom : p.left + p.right;
        if (main != 0) fixedMain += ClampSize(item, main, vertical);
        neededCross = std::max<int>(neededCross, vertical ? s.cx : s.cy);
        ++flowItems;
    }
    fixedMain += childPadding_ * (flowItems - 1);
    const int expand = adjustables ? std::max(0, (mainAvailable - fixedMain) / adjustables) : 0;

    const int originX = inner.left - (IsHorizontalBarShown() ? horizontalBar_->GetScrollPos() : 0);
    const int originY = inner.top - (vertical && IsVerticalBarShown() ? verticalBar_->GetScrollPos() : 0);
    const RECT floatReference = vertical ? GetPos() : inner;
    int cursor = 0, remaining = mainAvailable, fixedLeft = fixedMain, adjusted = 0, neededMain = 0;
    for (VLControl* item : items_) {
        if (!item->IsVisible()) continue;
        if (IsFloating(item)) {
            SetFloatItemPos(item, floatReference);
            continue;
        }
        const RECT p = item->GetPadding();
        const int before = vertical ? p.top : p.left, after = vertical ? p.bottom : p.right;
        const int acrossBefore = vertical ? p.left : p.top, acrossAfter = vertical ? p.right : p.bottom;
        // The vertical pass measures with the padding already taken off.
        if (vertical) remaining -= before + after;
        const SIZE s = item->MeasureSize(vertical ? SIZE{availableWidth, remaining} : SIZE{remaining, height});
        if (!vertical) remaining -= before + after;
        int main = vertical ? s.cy : s.cx;
        int cross = vertical ? s.cx : s.cy;
        fixedLeft -= before + after + main;
        if (main == 0) main = ++adjusted == adjustables ? std::max(0, remaining - fixedLeft) : expand;
        // What a clamp takes or gives is not shared out again.
        main = ClampSize(item, main, vertical);
        if (cross == 0) cross = std::max(0, crossAvailable - acrossBefore - acrossAfter);
        cross = ClampSize(item, std::max(cross, 0), !vertical);
        const int mainFrom = (vertical ? originY : originX) + cursor + before;
        const int crossFrom = (vertical ? originX : originY) + acrossBefore;
        item->SetPos(vertical ? RECT{crossFrom, mainFrom, crossFrom + cross, mainFrom + main}
                              : RECT{mainFrom, crossFrom, mainFrom + main, crossFrom + cross});
        cursor += before + main + after + childPadding_;
        remaining -= main + childPadding_;
        fixedLeft -= childPadding_;
        neededMain += before + main + after;
    }
    neededMain += childPadding_ * (flowItems - 1);
    UpdateScrollBars(inner, vertical ? neededCross : neededMain, vertical ? neededMain : neededCross);
}

// Every item at the same origin, filling the inner rectangle (and what the
// bars scroll) unless it has a size; "center" and "vcen" centre it.
void VLContainer::LayoutStack(const RECT& rect)
{
    const RECT inner = BeginPass(rect);
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    const int fillWidth = width + (IsHorizontalBarShown() ? horizontalBar_->GetScrollRange() : 0);
    const int fillHeight = height + (IsVerticalBarShown() ? verticalBar_->GetScrollRange() : 0);
    const int originX = inner.left - (IsHorizontalBarShown() ? horizontalBar_->GetScrollPos() : 0);
    const int originY = inner.top - (IsVerticalBarShown() ? verticalBar_->GetScrollPos() : 0);
    int neededWidth = 0, neededHeight = 0;
    for (VLControl* item : items_) {
        if (!item->IsVisible()) continue;
        if (IsFloating(item)) {
            SetFloatItemPos(item, inner);
            continue;
        }
        const RECT p = item->GetPadding();
        SIZE s = item->MeasureSize({width, height});
        if (s.cx == 0) s.cx = fillWidth - p.left - p.right;
        if (s.cy == 0) s.cy = fillHeight - p.top - p.bottom;
        const int x = originX + ((item->layoutFormat & kFormatCenter) ? (width - s.cx) / 2 : 0);
        const int y = originY + ((item->layoutFormat & kFormatVCenter) ? (height - s.cy) / 2 : 0);
        item->SetPos({x + p.left, y + p.top, x + p.left + s.cx, y + p.top + s.cy});
        neededWidth = std::max<int>(neededWidth, s.cx);
        neededHeight = std::max<int>(neededHeight, s.cy);
    }
    UpdateScrollBars(inner, neededWidth, neededHeight);
}

void VLContainer::SetFloatItemPos(VLControl* item, const RECT& reference)
{
    if (!item->IsVisible()) return;
    const RECT& r = reference;
    const POINT at = item->GetFixedXY();
    const int fw = item->GetFixedWidth();
    const int fh = item->GetFixedHeight();
    RECT place = {};
    if (item->IsFloat()) {
        place.left = r.left + at.x;
        place.top = r.top + at.y;
        place.right = fw ? place.left + fw : r.right + at.x;
        place.bottom = fh ? place.top + fh : r.bottom + at.y;
    } else if (item->IsRelFloat()) {
        place.left = r.left + at.x;
        place.top = r.top + at.y;
        place.right = fw ? place.left + fw : r.right;
        place.bottom = fh ? place.top + fh : r.bottom;
    } else if (item->IsAbsFloat()) {
        place = {at.x, at.y, fw ? at.x + fw : r.right, fh ? at.y + fh : r.bottom};
    }
    const RECT p = item->GetPadding();
    item->SetPos({place.left + p.left, place.top + p.top, place.right - p.right, place.bottom - p.bottom});
}

void VLContainer::SetOwnFloatPos()
{
    SetFloatItemPos(this, GetPos());
}

void VLContainer::UpdateScrollBars(const RECT& inner, int neededWidth, int neededHeight)
{
    bool changed = false;
    if (verticalBar_) {
        const RECT place = {inner.right, inner.top, inner.right + verticalBar_->GetFixedWidth(), inner.bottom};
        changed = FitBar(*verticalBar_, neededHeight, inner.bottom - inner.top, place);
    }
    if (horizontalBar_) {
        const RECT place = {inner.left, inner.bottom, inner.right, inner.bottom + horizontalBar_->GetFixedHeight()};
        changed = FitBar(*horizontalBar_, neededWidth, inner.right - inner.left, place) || changed;
    }
    if (!changed) return;
    if (relayoutDepth_ >= kMaxRelayoutDepth) {
        // The bars keep the state this pass left; laying out again at the next
        // update would only toggle them once more.
        needsLayout = false;
        return;
    }
    ++relayoutDepth_;
    SetPos(GetPos());
    --relayoutDepth_;
}

} // namespace Velora
