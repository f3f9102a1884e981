#include "ui/controls/ComboElement.h"

#include "ui/controls/Combo.h"

namespace Velora {

int VLComboElement::GetClassId() const
{
    return 17;
}

VLControl* VLComboElement::GetInterface(int id)
{
    return id == 17 ? this : VLOption::GetInterface(id);
}

void VLComboElement::OnMouseMove(VLControlEvent& event)
{
    if (!IsSelected()) SetSelected(true);
    VLControl::OnMouseMove(event);
}

bool VLComboElement::Activate(VLControlEvent& event)
{
    VLContainer* list = GetParent() ? static_cast<VLContainer*>(GetParent()->GetInterface(4)) : nullptr;
    if (owner_) owner_->SelectItem(list ? list->GetItemIndex(this) : -1);
    OnMouseLeave(event);
    return true;
}

} // namespace Velora
