#include "ui/controls/Combo.h"

#include "ui/controls/ComboElement.h"
#include "ui/controls/ComboWnd.h"
#include "ui/core/PaintManager.h"

#include <cwchar>

namespace Velora {

namespace {

// Two numbers separated by one character, as "200,300".
SIZE ReadPair(const std::wstring& value)
{
    wchar_t* end = nullptr;
    SIZE pair = {static_cast<LONG>(wcstol(value.c_str(), &end, 10)), 0};
    if (*end) pair.cy = static_cast<LONG>(wcstol(end + 1, nullptr, 10));
    return pair;
}

} // namespace

VLCombo::~VLCombo()
{
    // The pop-up gives the items back and lets go of this combo first.
    if (dropWindow_) DestroyWindow(dropWindow_->GetHWND());
    if (IsAutoDestroy()) {
        for (VLControl* item : items_) delete item;
    }
}

int VLCombo::GetClassId() const
{
    return 16;
}

VLControl* VLCombo::GetInterface(int id)
{
    return id == 16 ? this : VLContainer::GetInterface(id);
}

bool VLCombo::Add(VLControl* item)
{
    return AddAt(item, static_cast<int>(items_.size()));
}

bool VLCombo::AddAt(VLControl* item, int index)
{
    VLComboElement* element = item ? static_cast<VLComboElement*>(item->GetInterface(17)) : nullptr;
    if (!element) return VLContainer::AddAt(item, index);
    element->SetOwner(this);
    const size_t at = index < 0 ? 0 : std::min(static_cast<size_t>(index), items_.size());
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), element);
    return true;
}

void VLCombo::Init()
{
    SelectItem(0);
}

bool VLCombo::SelectItem(int index)
{
    if (dropWindow_) dropWindow_->Close();
    if (index < 0 || items_.empty()) return false;
    if (index >= static_cast<int>(items_.size())) index = static_cast<int>(items_.size()) - 1;
    if (index == current_) return true;
    VLControl* item = items_[static_cast<size_t>(index)];
    if (!item->IsVisible() || !item->IsEnabled()) return false;
    const int previous = current_;
    current_ = index;
    if (dropWindow_) item->SetFocus();
    Invalidate();
    if (GetManager()) GetManager()->SendNotify(this, kNotifyItemSelect, static_cast<WPARAM>(index), previous);
    return true;
}

bool VLCombo::Activate(VLControlEvent& event)
{
    if (!VLContainer::Activate(event)) return false;
    if (!dropWindow_) {
        dropWindow_ = new VLComboWnd;
        dropWindow_->Init(this);
        if (GetManager()) GetManager()->SendNotify(this, kNotifyDropDown, 0, 0);
    }
    Invalidate();
    return true;
}

void VLCombo::OnLButtonDown(VLControlEvent& event)
{
    const RECT pos = GetPos();
    if (PtInRect(&pos, event.ptMouse) && IsEnabled()) {
        state |= kStatePushed;
        Invalidate();
        Activate(event);
    }
    if (GetManager() && HasNotify(kNotifyLButtonDown))
        GetManager()->SendNotify(this, kNotifyLButtonDown, event.wParam, event.lParam);
    if (GetParent() && HasDispatch(kEventLButtonDown)) {
        event.forwarder = this;
        GetParent()->OnLButtonDown(event);
    }
}

void VLCombo::OnLButtonUp(VLControlEvent& event)
{
    if (GetManager() && HasNotify(kNotifyLButtonUp))
        GetManager()->SendNotify(this, kNotifyLButtonUp, event.wParam, event.lParam);
    if (GetParent() && HasDispatch(kEventLButtonUp)) {
        event.forwarder = this;
        GetParent()->OnLButtonUp(event);
    }
}

void VLCombo::OnKeyDown(VLControlEvent& event)
{
    switch (event.key) {
    case VK_PRIOR:
    case VK_UP: SelectItem(current_ - 1); break;
    case VK_NEXT:
    case VK_DOWN: SelectItem(current_ + 1); break;
    case VK_HOME: SelectItem(0); break;
    case VK_END: SelectItem(static_cast<int>(items_.size())); break;
    case VK_F4: Activate(event); break;
    default: VLContainer::OnKeyDown(event);
    }
}

void VLCombo::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"dropbox")
        dropBoxAttributes_ = value;
    else if (name == L"dropboxsize")
        dropBoxSize_ = ReadPair(value);
    else if (name == L"dropboxroundcorner")
        dropBoxRoundCorner_ = ReadPair(value);
    else if (name == L"dropboxlayeredwindow")
        layeredDropBox_ = value == L"true";
    else
        VLContainer::SetAttribute(name, value);
}

} // namespace Velora
