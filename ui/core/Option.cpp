#include "ui/core/Option.h"

#include "ui/core/PaintManager.h"

namespace Velora {

namespace {

bool IsCtrlHeld()
{
    return GetKeyState(VK_CONTROL) < 0;
}

} // namespace

VLOption::~VLOption()
{
    if (group_ != 0 && GetManager()) GetManager()->RemoveOptionGroup(group_, this);
}

int VLOption::GetClassId() const
{
    return 9;
}

VLControl* VLOption::GetInterface(int id)
{
    return id == 9 ? this : VLButton::GetInterface(id);
}

bool VLOption::ActsAsCheckBox() const
{
    return group_ == 0 || (ctrlDown_ && IsCtrlHeld());
}

void VLOption::SetGroup(int group)
{
    if (group == group_) return;
    VLPaintManager* manager = GetManager();
    if (group_ != 0 && manager) manager->RemoveOptionGroup(group_, this);
    group_ = group;
    if (group_ != 0 && manager) manager->AddOptionGroup(group_, this);
    SetSelected(selected_);
}

void VLOption::SetSelected(bool selected)
{
    const bool changed = selected != selected_;
    selected_ = selected;
    state = selected ? (state | kStateSelected) : (state & ~kStateSelected);
    VLPaintManager* manager = GetManager();
    if (manager) {
        if (selected_ && !ActsAsCheckBox()) {
            const std::vector<VLOption*>* group = manager->GetOptionGroup(group_);
            if (!group) return;
            // A copy: a listener told of a change may alter the group.
            const std::vector<VLOption*> members = *group;
            for (VLOption* other : members) {
                if (other != this) other->SetSelected(false);
            }
        }
        if (changed) manager->SendNotify(this, kNotifySelectChanged, selected_ ? 1 : 0, 0);
    }
    Invalidate();
}

bool VLOption::Activate(VLControlEvent& event)
{
    if (!VLButton::Activate(event)) return false;
    SetSelected(ActsAsCheckBox() ? !selected_ : true);
    return true;
}

void VLOption::SetEnabled(bool enabled)
{
    if (enabled == IsEnabled()) return;
    VLButton::SetEnabled(enabled);
    if (!enabled && selected_) state |= kStateSelected;
}

void VLOption::OnLButtonDblClk(VLControlEvent& event)
{
    if (!doubleClick_) {
        VLButton::OnLButtonDblClk(event);
        return;
    }
    SetNotify(kNotifyLButtonDblClk, true);
    VLControl::OnLButtonDblClk(event);
}

void VLOption::PaintBkImage(HDC hdc)
{
    state &= ~kStatePushed;
    if (selected_ && DrawFirstImage(hdc, {&bkImages[kImageSelected]})) return;
    VLButton::PaintBkImage(hdc);
}

void VLOption::PaintStateImage(HDC hdc)
{
    if (selected_ && !IsEnabled() && !disabledSelectedImage_.empty()) {
        DrawFirstImage(hdc, {&disabledSelectedImage_});
        return;
    }
    VLButton::PaintStateImage(hdc);
}

void VLOption::SetDisabledSelectedImage(const std::wstring& descriptor)
{
    disabledSelectedImage_ = descriptor;
}

void VLOption::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = value == L"true";
    if (name == L"group") {
        SetGroup(_wtoi(value.c_str()));
    } else if (name == L"selected") {
        SetSelected(on);
    } else if (name == L"dbclick") {
        if (on) doubleClick_ = true;
    } else if (name == L"ctrldown") {
        if (on) ctrlDown_ = true;
    } else if (name == L"disabledselectedimage") {
        SetDisabledSelectedImage(value);
    } else {
        VLButton::SetAttribute(name, value);
    }
}

} // namespace Velora
