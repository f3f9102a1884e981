#include "ui/controls/MenuElement.h"

#include "ui/controls/MenuWnd.h"
#include "ui/core/PaintManager.h"

namespace Velora {

VLMenuElement::~VLMenuElement()
{
    // Its final message gives the items back while they still exist.
    if (submenu_) DestroyWindow(submenu_->GetHWND());
}

int VLMenuElement::GetClassId() const
{
    return 3;
}

VLControl* VLMenuElement::GetInterface(int id)
{
    return id == 3 ? this : VLOption::GetInterface(id);
}

bool IsMenuElement(VLControl* item)
{
    return item && item->GetInterface(3);
}

HWND VLMenuElement::ManagerWindow() const
{
    return GetManager() ? GetManager()->GetWindow() : nullptr;
}

std::vector<VLControl*> VLMenuElement::GetSubmenuItems() const
{
    std::vector<VLControl*> items;
    for (int i = 0; i < GetCount(); ++i) {
        if (IsMenuElement(GetItemAt(i))) items.push_back(GetItemAt(i));
    }
    return items;
}

VLControl* VLMenuElement::FindControl(VLFindControlProc proc, void* data, uint32_t flags)
{
    if ((flags & kFindVisible) && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) && !IsEnabled()) return nullptr;
    const RECT pos = GetPos();
    if ((flags & kFindHitTest) && !PtInRect(&pos, *static_cast<const POINT*>(data))) return nullptr;
    if (flags & kFindMeFirst) {
        if (VLControl* found = VLControl::FindControl(proc, data, flags)) return found;
    }
    for (int i = 0; i < GetCount(); ++i) {
        VLControl* item = GetItemAt(i);
        if (IsMenuElement(item)) continue;
        if (VLControl* found = item->FindControl(proc, data, flags)) return found;
    }
    return VLControl::FindControl(proc, data, flags);
}

void VLMenuElement::Paint(HDC hdc, const RECT& paint)
{
    const RECT pos = GetPos();
    RECT meets;
    if (!IsVisible() || !IntersectRect(&meets, &paint, &pos)) return;
    VLControl::Paint(hdc, paint);
    for (int i = 0; i < GetCount(); ++i) {
        if (!IsMenuElement(GetItemAt(i))) GetItemAt(i)->Paint(hdc, paint);
    }
}

void VLMenuElement::OpenSubMenu()
{
    if (submenu_) return;
    // Leaves report straight to the window that is told of this element's
    // clicks: a popup between them is closed before a posted command would
    // reach it.
    submenu_ = new VLMenuWnd(notifyWindow_ ? notifyWindow_ : ManagerWindow());
    VLMenuWnd::CloseMenus(ManagerWindow(), VLMenuWnd::kCloseDescendants);
    submenu_->Open(this);
}

void VLMenuElement::OnMouseEnter(VLControlEvent& event)
{
    VLControl::OnMouseEnter(event);
    if (submenu_) return;
    if (!GetSubmenuItems().empty() && IsEnabled())
        OpenSubMenu();
    else
        VLMenuWnd::CloseMenus(ManagerWindow(), VLMenuWnd::kCloseDescendants);
}

void VLMenuElement::OnLButtonUp(VLControlEvent& event)
{
    // The press the control's handling recorded ends here, or the element
    // would keep looking pushed.
    if (state & kStateCaptured) {
        state &= ~(kStatePushed | kStateCaptured);
        Invalidate();
    }
    const RECT pos = GetPos();
    if (!IsEnabled() || submenu_ || !PtInRect(&pos, event.ptMouse)) return;
    if (!GetSubmenuItems().empty())
        OpenSubMenu();
    else
        VLMenuWnd::CloseMenus(ManagerWindow(), VLMenuWnd::kCloseAll);
    PostMessageW(notifyWindow_, WM_COMMAND, static_cast<WPARAM>(GetId()), 0);
}

} // namespace Velora
