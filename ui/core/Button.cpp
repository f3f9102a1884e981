#include "ui/core/Button.h"

#include "ui/core/Notify.h"

namespace Velora {

VLButton::VLButton()
{
    SetNotify(kNotifyClick, true);
    SetFlag(kFlagTabStop, true);
}

int VLButton::GetClassId() const
{
    return 5;
}

VLControl* VLButton::GetInterface(int id)
{
    return id == 5 ? this : VLLabel::GetInterface(id);
}

void VLButton::OnSetCursor(VLControlEvent&)
{
    ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
}

void VLButton::OnLButtonDblClk(VLControlEvent& event)
{
    OnLButtonDown(event);
}

} // namespace Velora
