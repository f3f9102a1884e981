#include "ui/controls/TabCtrl.h"

#include "ui/core/PaintManager.h"

namespace Velora {

int VLTabCtrl::GetClassId() const
{
    return 13;
}

VLControl* VLTabCtrl::GetInterface(int id)
{
    return id == 13 ? this : VLContainer::GetInterface(id);
}

void VLTabCtrl::SetPos(const RECT& rect)
{
    if (vertical_)
        LayoutVertical(rect);
    else
        LayoutHorizontal(rect);
}

bool VLTabCtrl::IsVisible() const
{
    return GetCount() != 0 && VLContainer::IsVisible();
}

void VLTabCtrl::Invalidate()
{
    if (selected_ && GetManager()) {
        if (VLControl* page = GetManager()->FindControl(selected_->GetControlId())) page->Invalidate();
    }
    VLContainer::Invalidate();
}

void VLTabCtrl::SetGroup(int group)
{
    group_ = group;
    for (int i = 0; i < GetCount(); ++i) static_cast<VLTabItem*>(GetItemAt(i))->SetGroup(group);
}

void VLTabCtrl::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"group") {
        SetGroup(_wtoi(value.c_str()));
    } else if (name == L"item") {
        itemAttributes_ = value;
        for (int i = 0; i < GetCount(); ++i) ApplyAttributeList(value, GetItemAt(i));
    } else if (name == L"vertical") {
        vertical_ = value == L"true";
    } else {
        VLContainer::SetAttribute(name, value);
    }
}

bool VLTabCtrl::Add(VLControl* item)
{
    return AddAt(item, GetCount());
}

bool VLTabCtrl::AddAt(VLControl* item, int index)
{
    VLTabItem* tab = item ? static_cast<VLTabItem*>(item->GetInterface(14)) : nullptr;
    if (!tab) return false;
    tab->SetOwner(this);
    const bool added = VLContainer::AddAt(tab, index);
    tab->SetGroup(group_);
    if (!itemAttributes_.empty()) ApplyAttributeList(itemAttributes_, tab);
    MarkParentForLayout();
    Invalidate();
    return added;
}

void VLTabCtrl::Forget(VLControl* item)
{
    if (item == selected_) selected_ = nullptr;
    if (item == previous_) previous_ = nullptr;
}

bool VLTabCtrl::Remove(VLControl* item)
{
    Forget(item);
    return VLContainer::Remove(item);
}

bool VLTabCtrl::RemoveAt(int index)
{
    VLControl* item = GetItemAt(index);
    return item && Remove(item);
}

void VLTabCtrl::RemoveAll()
{
    selected_ = previous_ = nullptr;
    VLContainer::RemoveAll();
}

void VLTabCtrl::SelectItem(VLTabItem* item)
{
    previous_ = selected_;
    selected_ = item;
    if (previous_) previous_->layoutFormat &= ~kFormatTopmost;
    if (selected_) selected_->layoutFormat |= kFormatTopmost;
    if (GetManager()) GetManager()->SendNotify(this, kNotifySelectChanged, 0, 0);
}

} // namespace Velora
