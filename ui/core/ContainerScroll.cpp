// Scrolling a container: positions and ranges of its bars, the line and page
// steps, and the keys and wheel that drive them.
#include "ui/core/Container.h"

#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace Velora {

namespace {

// The scroll steps of the horizontal direction do not follow the bar's line
// size.
constexpr int kHorizontalLineStep = 8;

} // namespace

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
        dy = Saturated(int64_t{items_.front()->GetPos().top} - GetPos().top + position.cy);
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
        const int64_t left = int64_t{r.left} - dx, top = int64_t{r.top} - dy;
        item->SetPos({Saturated(left), Saturated(top), Saturated(s.cx ? left + s.cx : int64_t{r.right} - dx),
                      Saturated(s.cy ? top + s.cy : int64_t{r.bottom} - dy)});
    }
    Invalidate();
}

void VLContainer::ScrollBy(int dx, int dy)
{
    const SIZE position = GetScrollPos();
    SetScrollPos({Saturated(int64_t{position.cx} + dx, INT_MAX), Saturated(int64_t{position.cy} + dy, INT_MAX)});
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
    return Saturated(int64_t{GetHeight()} - inset_.top - inset_.bottom -
                     (IsHorizontalBarShown() ? horizontalBar_->GetFixedHeight() : 0));
}

int VLContainer::HorizontalPage() const
{
    return Saturated(int64_t{GetWidth()} - inset_.left - inset_.right -
                     (IsVerticalBarShown() ? verticalBar_->GetFixedWidth() : 0));
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

} // namespace Velora
