// How a control reacts to the events its manager hands it: its own look
// (hot, pushed, captured, focused), notifications to the window when its
// "notify" set asks for them, and the same event passed to its parent when
// its "dispatch" set asks for that.
#include "ui/core/Control.h"

#include "ui/core/AnimationManager.h"
#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

namespace Velora {

void VLControl::PassToParent(VLControlEvent& event, int type, void (VLControl::*handler)(VLControlEvent&))
{
    if (!parent_ || !HasDispatch(type)) return;
    event.forwarder = this;
    (parent_->*handler)(event);
}

void VLControl::SendNotifyIf(int type, const VLControlEvent& event)
{
    if (manager_ && HasNotify(type)) manager_->SendNotify(this, type, event.wParam, event.lParam);
}

bool VLControl::IsInside(const VLControlEvent& event) const { return PtInRect(&pos_, event.ptMouse) != FALSE; }

// The text rolls while the mouse is over the text area of an "enterrolltext"
// control.
void VLControl::CheckRollText(const VLControlEvent& event)
{
    if (!manager_ || !HasFlag(kFlagEnterRollText)) return;
    const RECT area = Saturated(pos_, textPadding[kTextNormal]);
    if (PtInRect(&area, event.ptMouse))
        manager_->GetAnimations().StartAnimation(this, kEffectRollText);
    else
        manager_->GetAnimations().StopAnimation(this, kEffectRollText);
}

void VLControl::DoEvent(VLControlEvent& event)
{
    static void (VLControl::*const handlers[])(VLControlEvent&) = {
        &VLControl::OnKeyDown,     &VLControl::OnKeyUp,       &VLControl::OnChar,
        &VLControl::OnSysKeyDown,  &VLControl::OnMouseMove,   &VLControl::OnMouseLeave,
        &VLControl::OnMouseEnter,  &VLControl::OnMouseHover,  &VLControl::OnMouseWheel,
        &VLControl::OnLButtonDown, &VLControl::OnLButtonUp,   &VLControl::OnRButtonDown,
        &VLControl::OnLButtonDblClk, &VLControl::OnContextMenu, &VLControl::OnKillFocus,
        &VLControl::OnSetFocus,    &VLControl::OnSetCursor,   &VLControl::OnTimer};
    if (event.type < kEventKeyDown || event.type > kEventTimer) return;
    (this->*handlers[event.type - 1])(event);
}

void VLControl::OnKeyDown(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    if ((event.key == VK_SPACE || event.key == VK_RETURN) && spaceReturn) Activate(event);
    PassToParent(event, kEventKeyDown, &VLControl::OnKeyDown);
}

void VLControl::OnKeyUp(VLControlEvent& event)
{
    if (IsEnabled()) PassToParent(event, kEventKeyUp, &VLControl::OnKeyUp);
}

void VLControl::OnChar(VLControlEvent& event)
{
    if (IsEnabled()) PassToParent(event, kEventChar, &VLControl::OnChar);
}

void VLControl::OnSysKeyDown(VLControlEvent& event)
{
    if (IsEnabled()) PassToParent(event, kEventSysKeyDown, &VLControl::OnSysKeyDown);
}

void VLControl::OnMouseMove(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    CheckRollText(event);
    if (state & kStateCaptured) {
        const bool pushed = (state & kStatePushed) != 0;
        if (IsInside(event) != pushed) {
            state ^= kStatePushed;
            Invalidate();
        }
    }
    PassToParent(event, kEventMouseMove, &VLControl::OnMouseMove);
}

void VLControl::OnMouseLeave(VLControlEvent& event)
{
    if (state & kStateHot) {
        state &= ~kStateHot;
        Invalidate();
    }
    if (manager_ && HasFlag(kFlagEnterRollText)) manager_->GetAnimations().StopAnimation(this, kEffectRollText);
    SendNotifyIf(kNotifyMouseLeave, event);
    PassToParent(event, kEventMouseLeave, &VLControl::OnMouseLeave);
}

void VLControl::OnMouseEnter(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    if (IsInside(event) && !(state & kStateHot)) {
        state |= kStateHot;
        Invalidate();
    }
    CheckRollText(event);
    SendNotifyIf(kNotifyMouseEnter, event);
    PassToParent(event, kEventMouseEnter, &VLControl::OnMouseEnter);
}

void VLControl::OnMouseHover(VLControlEvent& event)
{
    SendNotifyIf(kNotifyMouseHover, event);
    PassToParent(event, kEventMouseHover, &VLControl::OnMouseHover);
}

void VLControl::OnMouseWheel(VLControlEvent& event)
{
    if (!parent_ || !HasDispatch(kEventMouseWheel)) return;
    // The parent scrolls either way; only an enabled child names itself.
    event.forwarder = IsEnabled() ? this : nullptr;
    parent_->OnMouseWheel(event);
}

void VLControl::OnLButtonDown(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    if (IsInside(event)) {
        state |= kStatePushed | kStateCaptured;
        Invalidate();
    }
    SendNotifyIf(kNotifyLButtonDown, event);
    PassToParent(event, kEventLButtonDown, &VLControl::OnLButtonDown);
}

void VLControl::OnLButtonUp(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    if (state & kStateCaptured) {
        state &= ~(kStatePushed | kStateCaptured);
        Invalidate();
        // A button up passed up from a child is not a click on the parent.
        if (IsInside(event) && !event.forwarder) Activate(event);
    }
    SendNotifyIf(kNotifyLButtonUp, event);
    PassToParent(event, kEventLButtonUp, &VLControl::OnLButtonUp);
}

void VLControl::OnRButtonDown(VLControlEvent& event)
{
    SendNotifyIf(kNotifyRButtonDown, event);
    PassToParent(event, kEventRButtonDown, &VLControl::OnRButtonDown);
}

void VLControl::OnLButtonDblClk(VLControlEvent& event)
{
    if (!IsEnabled()) return;
    SendNotifyIf(kNotifyLButtonDblClk, event);
    PassToParent(event, kEventLButtonDblClk, &VLControl::OnLButtonDblClk);
}

void VLControl::OnContextMenu(VLControlEvent& event)
{
    if (IsInside(event) && IsEnabled()) SendNotifyIf(kNotifyContextMenu, event);
    PassToParent(event, kEventContextMenu, &VLControl::OnContextMenu);
}

void VLControl::OnKillFocus(VLControlEvent& event)
{
    focused_ = false;
    Invalidate();
    SendNotifyIf(kNotifyKillFocus, event);
    PassToParent(event, kEventKillFocus, &VLControl::OnKillFocus);
}

void VLControl::OnSetFocus(VLControlEvent& event)
{
    focused_ = true;
    Invalidate();
    SendNotifyIf(kNotifySetFocus, event);
    PassToParent(event, kEventSetFocus, &VLControl::OnSetFocus);
}

void VLControl::OnSetCursor(VLControlEvent& event)
{
    ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    PassToParent(event, kEventSetCursor, &VLControl::OnSetCursor);
}

void VLControl::OnTimer(VLControlEvent& event) { PassToParent(event, kEventTimer, &VLControl::OnTimer); }

bool VLControl::Activate(VLControlEvent& event)
{
    if (!IsVisible() || !IsEnabled()) return false;
    if (parent_ && HasDispatch(kEventActivate)) {
        event.forwarder = this;
        parent_->Activate(event);
    }
    if (manager_ && HasNotify(kNotifyClick)) manager_->SendNotify(this, kNotifyClick, 0, 0);
    return true;
}

} // namespace Velora
