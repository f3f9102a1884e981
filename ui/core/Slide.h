// A slider: a thumb dragged along a horizontal or vertical track. The value
// is the thumb's offset in pixels from the track's start; the range, the
// track's length, follows the control's size and the value keeps its
// percentage when it does.
#pragma once

#include "ui/core/Control.h"

#include <string>

namespace Velora {

// Sent when the value changes; wParam is the position in percent.
constexpr int32_t kNotifySlideValue = 24;

class VLSlide : public VLControl {
public:
    ~VLSlide() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnMouseEnter(VLControlEvent& event) override;
    void OnMouseLeave(VLControlEvent& event) override;
    void OnMouseMove(VLControlEvent& event) override;
    void OnLButtonDown(VLControlEvent& event) override;
    void OnLButtonUp(VLControlEvent& event) override;
    void OnLButtonDblClk(VLControlEvent& event) override;
    void Paint(HDC hdc, const RECT& paintRect) override;
    // Places the thumb; the range becomes the inner length less the thumb.
    void SetPos(const RECT& rect) override;
    void SetEnabled(bool enabled) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    // Kept within 0..range; a change re-places the thumb and notifies.
    void SetValue(int value);
    int GetValue() const { return value_; }
    // Ignored unless above 0; the value keeps its percentage.
    void SetRange(int range);
    int GetRange() const { return range_; }
    // Moves the thumb without notifying.
    void SetPercent(int percent);
    RECT GetThumbRect() const { return thumb_; }

private:
    enum Look { kLookNormal, kLookHot, kLookPushed, kLookDisabled, kLookCount };
    // The look the thumb's state chooses.
    Look ChosenLook() const;
    int Along(POINT point) const { return horizontal_ ? point.x : point.y; }
    int ThumbStart() const { return horizontal_ ? thumb_.left : thumb_.top; }
    void SetThumbHot(bool hot);

    bool horizontal_ = false;
    int range_ = 100;
    int value_ = 0;
    POINT lastMouse_ = {0, 0};
    std::wstring bkLooks_[kLookCount];
    RECT thumb_ = {};
    int thumbSize_ = 0;
    RECT inset_ = {};
    uint32_t thumbState_ = 0;
    std::wstring thumbLooks_[kLookCount];
    std::wstring modifier_;
};

} // namespace Velora
