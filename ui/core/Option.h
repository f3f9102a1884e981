// A button with a selected state: a check box without a group, a radio
// button with one. The paint manager keeps the members of each group;
// selecting one member deselects the others.
#pragma once

#include "ui/core/Button.h"

#include <string>

namespace Velora {

class VLOption : public VLButton {
public:
    ~VLOption() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void OnLButtonDblClk(VLControlEvent& event) override;
    // A click selects a radio button (again) and toggles a check box.
    bool Activate(VLControlEvent& event) override;
    // A disabled option keeps showing that it is selected.
    void SetEnabled(bool enabled) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // An option never looks pushed; selected, it shows its selected
    // background alone.
    void PaintBkImage(HDC hdc) override;
    // Selected and disabled, the disabled selected image replaces the state
    // images.
    void PaintStateImage(HDC hdc) override;

    bool IsSelected() const { return selected_; }
    virtual void SetSelected(bool selected);
    virtual void SetDisabledSelectedImage(const std::wstring& descriptor);
    const std::wstring& GetDisabledSelectedImage() const { return disabledSelectedImage_; }
    int GetGroup() const { return group_; }
    // Leaves the old group and joins the new one (0: none).
    void SetGroup(int group);

private:
    // With "ctrldown", holding Ctrl makes a radio button behave as a check box.
    bool ActsAsCheckBox() const;

    bool selected_ = false;
    int group_ = 0;
    bool doubleClick_ = false;
    bool ctrlDown_ = false;
    std::wstring disabledSelectedImage_;
};

} // namespace Velora
