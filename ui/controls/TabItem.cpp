#include "ui/controls/TabItem.h"

#include "ui/controls/TabCtrl.h"
#include "ui/core/PaintManager.h"
#include "ui/core/Saturated.h"

#include <algorithm>

namespace Velora {

int VLTabItem::GetClassId() const
{
    return 14;
}

VLControl* VLTabItem::GetInterface(int id)
{
    return id == 14 ? this : VLOption::GetInterface(id);
}

void VLTabItem::ShowChild(VLControl* child, bool show)
{
    if (child) child->SetVisible(show);
}

void VLTabItem::Init()
{
    // Once only: a second window initialisation would stack a second set.
    if (icon_) {
        VLOption::Init();
        return;
    }
    const auto make = [this](bool visible, const std::wstring& attributes, bool buttonEvents,
                             const std::wstring& text = std::wstring()) {
        VLControl* child = new VLControl;
        child->SetText(text);
        Add(child);
        child->SetVisible(visible);
        for (int bit : {kEventMouseEnter, kEventMouseLeave, kEventMouseWheel, kEventKeyUp})
            child->SetDispatch(bit, true);
        if (buttonEvents) {
            for (int bit : {kEventMouseMove, kEventLButtonDown, kEventLButtonUp}) child->SetDispatch(bit, true);
        } else {
            child->SetDispatch(kEventActivate, true);
        }
        if (!attributes.empty()) ApplyAttributeList(attributes, child);
        return child;
    };
    icon_ = make(showIcon_, iconAttributes_, true);
    text_ = make(true, textAttributes_, true, GetText());
    textImage_ = make(true, textImageAttributes_, true);
    expand_ = make(showExpand_, expandAttributes_, false);
    for (int bit : {kEventMouseEnter, kEventMouseWheel, kEventKeyUp}) SetDispatch(bit, true);
    VLOption::Init();
}

void VLTabItem::SetPos(const RECT& rect)
{
    LayoutHorizontal(rect);
}

void VLTabItem::SetText(const std::wstring& text)
{
    if (text != GetText()) {
        VLOption::SetText(text);
        Invalidate();
    }
    if (text_) text_->SetText(text);
}

void VLTabItem::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = value == L"true";
    const auto keepList = [&value](std::wstring& list, VLControl* child) {
        list = value;
        if (child) ApplyAttributeList(list, child);
    };
    if (name == L"controlid") {
        controlId_ = _wtoi(value.c_str());
    } else if (name == L"showicon") {
        showIcon_ = on;
        ShowChild(icon_, on);
    } else if (name == L"showexpand") {
        showExpand_ = on;
        ShowChild(expand_, on);
    } else if (name == L"entershowexpand") {
        expandOnEnter_ = on;
        if (on) ShowChild(expand_, false);
    } else if (name == L"iconattr") {
        keepList(iconAttributes_, icon_);
    } else if (name == L"textattr") {
        keepList(textAttributes_, text_);
    } else if (name == L"textimgattr") {
        keepList(textImageAttributes_, textImage_);
    } else if (name == L"expandattr") {
        keepList(expandAttributes_, expand_);
    } else if (name == L"drag") {
        drag_ = on;
    } else {
        VLOption::SetAttribute(name, value);
    }
}

void VLTabItem::SetSelected(bool selected)
{
    if (GetGroup() == 0 || selected == IsSelected()) return;
    SetSelectedState(selected);
    if (expandOnEnter_) ShowChild(expand_, selected);
    for (VLControl* child : {text_, textImage_}) {
        if (child) child->state = state;
    }
    VLPaintManager* manager = GetManager();
    if (selected && manager) {
        if (const std::vector<VLOption*>* group = manager->GetOptionGroup(GetGroup())) {
            const std::vector<VLOption*> members = *group;
            for (VLOption* other : members) {
                if (other != this) other->SetSelected(false);
            }
        }
        if (owner_) owner_->SelectItem(this);
    }
    Invalidate();
}

void VLTabItem::SetEnabled(bool enabled)
{
    if (enabled == IsEnabled()) return;
    VLControl::SetEnabled(enabled);
    if (!enabled) state = IsSelected() ? uint32_t{kStateSelected} : 0u;
    if (text_) text_->SetEnabled(enabled);
    Invalidate();
}

void VLTabItem::OnMouseEnter(VLControlEvent& event)
{
    if (expandOnEnter_ && !IsSelected()) ShowChild(expand_, true);
    VLControl::OnMouseEnter(event);
}

void VLTabItem::OnMouseLeave(VLControlEvent& event)
{
    if (expandOnEnter_ && !IsSelected()) ShowChild(expand_, false);
    VLControl::OnMouseLeave(event);
}

bool VLTabItem::Activate(VLControlEvent& event)
{
    if (expand_ && event.sender == expand_) {
        if (GetManager()) GetManager()->SendNotify(this, kNotifyTabExpand, 0, 0);
        return false;
    }
    if (event.sender == icon_ || event.sender == text_) event.sender = nullptr;
    return VLOption::Activate(event);
}

void VLTabItem::OnLButtonDown(VLControlEvent& event)
{
    dragging_ = false;
    const RECT pos = GetPos();
    VLContainer* parent = GetParent() ? static_cast<VLContainer*>(GetParent()->GetInterface(4)) : nullptr;
    if (drag_ && parent && PtInRect(&pos, event.ptMouse)) {
        dragSiblings_.clear();
        for (int i = 0; i < parent->GetCount(); ++i) {
            if (parent->GetItemAt(i)->IsVisible()) dragSiblings_.push_back(parent->GetItemAt(i));
        }
        pressPoint_ = event.ptMouse;
        pressRect_ = pos;
    }
    const RECT expandPos = expand_ ? expand_->GetPos() : RECT{};
    const bool onExpand = expand_ && expand_->IsVisible() && PtInRect(&expandPos, event.ptMouse);
    if (!onExpand) Activate(event);
    VLControl::OnLButtonDown(event);
}

int VLTabItem::SlotAt(int x) const
{
    const int slot = (x - GetParent()->GetPos().left) / SlotWidth();
    return std::min(std::max(slot, 0), static_cast<int>(dragSiblings_.size()) - 1);
}

void VLTabItem::OnMouseMove(VLControlEvent& event)
{
    if ((state & kStateCaptured) && drag_ && !dragSiblings_.empty() && event.ptMouse.x >= 0 && event.ptMouse.y >= 0 &&
        (event.ptMouse.x != pressPoint_.x || event.ptMouse.y != pressPoint_.y))
        Drag(event);
    VLControl::OnMouseMove(event);
}

void VLTabItem::Drag(const VLControlEvent& event)
{
    dragging_ = true;
    const int width = pressRect_.right - pressRect_.left;
    const int stripLeft = GetParent()->GetPos().left;
    const int lastLeft =
        Saturated(int64_t{stripLeft} + int64_t{SlotWidth()} * static_cast<int64_t>(dragSiblings_.size()) - 1 - width);
    const int left =
        std::max(stripLeft, std::min(lastLeft, Saturated(int64_t{pressRect_.left} + event.ptMouse.x - pressPoint_.x)));
    SetPos({left, pressRect_.top, Saturated(int64_t{left} + width), pressRect_.bottom});
    const int dropSlot = SlotAt(Saturated(int64_t{left} + width / 2));
    int slot = 0;
    for (VLControl* sibling : dragSiblings_) {
        if (sibling == this) continue;
        if (slot == dropSlot) ++slot;
        const RECT r = sibling->GetPos();
        const int x = Saturated(int64_t{stripLeft} + int64_t{slot} * SlotWidth());
        sibling->SetPos({x, r.top, Saturated(int64_t{x} + r.right - r.left), r.bottom});
        ++slot;
    }
    GetParent()->Invalidate();
}

void VLTabItem::Drop()
{
    VLControl* parent = GetParent();
    const RECT pos = GetPos();
    VLControl* target = dragSiblings_[static_cast<size_t>(SlotAt((pos.left + pos.right) / 2))];
    VLContainer* strip = static_cast<VLContainer*>(parent->GetInterface(4));
    if (target != this && strip) {
        const int index = strip->GetItemIndex(target);
        VLPaintManager* manager = GetManager();
        const LRESULT answer =
            manager ? SendMessageW(manager->GetWindow(), kMsgTabDragged, reinterpret_cast<WPARAM>(this), index) : 0;
        // Moved in place: taking the tab out and in again would drop it from
        // the strip's selection memory.
        if (answer == 0) {
            strip->SetItemIndex(this, index);
            SetSelected(true);
        }
    }
    // Laid out again in every case, so a refused move puts the tabs back.
    parent->MarkForLayout();
    parent->Invalidate();
}

void VLTabItem::OnLButtonUp(VLControlEvent& event)
{
    if (state & kStateCaptured) {
        state &= ~(kStatePushed | kStateCaptured);
        Invalidate();
    }
    if (drag_ && dragging_ && GetParent()) Drop();
    dragging_ = false;
    VLControl::OnLButtonUp(event);
}

} // namespace Velora
