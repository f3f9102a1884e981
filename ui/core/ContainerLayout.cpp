// The layout passes of a container: side by side, stacked, floating items,
// and the scroll bars fitted to what the items need.
#include "ui/core/Container.h"

#include "ui/core/Saturated.h"

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
    const int range = Saturated(int64_t{needed} - available);
    if (!bar.IsVisible()) {
        bar.SetVisible(true);
        bar.SetScrollRange(range);
        bar.SetScrollPos(0);
    } else {
        const int before = bar.GetScrollPos();
        bar.SetScrollRange(range);
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
    RECT inner = Saturated(GetPos(), inset_);
    if (IsVerticalBarShown()) inner.right = Saturated(int64_t{inner.right} - verticalBar_->GetFixedWidth());
    if (IsHorizontalBarShown()) inner.bottom = Saturated(int64_t{inner.bottom} - horizontalBar_->GetFixedHeight());
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
    const int availableWidth =
        Saturated(int64_t{width} + (IsHorizontalBarShown() ? horizontalBar_->GetScrollRange() : 0));
    const int mainAvailable = vertical ? height : availableWidth;
    const int crossAvailable = vertical ? availableWidth : height;

    // Sums of markup numbers are taken in 64 bits and held within the
    // layout's bound wherever they become a size or a position.
    int adjustables = 0, flowItems = 0, neededCross = 0;
    int64_t fixedMain = 0;
    for (VLControl* item : items_) {
        if (!IsFlowItem(item)) continue;
        const RECT p = item->GetPadding();
        const SIZE s = item->MeasureSize({availableWidth, height});
        const int main = vertical ? s.cy : s.cx;
        if (main == 0) ++adjustables;
        fixedMain += vertical ? int64_t{p.top} + p.bottom : int64_t{p.left} + p.right;
        if (main != 0) fixedMain += ClampSize(item, main, vertical);
        neededCross = std::max(neededCross, Saturated(vertical ? s.cx : s.cy));
        ++flowItems;
    }
    fixedMain = Saturated(fixedMain + int64_t{childPadding_} * (flowItems - 1));
    const int expand = adjustables ? Saturated(std::max<int64_t>(0, (mainAvailable - fixedMain) / adjustables)) : 0;

    const int originX = Saturated(int64_t{inner.left} - (IsHorizontalBarShown() ? horizontalBar_->GetScrollPos() : 0));
    const int originY =
        Saturated(int64_t{inner.top} - (vertical && IsVerticalBarShown() ? verticalBar_->GetScrollPos() : 0));
    const RECT floatReference = vertical ? GetPos() : inner;
    int64_t cursor = 0, remaining = mainAvailable, fixedLeft = fixedMain, neededMain = 0;
    int adjusted = 0;
    for (VLControl* item : items_) {
        if (!item->IsVisible()) continue;
        if (IsFloating(item)) {
            SetFloatItemPos(item, floatReference);
            continue;
        }
        const RECT p = item->GetPadding();
        const int64_t before = vertical ? p.top : p.left, after = vertical ? p.bottom : p.right;
        const int64_t acrossBefore = vertical ? p.left : p.top, acrossAfter = vertical ? p.right : p.bottom;
        // The vertical pass measures with the padding already taken off.
        if (vertical) remaining = Saturated(remaining - before - after);
        const int room = Saturated(remaining);
        const SIZE s = item->MeasureSize(vertical ? SIZE{availableWidth, room} : SIZE{room, height});
        if (!vertical) remaining = Saturated(remaining - before - after);
        int main = vertical ? s.cy : s.cx;
        int cross = vertical ? s.cx : s.cy;
        fixedLeft = Saturated(fixedLeft - before - after - main);
        if (main == 0)
            main = ++adjusted == adjustables ? Saturated(std::max<int64_t>(0, remaining - fixedLeft)) : expand;
        // What a clamp takes or gives is not shared out again.
        main = Saturated(ClampSize(item, main, vertical));
        if (cross == 0) cross = Saturated(std::max<int64_t>(0, crossAvailable - acrossBefore - acrossAfter));
        cross = Saturated(ClampSize(item, std::max(cross, 0), !vertical));
        const int mainFrom = Saturated((vertical ? originY : originX) + cursor + before);
        const int crossFrom = Saturated((vertical ? originX : originY) + acrossBefore);
        const int mainTo = Saturated(int64_t{mainFrom} + main), crossTo = Saturated(int64_t{crossFrom} + cross);
        item->SetPos(vertical ? RECT{crossFrom, mainFrom, crossTo, mainTo}
                              : RECT{mainFrom, crossFrom, mainTo, crossTo});
        cursor = Saturated(cursor + before + main + after + childPadding_);
        remaining = Saturated(remaining - main - childPadding_);
        fixedLeft = Saturated(fixedLeft - childPadding_);
        neededMain = Saturated(neededMain + before + main + after);
    }
    const int needed = Saturated(neededMain + int64_t{childPadding_} * (flowItems - 1));
    UpdateScrollBars(inner, vertical ? neededCross : needed, vertical ? needed : neededCross);
}

// Every item at the same origin, filling the inner rectangle (and what the
// bars scroll) unless it has a size; "center" and "vcen" centre it.
void VLContainer::LayoutStack(const RECT& rect)
{
    const RECT inner = BeginPass(rect);
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    const int64_t fillWidth = width + int64_t{IsHorizontalBarShown() ? horizontalBar_->GetScrollRange() : 0};
    const int64_t fillHeight = height + int64_t{IsVerticalBarShown() ? verticalBar_->GetScrollRange() : 0};
    const int64_t originX = inner.left - int64_t{IsHorizontalBarShown() ? horizontalBar_->GetScrollPos() : 0};
    const int64_t originY = inner.top - int64_t{IsVerticalBarShown() ? verticalBar_->GetScrollPos() : 0};
    int neededWidth = 0, neededHeight = 0;
    for (VLControl* item : items_) {
        if (!item->IsVisible()) continue;
        if (IsFloating(item)) {
            SetFloatItemPos(item, inner);
            continue;
        }
        const RECT p = item->GetPadding();
        SIZE s = item->MeasureSize({width, height});
        if (s.cx == 0) s.cx = Saturated(fillWidth - p.left - p.right);
        if (s.cy == 0) s.cy = Saturated(fillHeight - p.top - p.bottom);
        s = {Saturated(s.cx), Saturated(s.cy)};
        const int left =
            Saturated(originX + ((item->layoutFormat & kFormatCenter) ? (int64_t{width} - s.cx) / 2 : 0) + p.left);
        const int top =
            Saturated(originY + ((item->layoutFormat & kFormatVCenter) ? (int64_t{height} - s.cy) / 2 : 0) + p.top);
        item->SetPos({left, top, Saturated(int64_t{left} + s.cx), Saturated(int64_t{top} + s.cy)});
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
    const int64_t fw = item->GetFixedWidth();
    const int64_t fh = item->GetFixedHeight();
    // Left, top, right, bottom in 64 bits: fixed positions and sizes are
    // markup numbers.
    int64_t place[4] = {};
    if (item->IsFloat()) {
        place[0] = int64_t{r.left} + at.x;
        place[1] = int64_t{r.top} + at.y;
        place[2] = fw ? place[0] + fw : int64_t{r.right} + at.x;
        place[3] = fh ? place[1] + fh : int64_t{r.bottom} + at.y;
    } else if (item->IsRelFloat()) {
        place[0] = int64_t{r.left} + at.x;
        place[1] = int64_t{r.top} + at.y;
        place[2] = fw ? place[0] + fw : r.right;
        place[3] = fh ? place[1] + fh : r.bottom;
    } else if (item->IsAbsFloat()) {
        place[0] = at.x;
        place[1] = at.y;
        place[2] = fw ? at.x + fw : r.right;
        place[3] = fh ? at.y + fh : r.bottom;
    }
    const RECT p = item->GetPadding();
    item->SetPos({Saturated(place[0] + p.left), Saturated(place[1] + p.top), Saturated(place[2] - p.right),
                  Saturated(place[3] - p.bottom)});
}

void VLContainer::SetOwnFloatPos()
{
    SetFloatItemPos(this, GetPos());
}

void VLContainer::UpdateScrollBars(const RECT& inner, int neededWidth, int neededHeight)
{
    bool changed = false;
    if (verticalBar_) {
        const RECT place = {inner.right, inner.top, Saturated(int64_t{inner.right} + verticalBar_->GetFixedWidth()),
                            inner.bottom};
        changed = FitBar(*verticalBar_, neededHeight, inner.bottom - inner.top, place);
    }
    if (horizontalBar_) {
        const RECT place = {inner.left, inner.bottom, inner.right,
                            Saturated(int64_t{inner.bottom} + horizontalBar_->GetFixedHeight())};
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
