// A progress bar: the fore image (the control's normal image) fills the part
// of the bar that the value reaches, stretched into it or cropped from the
// image's left side.
#pragma once

#include "ui/core/Control.h"

namespace Velora {

class VLProgress : public VLControl {
public:
    ~VLProgress() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void PaintStateImage(HDC hdc) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    // Kept within the bounds; a change repaints. Returns the stored value.
    int SetValue(int value);
    int GetValue() const { return value_; }
    // Value units per fill unit: the bar is full at value = maximum / step.
    // At least 1 and at most the maximum (but never below 1).
    int SetStep(int step);
    int GetStep() const { return step_; }
    // Bounds only: the value is not clamped again and nothing repaints.
    void SetMinValue(int value) { minimum_ = value; }
    void SetMaxValue(int value) { maximum_ = value; }

private:
    int step_ = 1;
    int value_ = 0;
    int minimum_ = 0;
    int maximum_ = 100;
    RECT foreInset_ = {};
    bool cropSource_ = false;
};

} // namespace Velora
