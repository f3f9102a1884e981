// The skinned scroll bar: two arrow buttons, a rail and a thumb whose length
// shows the visible share of the content. A container's bar scrolls its owner;
// a bar without an owner only moves its own position. Held buttons and rail
// presses repeat on a control timer.
#pragma once

#include "ui/core/Control.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLContainer;

// The control timer that drives repeats and thumb drags, and its period.
constexpr uint32_t kScrollTimerId = 10;
constexpr uint32_t kScrollTimerPeriod = 50;
// Timer ticks before a held button or rail press starts repeating.
constexpr int kScrollRepeatDelay = 5;

class VLScrollbar : public VLControl {
public:
    // The parts that have images, and the states each part has an image for.
    enum Part { kPartBk, kPartButton1, kPartButton2, kPartThumb, kPartRail, kPartCount };
    enum PartLook { kLookNormal, kLookHot, kLookPushed, kLookDisabled, kLookCount };

    VLScrollbar();
    ~VLScrollbar() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnMouseEnter(VLControlEvent& event) override;
    void OnMouseLeave(VLControlEvent& event) override;
    void OnMouseMove(VLControlEvent& event) override;
    void OnTimer(VLControlEvent& event) override;
    void OnLButtonDown(VLControlEvent& event) override;
    void OnLButtonUp(VLControlEvent& event) override;
    void OnLButtonDblClk(VLControlEvent& event) override;
    // Background, buttons, thumb and the rail mark on the thumb; a button or
    // thumb without a drawable image shows an outline.
    void Paint(HDC hdc, const RECT& paintRect) override;
    // Places the buttons and the thumb inside the rectangle.
    void SetPos(const RECT& rect) override;
    void SetEnabled(bool enabled) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // A container's bar hands the focus to its container.
    void SetFocus() override;

    VLContainer* GetOwner() const { return owner_; }
    void SetOwner(VLContainer* owner) { owner_ = owner; }
    bool IsHorizontal() const { return horizontal_; }
    // Swaps the bar's thickness between the fixed width and height.
    void SetHorizontal(bool horizontal);
    int GetScrollRange() const { return range_; }
    // Negative ranges become 0; the position is pulled down to the range.
    void SetScrollRange(int range);
    int GetScrollPos() const { return position_; }
    // Kept within 0..range.
    void SetScrollPos(int position);
    int GetLineSize() const { return lineSize_; }
    void SetShowButton1(bool show);
    void SetShowButton2(bool show);

    RECT GetButton1Rect() const { return button1_; }
    RECT GetButton2Rect() const { return button2_; }
    // All 0 when the bar has no room for a thumb.
    RECT GetThumbRect() const { return thumb_; }
    uint32_t GetThumbState() const { return thumbState_; }

private:
    // The bar's thickness: the buttons are as long as the bar is thick.
    int Thickness() const;
    int ShownButtons() const;
    // A rectangle from a span along the bar and a span across it.
    RECT Span(int alongFrom, int alongTo, int acrossFrom, int acrossTo) const;
    int Along(POINT point) const { return horizontal_ ? point.x : point.y; }
    void StepLine(int direction);
    void StepPage(int direction);
    // A page towards the point when it lies before or after the thumb.
    void PageTowards(POINT point);
    void ApplyDrag();
    // Draws the part's image for its state, or its normal image; over the
    // part's rectangle, or the whole bar when rect is null. False when nothing
    // was drawn.
    bool DrawPart(HDC hdc, Part part, uint32_t partState, const RECT* rect);
    void ClearPartStates();

    bool horizontal_ = false;
    int range_ = 100;
    int position_ = 0;
    int lineSize_ = 8;
    VLContainer* owner_ = nullptr;
    POINT dragStartPoint_ = {0, 0};
    int dragStartPosition_ = 0;
    int dragOffset_ = 0;
    int repeatCount_ = 0;
    bool showButton1_ = true;
    RECT button1_ = {};
    uint32_t button1State_ = 0;
    bool showButton2_ = true;
    RECT button2_ = {};
    uint32_t button2State_ = 0;
    RECT thumb_ = {};
    RECT inset_ = {};
    uint32_t thumbState_ = 0;
    std::wstring images_[kPartCount][kLookCount];
};

} // namespace Velora
