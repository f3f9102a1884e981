#include "ui/core/Slide.h"

#include "base/StringUtil.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"
#include "ui/core/ValueText.h"

#include <algorithm>
#include <climits>
#include <cwchar>

namespace Velora {

namespace {

// The outline of a thumb that has no image.
constexpr uint32_t kThumbOutline = 0xFF85E4FF;

// The value in percent of the range, in 64 bits (value times 100 passes
// int), and never divided by 0.
int Percent(int value, int range)
{
    return static_cast<int>(int64_t{value} * 100 / std::max(range, 1));
}

} // namespace

VLSlide::~VLSlide() = default;

int VLSlide::GetClassId() const
{
    return 12;
}

VLControl* VLSlide::GetInterface(int id)
{
    return id == 12 ? this : VLControl::GetInterface(id);
}

void VLSlide::SetValue(int value)
{
    // Clamped before the comparison, so that repeated values beyond an end
    // (a wheel turning on at the end of a list) do not notify again.
    value = std::clamp(value, 0, range_);
    if (value == value_) return;
    value_ = value;
    SetPos(GetPos());
    if (GetManager()) GetManager()->SendNotify(this, kNotifySlideValue, WPARAM(Percent(value_, range_)), 0);
}

void VLSlide::SetRange(int range)
{
    if (range == range_ || range <= 0) return;
    const int percent = Percent(value_, range_);
    range_ = range;
    SetPercent(percent);
    value_ = std::min(value_, range_);
}

void VLSlide::SetPercent(int percent)
{
    const int value = Saturated(int64_t{range_} * percent / 100, INT_MAX);
    if (value == value_) return;
    value_ = std::clamp(value, 0, range_);
    SetPos(GetPos());
}

void VLSlide::SetPos(const RECT& rect)
{
    VLControl::SetPos(rect);
    const RECT pos = GetPos();
    const RECT inner = Saturated(pos, inset_);
    if (!horizontal_) {
        SetRange(Saturated(int64_t{inner.bottom} - inner.top - thumbSize_));
        const int top = Saturated(int64_t{inner.top} + value_);
        thumb_ = {inner.left, top, inner.right, Saturated(int64_t{top} + thumbSize_)};
        if (thumb_.top < inner.top)
            thumb_ = {inner.left, inner.top, inner.right, Saturated(int64_t{inner.top} + thumbSize_)};
    } else {
        SetRange(Saturated(int64_t{inner.right} - inner.left - thumbSize_));
        const int left = Saturated(int64_t{inner.left} + value_);
        thumb_ = {left, inner.top, Saturated(int64_t{left} + thumbSize_), inner.bottom};
        if (thumb_.right > inner.right)
            thumb_ = {Saturated(int64_t{inner.right} - thumbSize_), inner.top, inner.right, inner.bottom};
    }
}

void VLSlide::SetEnabled(bool enabled)
{
    VLControl::SetEnabled(enabled);
    if (!enabled) thumbState_ = 0;
}

void VLSlide::SetThumbHot(bool hot)
{
    if (((thumbState_ & kStateHot) != 0) == hot) return;
    thumbState_ ^= kStateHot;
    Invalidate();
}

void VLSlide::OnMouseEnter(VLControlEvent& event)
{
    if (IsEnabled() && PtInRect(&thumb_, event.ptMouse)) SetThumbHot(true);
    VLControl::OnMouseEnter(event);
}

void VLSlide::OnMouseLeave(VLControlEvent& event)
{
    SetThumbHot(false);
    VLControl::OnMouseLeave(event);
}

void VLSlide::OnMouseMove(VLControlEvent& event)
{
    if (thumbState_ & kStateCaptured) {
        // The thumb follows only a mouse on the far side of its middle, so
        // that it does not jump back when the mouse turns.
        const int along = Along(event.ptMouse);
        const int64_t delta = int64_t{along} - Along(lastMouse_);
        const int64_t middle = int64_t{ThumbStart()} + thumbSize_ / 2;
        if ((delta > 0 && along > middle) || (delta < 0 && along < middle))
            SetValue(Saturated(value_ + delta, INT_MAX));
        lastMouse_ = event.ptMouse;
        Invalidate();
        return;
    }
    SetThumbHot(IsEnabled() && PtInRect(&thumb_, event.ptMouse));
}

void VLSlide::OnLButtonDown(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    thumbState_ |= kStatePushed | kStateCaptured;
    lastMouse_ = event.ptMouse;
    // The thumb's middle jumps under the mouse.
    SetValue(Saturated(int64_t{value_} + Along(event.ptMouse) - ThumbStart() - thumbSize_ / 2, INT_MAX));
    VLControl::OnLButtonDown(event);
}

void VLSlide::OnLButtonUp(VLControlEvent& event)
{
    if (thumbState_ & kStateCaptured) {
        thumbState_ &= ~(kStateCaptured | kStatePushed);
        Invalidate();
    }
    VLControl::OnLButtonUp(event);
}

void VLSlide::OnLButtonDblClk(VLControlEvent& event)
{
    OnLButtonDown(event);
}

VLSlide::Look VLSlide::ChosenLook() const
{
    if (thumbState_ & kStateDisabled) return kLookDisabled;
    if (thumbState_ & kStatePushed) return kLookPushed;
    if (thumbState_ & kStateHot) return kLookHot;
    return kLookNormal;
}

void VLSlide::Paint(HDC hdc, const RECT& paint)
{
    if (!IsVisible()) return;
    const RECT pos = GetPos();
    if (!IntersectRect(&paintRect, &paint, &pos) || !hdc) return;
    if (IsEnabled())
        thumbState_ &= ~kStateDisabled;
    else
        thumbState_ |= kStateDisabled;
    const Look look = ChosenLook();
    std::wstring* const chosenBk = look == kLookNormal ? nullptr : &bkLooks_[look];
    DrawFirstImage(hdc, {chosenBk, &bkLooks_[kLookNormal]});
    if (IsRectEmpty(&thumb_)) return;
    Format(modifier_, L"dest='%d,%d,%d,%d'", thumb_.left - pos.left, thumb_.top - pos.top, thumb_.right - pos.left,
           thumb_.bottom - pos.top);
    std::wstring* const chosenThumb = look == kLookNormal ? nullptr : &thumbLooks_[look];
    if (!DrawFirstImage(hdc, {chosenThumb, &thumbLooks_[kLookNormal]}, modifier_.c_str()))
        VLRenderEngine::DrawRect(hdc, thumb_, 2, kThumbOutline);
}

void VLSlide::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    static const wchar_t* const lookNames[kLookCount] = {L"normalimage", L"hotimage", L"pushedimage", L"disabledimage"};
    for (int i = 0; i < kLookCount; ++i) {
        if (name == std::wstring(L"thumb") + lookNames[i] || name == std::wstring(L"bk") + lookNames[i]) {
            (name[0] == L't' ? thumbLooks_ : bkLooks_)[i] = value;
            Invalidate();
            return;
        }
    }
    if (name == L"hor") {
        horizontal_ = value == L"true";
    } else if (name == L"value") {
        SetValue(_wtoi(value.c_str()));
    } else if (name == L"thumbsize") {
        thumbSize_ = _wtoi(value.c_str());
    } else if (name == L"inset") {
        inset_ = ReadRect(value);
    } else {
        VLControl::SetAttribute(name, value);
    }
}

} // namespace Velora
