#include "ui/core/Container.h"

#include "ui/core/PaintManager.h"
#include "ui/core/RenderClip.h"
#include "ui/core/ValueText.h"

#include <algorithm>
#include <climits>

namespace Velora {

namespace {

// A pass that changes the bars lays out again; one that is laid out again
// twice in a row stops there, whatever the bars then say.
constexpr int kMaxRelayoutDepth = 2;

// The scroll steps of the horizontal direction do not follow the bar's line
// size.
constexpr int kHorizontalLineStep = 8;

bool IsFloating(const VLControl* item)
{
    return item->IsFloat() || item->IsRelFloat() || item->IsAbsFloat();
}

bool IsFlowItem(const VLControl* item)
{
    return item->IsVisible() && !IsFloating(item);
}

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

bool Meets(const RECT& a, const RECT& b)
{
    RECT common;
    return IntersectRect(&common, &a, &b) != FALSE;
}

int SaturatedSum(int a, int b)
{
    const int64_t sum = int64_t{a} + b;
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(sum, INT_MIN), INT_MAX));
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

VLContainer::VLContainer() = default;

VLContainer::~VLContainer()
{
    RemoveAll();
    verticalBar_.reset();
    horizontalBar_.reset();
}

int VLContainer::GetClassId() const
{
    return 4;
}

VLControl* VLContainer::GetInterface(int id)
{
    return id == 4 || id == 1 ? this : nullptr;
}

// ---- Items -------------------------------------------------------------------

VLControl* VLContainer::GetItemAt(int index) const
{
    return index < 0 || index >= GetCount() ? nullptr : items_[static_cast<size_t>(index)];
}

int VLContainer::GetItemIndex(VLControl* item) const
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int VLContainer::GetCount() const
{
    return static_cast<int>(items_.size());
}

bool VLContainer::SetItemIndex(VLControl* item, int index)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (!item || it == items_.end()) return false;
    items_.erase(it);
    items_.insert(items_.begin() + std::min(std::max(index, 0), GetCount()), item);
    return true;
}

bool VLContainer::SetItemAt(int index, VLControl* item)
{
    if (!item || static_cast<unsigned>(index) >= items_.size()) return false;
    VLControl*& slot = items_[static_cast<size_t>(index)];
    if (slot == item) return true;
    if (autoDestroy_) delete slot;
    item->SetParent(this);
    if (GetManager()) GetManager()->InitControls(item);
    slot = item;
    return true;
}

bool VLContainer::Add(VLControl* item)
{
    return AddAt(item, GetCount());
}

bool VLContainer::AddAt(VLControl* item, int index)
{
    if (!item) return false;
    item->SetParent(this);
    if (GetManager()) GetManager()->InitControls(item);
    items_.insert(items_.begin() + std::min(std::max(index, 0), GetCount()), item);
    MarkForLayout();
    return true;
}

bool VLContainer::Remove(VLControl* item)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (!item || it == items_.end()) return false;
    items_.erase(it);
    if (autoDestroy_) delete item;
    MarkForLayout();
    return true;
}

bool VLContainer::RemoveAt(int index)
{
    return Remove(GetItemAt(index));
}

void VLContainer::RemoveAll()
{
    // An item's destructor may change whether the rest are owned.
    for (size_t i = 0; i < items_.size(); ++i) {
        if (autoDestroy_) delete items_[i];
    }
    items_.clear();
}

bool VLContainer::IsAutoDestroy() const
{
    return autoDestroy_;
}

void VLContainer::SetAutoDestroy(bool autoDestroy)
{
    autoDestroy_ = autoDestroy;
}

RECT VLContainer::GetInset() const
{
    return inset_;
}

void VLContainer::SetInset(int left, int top, int right, int bottom)
{
    inset_ = {left, top, right, bottom};
}

int VLContainer::GetChildPadding() const
{
    return childPadding_;
}

void VLContainer::SetChildPadding(int padding)
{
    childPadding_ = padding;
}

void VLContainer::SetLayoutType(int type)
{
    layoutType_ = type;
}

int VLContainer::GetLayoutType() const
{
    return layoutType_;
}

void VLContainer::SetParent(VLControl* parent)
{
    for (VLControl* item : items_) item->SetParent(this);
    if (verticalBar_) verticalBar_->SetParent(this);
    if (horizontalBar_) horizontalBar_->SetParent(this);
    VLControl::SetParent(parent);
}

void VLContainer::SetManager(VLPaintManager* manager)
{
    for (VLControl* item : items_) item->SetManager(manager);
    if (verticalBar_) verticalBar_->SetManager(manager);
    if (horizontalBar_) horizontalBar_->SetManager(manager);
    VLControl::SetManager(manager);
}

void VLContainer::Init()
{
    for (VLControl* item : items_) item->Init();
}

VLControl* VLContainer::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
    const RECT pos = GetPos();
    const bool hitTest = (flags & kFindHitTest) != 0;
    // The container's own "cut" does not narrow the search for its items.
    if (hitTest && !PtInRect(&pos, *static_cast<const POINT*>(data))) return nullptr;
    for (VLScrollbar* bar : {verticalBar_.get(), horizontalBar_.get()}) {
        VLControl* found = bar ? bar->FindControl(proc, data, flags) : nullptr;
        if (found) return found;
    }
    if (flags & kFindMeFirst) {
        VLControl* found = VLControl::FindControl(proc, data, flags);
        if (found) return found;
    }
    const RECT inner = {pos.left + inset_.left, pos.top + inset_.top, pos.right - inset_.right,
                        pos.bottom - inset_.bottom};
    if (hitTest && !PtInRect(&inner, *static_cast<const POINT*>(data)))
        return VLControl::FindControl(proc, data, flags);
    const bool topFirst = (flags & kFindTopFirst) != 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        VLControl* found = items_[topFirst ? items_.size() - 1 - i : i]->FindControl(proc, data, flags);
        if (found) return found;
    }
    return VLControl::FindControl(proc, data, flags);
}

// ---- Painting ----------------------------------------------------------------

void VLContainer::Paint(HDC hdc, const RECT& paintRect)
{
    const RECT pos = GetPos();
    RECT outer;
    if (!IsVisible() || !IntersectRect(&outer, &paintRect, &pos)) return;
    VLRenderClip outerClip;
    VLRenderClip::ClipToRect(outerClip, hdc, outer);
    VLControl::Paint(hdc, paintRect);
    if (!items_.empty()) PaintItems(hdc, paintRect);
    for (VLScrollbar* bar : {verticalBar_.get(), horizontalBar_.get()}) {
        if (bar && bar->IsVisible() && Meets(bar->GetPos(), paintRect)) bar->Paint(hdc, paintRect);
    }
    VLRenderClip::Restore(outerClip);
}

void VLContainer::PaintItems(HDC hdc, const RECT& paintRect)
{
    const RECT pos = GetPos();
    const RECT inner = InnerRect();
    RECT innerPaint;
    const bool innerShown = IntersectRect(&innerPaint, &paintRect, &inner) != FALSE;
    VLRenderClip innerClip;
    if (innerShown) VLRenderClip::ClipToRect(innerClip, hdc, innerPaint);
    const auto paintItem = [&](VLControl* item) {
        if (!IsFloating(item)) {
            if (innerShown && Meets(item->GetPos(), inner)) item->Paint(hdc, paintRect);
            return;
        }
        if (!Meets(item->GetPos(), pos)) return;
        // A floating item may lie over the inset: only the outer clip holds it.
        if (innerShown) VLRenderClip::Restore(innerClip);
        item->Paint(hdc, paintRect);
        if (innerShown) VLRenderClip::ClipToRect(innerClip, hdc, innerPaint);
    };
    std::vector<VLControl*> topmost;
    for (VLControl* item : items_) {
        if (!item->IsVisible() || !Meets(item->GetPos(), paintRect)) continue;
        if (item->layoutFormat & kFormatTopmost)
            topmost.push_back(item);
        else
            paintItem(item);
    }
    for (VLControl* item : topmost) paintItem(item);
    VLRenderClip::Restore(innerClip);
}

// ---- Layout ------------------------------------------------------------------

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

// ---- Scrolling ---------------------------------------------------------------

void VLContainer::EnableScrollBar(bool vertical, bool horizontal)
{
    const auto make = [this](bool horizontalBar) {
        auto bar = std::make_unique<VLScrollbar>();
        if (horizontalBar) bar->SetHorizontal(true);
        bar->SetOwner(this);
        bar->SetManager(GetManager());
        bar->SetParent(this);
        if (GetManager()) {
            const std::wstring list =
                GetManager()->GetDefaultAttributeList(horizontalBar ? L"HScrollBar" : L"VScrollBar");
            if (!list.empty()) ApplyAttributeList(list, bar.get());
        }
        return bar;
    };
    if (!vertical)
        verticalBar_.reset();
    else if (!verticalBar_)
        verticalBar_ = make(false);
    if (!horizontal)
        horizontalBar_.reset();
    else if (!horizontalBar_)
        horizontalBar_ = make(true);
}

VLScrollbar* VLContainer::GetVerticalScrollBar() const
{
    return verticalBar_.get();
}

VLScrollbar* VLContainer::GetHorizontalScrollBar() const
{
    return horizontalBar_.get();
}

SIZE VLContainer::GetScrollPos() const
{
    return {IsHorizontalBarShown() ? horizontalBar_->GetScrollPos() : 0,
            IsVerticalBarShown() ? verticalBar_->GetScrollPos() : 0};
}

SIZE VLContainer::GetScrollRange() const
{
    return {IsHorizontalBarShown() ? horizontalBar_->GetScrollRange() : 0,
            IsVerticalBarShown() ? verticalBar_->GetScrollRange() : 0};
}

void VLContainer::SetScrollPos(SIZE position)
{
    int dy = 0;
    if (IsVerticalBarShown()) {
        const int before = verticalBar_->GetScrollPos();
        verticalBar_->SetScrollPos(position.cy);
        dy = verticalBar_->GetScrollPos() - before;
    } else if (!items_.empty()) {
        // Without a bar the position says where the first item's top goes.
        dy = items_.front()->GetPos().top - GetPos().top + position.cy;
    }
    int dx = 0;
    if (IsHorizontalBarShown()) {
        const int before = horizontalBar_->GetScrollPos();
        horizontalBar_->SetScrollPos(position.cx);
        dx = horizontalBar_->GetScrollPos() - before;
    }
    if (dx == 0 && dy == 0) return;
    for (VLControl* item : items_) {
        if (!IsFlowItem(item)) continue;
        const RECT r = item->GetPos();
        const SIZE s = item->MeasureSize({0, 0});
        const int left = r.left - dx, top = r.top - dy;
        item->SetPos({left, top, s.cx ? left + s.cx : r.right - dx, s.cy ? top + s.cy : r.bottom - dy});
    }
    Invalidate();
}

void VLContainer::ScrollBy(int dx, int dy)
{
    const SIZE position = GetScrollPos();
    SetScrollPos({SaturatedSum(position.cx, dx), SaturatedSum(position.cy, dy)});
}

void VLContainer::ScrollLineUp()
{
    if (verticalBar_) ScrollBy(0, -verticalBar_->GetLineSize());
}

void VLContainer::ScrollLineDown()
{
    if (verticalBar_) ScrollBy(0, verticalBar_->GetLineSize());
}

int VLContainer::VerticalPage() const
{
    return GetHeight() - inset_.top - inset_.bottom - (IsHorizontalBarShown() ? horizontalBar_->GetFixedHeight() : 0);
}

int VLContainer::HorizontalPage() const
{
    return GetWidth() - inset_.left - inset_.right - (IsVerticalBarShown() ? verticalBar_->GetFixedWidth() : 0);
}

void VLContainer::ScrollPageUp()
{
    ScrollBy(0, -VerticalPage());
}

void VLContainer::ScrollPageDown()
{
    ScrollBy(0, VerticalPage());
}

void VLContainer::ScrollToTop()
{
    SetScrollPos({GetScrollPos().cx, 0});
}

void VLContainer::ScrollToBottom()
{
    SetScrollPos({GetScrollPos().cx, GetScrollRange().cy});
}

void VLContainer::ScrollLineLeft()
{
    ScrollBy(-kHorizontalLineStep, 0);
}

void VLContainer::ScrollLineRight()
{
    ScrollBy(kHorizontalLineStep, 0);
}

void VLContainer::ScrollPageLeft()
{
    ScrollBy(-HorizontalPage(), 0);
}

void VLContainer::ScrollPageRight()
{
    ScrollBy(HorizontalPage(), 0);
}

void VLContainer::ScrollToLeft()
{
    SetScrollPos({0, GetScrollPos().cy});
}

void VLContainer::ScrollToRight()
{
    SetScrollPos({GetScrollRange().cx, GetScrollPos().cy});
}

bool VLContainer::CanScrollVertically() const
{
    return IsVerticalBarShown() && verticalBar_->IsEnabled();
}

bool VLContainer::CanScrollHorizontally() const
{
    return IsHorizontalBarShown() && horizontalBar_->IsEnabled();
}

void VLContainer::OnKeyDown(VLControlEvent& event)
{
    using Scroll = void (VLContainer::*)();
    static const struct {
        WORD key;
        Scroll vertical;
        Scroll horizontal;
    } kKeys[] = {
        {VK_PRIOR, &VLContainer::ScrollPageUp, &VLContainer::ScrollPageLeft},
        {VK_NEXT, &VLContainer::ScrollPageDown, &VLContainer::ScrollPageRight},
        {VK_END, &VLContainer::ScrollToBottom, &VLContainer::ScrollToRight},
        {VK_HOME, &VLContainer::ScrollToTop, &VLContainer::ScrollToLeft},
        {VK_UP, &VLContainer::ScrollLineUp, &VLContainer::ScrollLineLeft},
        {VK_DOWN, &VLContainer::ScrollLineDown, &VLContainer::ScrollLineRight},
    };
    const bool vertical = CanScrollVertically();
    if (vertical || CanScrollHorizontally()) {
        for (const auto& k : kKeys) {
            if (k.key != event.key) continue;
            (this->*(vertical ? k.vertical : k.horizontal))();
            return;
        }
    }
    VLControl::OnKeyDown(event);
}

void VLContainer::OnMouseWheel(VLControlEvent& event)
{
    // wParam is 1 when the wheel turned towards the user.
    const bool down = event.wParam != 0;
    if (CanScrollVertically())
        down ? ScrollLineDown() : ScrollLineUp();
    else if (CanScrollHorizontally())
        down ? ScrollLineRight() : ScrollLineLeft();
    else
        VLControl::OnMouseWheel(event);
}

// ---- Attributes --------------------------------------------------------------

void VLContainer::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = value == L"true";
    if (name == L"inset") {
        int n[4];
        ReadIntList(value.c_str(), n, 4);
        SetInset(n[0], n[1], n[2], n[3]);
    } else if (name == L"layouttype") {
        SetLayoutType(_wtoi(value.c_str()));
    } else if (name == L"vscrollbar") {
        EnableScrollBar(on, horizontalBar_ != nullptr);
    } else if (name == L"hscrollbar") {
        EnableScrollBar(verticalBar_ != nullptr, on);
    } else if (name == L"vscrollbarstyle") {
        EnableScrollBar(true, horizontalBar_ != nullptr);
        ApplyAttributeList(value, verticalBar_.get());
    } else if (name == L"hscrollbarstyle") {
        EnableScrollBar(verticalBar_ != nullptr, true);
        ApplyAttributeList(value, horizontalBar_.get());
    } else if (name == L"autodestroy") {
        SetAutoDestroy(on);
    } else if (name == L"childpadding") {
        SetChildPadding(_wtoi(value.c_str()));
    } else {
        VLControl::SetAttribute(name, value);
    }
}

} // namespace Velora
