#include "ui/core/Scrollbar.h"

#include "base/StringUtil.h"
#include "ui/core/Container.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"
#include "ui/core/ValueText.h"

#include <algorithm>
#include <climits>

namespace Velora {

namespace {

constexpr int kDefaultThickness = 16;
// What a button or the thumb shows when it has no image.
constexpr uint32_t kOutlineColour = 0xFF85E4FF;
constexpr int kOutlineWidth = 2;

const wchar_t* const kPartNames[VLScrollbar::kPartCount] = {L"bk", L"button1", L"button2", L"thumb", L"rail"};
const wchar_t* const kLookNames[VLScrollbar::kLookCount] = {L"normalimage", L"hotimage", L"pushedimage",
                                                            L"disabledimage"};

} // namespace

VLScrollbar::VLScrollbar()
{
    SetFixedWidth(kDefaultThickness);
}

VLScrollbar::~VLScrollbar() = default;

int VLScrollbar::GetClassId() const
{
    return 11;
}

VLControl* VLScrollbar::GetInterface(int id)
{
    return id == 11 || id == 1 ? this : nullptr;
}

int VLScrollbar::Thickness() const
{
    return horizontal_ ? GetFixedHeight() : GetFixedWidth();
}

int VLScrollbar::ShownButtons() const
{
    return (showButton1_ ? 1 : 0) + (showButton2_ ? 1 : 0);
}

RECT VLScrollbar::Span(int alongFrom, int alongTo, int acrossFrom, int acrossTo) const
{
    return horizontal_ ? RECT{alongFrom, acrossFrom, alongTo, acrossTo}
                       : RECT{acrossFrom, alongFrom, acrossTo, alongTo};
}

void VLScrollbar::SetPos(const RECT& rect)
{
    VLControl::SetPos(rect);
    const RECT r = GetPos();
    const RECT inner = Saturated(r, inset_);
    const int t = Thickness();
    const int start = horizontal_ ? inner.left : inner.top;
    const int end = horizontal_ ? inner.right : inner.bottom;
    const int across = horizontal_ ? inner.top : inner.left;
    const int64_t length = int64_t{end} - start;
    const int64_t track = length - int64_t{t} * ShownButtons();
    // Without room for a thumb the buttons share the length.
    const int buttonLength = track > t ? t : Saturated(std::min<int64_t>(t, length / 2));
    const int acrossEnd = Saturated(int64_t{across} + t);
    button1_ = showButton1_ ? Span(start, Saturated(int64_t{start} + buttonLength), across, acrossEnd)
                            : Span(start, start, across, across);
    button2_ = showButton2_ ? Span(Saturated(int64_t{end} - buttonLength), end, across, acrossEnd)
                            : Span(end, end, across, across);
    if (track <= t) {
        thumb_ = {};
        return;
    }
    const int low = showButton1_ ? Saturated(int64_t{start} + t) : start;
    const int high = showButton2_ ? Saturated(int64_t{end} - t) : end;
    const int acrossTo = horizontal_ ? acrossEnd : inner.right;
    if (range_ == 0) {
        thumb_ = Span(low, high, across, acrossTo);
        return;
    }
    // 64-bit: a huge range must neither overflow nor turn the thumb around.
    // Here the track is longer than the thickness, so the length and the
    // divisor are above 0.
    const int64_t thumbLength = std::max<int64_t>(length * track / std::max<int64_t>(range_ + length, 1), t);
    int64_t from = (track - thumbLength) * position_ / range_ + low;
    int64_t to = from + thumbLength;
    if (to > high) {
        from -= to - high;
        to = high;
    }
    thumb_ = Span(static_cast<int>(from), static_cast<int>(to), across, acrossTo);
}

void VLScrollbar::SetScrollRange(int range)
{
    if (range == range_) return;
    range_ = std::max(range, 0);
    position_ = std::min(position_, range_);
    SetPos(GetPos());
}

void VLScrollbar::SetScrollPos(int position)
{
    if (position == position_) return;
    position_ = std::min(std::max(position, 0), range_);
    SetPos(GetPos());
}

void VLScrollbar::SetHorizontal(bool horizontal)
{
    if (horizontal == horizontal_) return;
    horizontal_ = horizontal;
    if (!horizontal && GetFixedWidth() == 0) {
        SetFixedWidth(kDefaultThickness);
        SetFixedHeight(0);
    } else if (horizontal && GetFixedHeight() == 0) {
        SetFixedWidth(0);
        SetFixedHeight(kDefaultThickness);
    }
    VLControl* target = owner_ ? owner_ : GetParent() ? GetParent() : this;
    target->MarkForLayout();
}

void VLScrollbar::SetShowButton1(bool show)
{
    if (show == showButton1_) return;
    showButton1_ = show;
    SetPos(GetPos());
}

void VLScrollbar::SetShowButton2(bool show)
{
    if (show == showButton2_) return;
    showButton2_ = show;
    SetPos(GetPos());
}

void VLScrollbar::ClearPartStates()
{
    button1State_ = button2State_ = thumbState_ = 0;
}

void VLScrollbar::SetEnabled(bool enabled)
{
    VLControl::SetEnabled(enabled);
    if (!IsEnabled()) ClearPartStates();
}

void VLScrollbar::SetFocus()
{
    if (owner_)
        owner_->SetFocus();
    else if (GetManager())
        GetManager()->SetFocus(this);
}

void VLScrollbar::StepLine(int direction)
{
    if (!owner_) {
        SetScrollPos(Saturated(int64_t{position_} + int64_t{direction} * lineSize_, INT_MAX));
    } else if (horizontal_) {
        direction < 0 ? owner_->ScrollLineLeft() : owner_->ScrollLineRight();
    } else {
        direction < 0 ? owner_->ScrollLineUp() : owner_->ScrollLineDown();
    }
}

void VLScrollbar::StepPage(int direction)
{
    if (!owner_) {
        const int page = horizontal_ ? GetWidth() : GetHeight();
        SetScrollPos(Saturated(int64_t{position_} + int64_t{direction} * page, INT_MAX));
    } else if (horizontal_) {
        direction < 0 ? owner_->ScrollPageLeft() : owner_->ScrollPageRight();
    } else {
        direction < 0 ? owner_->ScrollPageUp() : owner_->ScrollPageDown();
    }
}

void VLScrollbar::PageTowards(POINT point)
{
    const int at = Along(point);
    const int thumbFrom = horizontal_ ? thumb_.left : thumb_.top;
    const int thumbTo = horizontal_ ? thumb_.right : thumb_.bottom;
    if (at < thumbFrom)
        StepPage(-1);
    else if (at >= thumbTo)
        StepPage(1);
}

void VLScrollbar::OnLButtonDown(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    repeatCount_ = 0;
    dragOffset_ = 0;
    if (GetManager()) GetManager()->SetTimer(this, kScrollTimerId, kScrollTimerPeriod);
    if (PtInRect(&button1_, event.ptMouse)) {
        button1State_ |= kStatePushed;
        StepLine(-1);
    } else if (PtInRect(&button2_, event.ptMouse)) {
        button2State_ |= kStatePushed;
        StepLine(1);
    } else if (PtInRect(&thumb_, event.ptMouse)) {
        thumbState_ |= kStatePushed | kStateCaptured;
        dragStartPoint_ = event.ptMouse;
        dragStartPosition_ = position_;
    } else {
        PageTowards(event.ptMouse);
    }
    VLControl::OnLButtonDown(event);
}

void VLScrollbar::OnLButtonDblClk(VLControlEvent& event)
{
    OnLButtonDown(event);
}

void VLScrollbar::OnLButtonUp(VLControlEvent& event)
{
    repeatCount_ = 0;
    dragOffset_ = 0;
    if (GetManager()) GetManager()->KillTimer(this, kScrollTimerId);
    if (thumbState_ & kStateCaptured) {
        thumbState_ &= ~(kStateCaptured | kStatePushed);
        Invalidate();
    } else if (button1State_ & kStatePushed) {
        button1State_ &= ~kStatePushed;
        Invalidate();
    } else if (button2State_ & kStatePushed) {
        button2State_ &= ~kStatePushed;
        Invalidate();
    }
    VLControl::OnLButtonUp(event);
}

void VLScrollbar::OnMouseMove(VLControlEvent& event)
{
    if (thumbState_ & kStateCaptured) {
        const int64_t thumbLength = horizontal_ ? thumb_.right - thumb_.left : thumb_.bottom - thumb_.top;
        const int64_t travel =
            (horizontal_ ? GetWidth() : GetHeight()) - thumbLength - int64_t{Thickness()} * ShownButtons();
        if (travel < 1) return;
        // The position follows at the next timer tick.
        const int64_t moved = int64_t{Along(event.ptMouse)} - Along(dragStartPoint_);
        dragOffset_ = Saturated(moved * range_ / travel, INT_MAX);
        return;
    }
    const bool onThumb = PtInRect(&thumb_, event.ptMouse) != FALSE;
    if (onThumb && IsEnabled() && !(thumbState_ & kStateHot)) {
        thumbState_ |= kStateHot;
        Invalidate();
    } else if (!onThumb && (thumbState_ & kStateHot)) {
        thumbState_ &= ~kStateHot;
        Invalidate();
    }
}

void VLScrollbar::ApplyDrag()
{
    const int target = std::clamp(Saturated(int64_t{dragStartPosition_} + dragOffset_, INT_MAX), 0, range_);
    if (!owner_) {
        SetScrollPos(target);
    } else {
        SIZE position = owner_->GetScrollPos();
        (horizontal_ ? position.cx : position.cy) = target;
        owner_->SetScrollPos(position);
    }
    Invalidate();
}

void VLScrollbar::OnTimer(VLControlEvent& event)
{
    if (event.wParam != kScrollTimerId) {
        VLControl::OnTimer(event);
        return;
    }
    ++repeatCount_;
    if (thumbState_ & kStateCaptured) {
        ApplyDrag();
        return;
    }
    if (repeatCount_ <= kScrollRepeatDelay) return;
    if (button1State_ & kStatePushed) {
        StepLine(-1);
    } else if (button2State_ & kStatePushed) {
        StepLine(1);
    } else if (GetManager() && GetManager()->GetWindow()) {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(GetManager()->GetWindow(), &cursor);
        PageTowards(cursor);
    }
}

void VLScrollbar::OnMouseEnter(VLControlEvent& event)
{
    if (IsEnabled()) {
        button1State_ |= kStateHot;
        button2State_ |= kStateHot;
        if (PtInRect(&thumb_, event.ptMouse)) thumbState_ |= kStateHot;
        Invalidate();
    }
    VLControl::OnMouseEnter(event);
}

void VLScrollbar::OnMouseLeave(VLControlEvent& event)
{
    if (IsEnabled()) {
        button1State_ &= ~kStateHot;
        button2State_ &= ~kStateHot;
        thumbState_ &= ~kStateHot;
        Invalidate();
    }
    VLControl::OnMouseLeave(event);
}

bool VLScrollbar::DrawPart(HDC hdc, Part part, uint32_t partState, const RECT* rect)
{
    std::wstring* images = images_[part];
    std::wstring* chosen = (partState & kStateDisabled) ? &images[kLookDisabled]
                           : (partState & kStatePushed) ? &images[kLookPushed]
                           : (partState & kStateHot)    ? &images[kLookHot]
                                                        : nullptr;
    if (!rect) return DrawFirstImage(hdc, {chosen, &images[kLookNormal]});
    // A hidden button or a missing thumb has nothing to show: an empty "dest"
    // would stretch the image over the whole bar.
    if (IsRectEmpty(rect)) return false;
    const RECT pos = GetPos();
    std::wstring modifier;
    Format(modifier, L"dest='%d,%d,%d,%d'", rect->left - pos.left, rect->top - pos.top, rect->right - pos.left,
           rect->bottom - pos.top);
    return DrawFirstImage(hdc, {chosen, &images[kLookNormal]}, modifier.c_str());
}

void VLScrollbar::Paint(HDC hdc, const RECT& paint)
{
    const RECT pos = GetPos();
    if (!IsVisible() || !IntersectRect(&paintRect, &paint, &pos)) return;
    const uint32_t disabled = IsEnabled() ? 0u : uint32_t{kStateDisabled};
    for (uint32_t* partState : {&button1State_, &button2State_, &thumbState_})
        *partState = (*partState & ~kStateDisabled) | disabled;
    DrawPart(hdc, kPartBk, thumbState_, nullptr);
    const struct {
        Part part;
        const RECT& rect;
        uint32_t partState;
    } parts[] = {{kPartButton1, button1_, button1State_},
                 {kPartButton2, button2_, button2State_},
                 {kPartThumb, thumb_, thumbState_}};
    for (const auto& p : parts) {
        if (!DrawPart(hdc, p.part, p.partState, &p.rect) && !IsRectEmpty(&p.rect))
            VLRenderEngine::DrawRect(hdc, p.rect, kOutlineWidth, kOutlineColour);
    }
    if (IsRectEmpty(&thumb_)) return;
    // The rail mark: as long as the bar is thick, centred on the thumb.
    const int64_t t = Thickness();
    const int64_t middle =
        horizontal_ ? (int64_t{thumb_.left} + thumb_.right) / 2 : (int64_t{thumb_.top} + thumb_.bottom) / 2;
    const int from = Saturated(middle - t / 2), to = Saturated(middle - t / 2 + t);
    const RECT rail =
        horizontal_ ? RECT{from, thumb_.top, to, thumb_.bottom} : RECT{thumb_.left, from, thumb_.right, to};
    DrawPart(hdc, kPartRail, thumbState_, &rail);
}

void VLScrollbar::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    for (int part = 0; part < kPartCount; ++part) {
        for (int look = 0; look < kLookCount; ++look) {
            if (name == std::wstring(kPartNames[part]) + kLookNames[look]) {
                images_[part][look] = value;
                Invalidate();
                return;
            }
        }
    }
    const bool on = value == L"true";
    if (name == L"hor") {
        SetHorizontal(on);
    } else if (name == L"linesize") {
        lineSize_ = _wtoi(value.c_str());
    } else if (name == L"range") {
        SetScrollRange(_wtoi(value.c_str()));
    } else if (name == L"value") {
        SetScrollPos(_wtoi(value.c_str()));
    } else if (name == L"showbutton1") {
        SetShowButton1(on);
    } else if (name == L"showbutton2") {
        SetShowButton2(on);
    } else if (name == L"inset") {
        inset_ = ReadRect(value);
    } else {
        VLControl::SetAttribute(name, value);
    }
}

} // namespace Velora
