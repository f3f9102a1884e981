#include "ui/controls/ComboWnd.h"

#include "ui/controls/Combo.h"
#include "ui/controls/PopupPlacement.h"
#include "ui/core/Option.h"

namespace Velora {

namespace {

VLOption* AsOption(VLControl* item)
{
    return static_cast<VLOption*>(item->GetInterface(9));
}

} // namespace

void VLComboWnd::Init(VLCombo* combo)
{
    owner_ = combo;
    current_ = combo->GetCurSel();
    pendingList_ = std::make_unique<VLVerticalLayout>();
    list_ = pendingList_.get();
    VLControl::ApplyAttributeList(combo->GetDropBoxAttributes(), list_);
    std::vector<int> heights;
    for (VLControl* item : combo->GetItems()) heights.push_back(item->GetFixedHeight());
    RECT rect = PlaceComboPopup(combo->GetPos(), combo->GetDropBoxSize(),
                                MeasureComboList(heights, list_->GetInset(), list_->GetChildPadding()));
    const HWND comboWindow = combo->GetManager() ? combo->GetManager()->GetWindow() : nullptr;
    MapWindowPoints(comboWindow, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    if (!Create(comboWindow, L"", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top)) {
        // No window, no final message: nothing else would ever let go.
        OnFinalMessage(nullptr);
        return;
    }
    HWND topLevel = GetHWND();
    while (GetParent(topLevel)) topLevel = GetParent(topLevel);
    ::ShowWindow(GetHWND(), SW_SHOW);
    // The window the combo lives in keeps its active caption.
    SendMessageW(topLevel, WM_NCACTIVATE, TRUE, 0);
}

void VLComboWnd::OnCreate()
{
    const SIZE corner = owner_->GetDropBoxRoundCorner();
    paintManager_.SetRoundCorner(corner);
    paintManager_.Init(GetHWND());
    VLPaintManager::RegisterManager(&paintManager_);
    paintManager_.SetLayered(owner_->IsDropBoxLayered());
    // The items stay the combo's.
    list_->SetAutoDestroy(false);
    list_->SetManager(&paintManager_);
    list_->EnableScrollBar(true, false);
    if (VLPaintManager* comboManager = owner_->GetManager()) {
        const std::wstring barList = comboManager->GetDefaultAttributeList(L"ComboScrollBar");
        if (!barList.empty()) VLControl::ApplyAttributeList(barList, list_->GetVerticalScrollBar());
    }
    paintManager_.AttachRoot(pendingList_.release());
    int lastSelected = -1;
    for (VLControl* item : owner_->GetItems()) {
        VLOption* option = AsOption(item);
        // Out of its old group while the combo's manager still holds it.
        if (option->GetGroup() != kComboPopupGroup) option->SetGroup(0);
        list_->Add(item);
        option->SetGroup(kComboPopupGroup);
        if (option->IsSelected()) lastSelected = list_->GetItemIndex(item);
    }
    if (lastSelected < 0 && list_->GetCount() != 0) {
        VLControl* item = list_->GetItemAt(current_ >= 0 && current_ < list_->GetCount() ? current_ : 0);
        AsOption(item)->SetSelected(true);
    }
    if (paintManager_.IsLayered()) paintManager_.RedrawLayeredWindow(paintManager_.GetLayeredAlpha());
}

void VLComboWnd::OnDestroy()
{
    for (int i = 0; i < list_->GetCount(); ++i) {
        VLControl* item = list_->GetItemAt(i);
        item->SetParent(nullptr);
        AsOption(item)->SetGroup(0);
        item->SetManager(owner_->GetManager());
    }
    list_->RemoveAll();
}

void VLComboWnd::OnKey(WPARAM key)
{
    const int count = list_->GetCount();
    int selected = -1;
    for (int i = 0; i < count && selected < 0; ++i) {
        if (AsOption(list_->GetItemAt(i))->IsSelected()) selected = i;
    }
    int target = -1;
    switch (key) {
    case VK_PRIOR:
    case VK_UP: target = selected > 0 ? selected - 1 : -1; break;
    case VK_NEXT:
    case VK_DOWN: target = selected >= 0 && selected + 1 < count ? selected + 1 : -1; break;
    case VK_END: target = count - 1; break;
    case VK_HOME: target = count > 0 ? 0 : -1; break;
    case VK_F4:
        for (int i = 0; i < count; ++i) {
            VLControl* item = list_->GetItemAt(i);
            if (!AsOption(item)->IsSelected()) continue;
            VLControlEvent event = {};
            item->Activate(event);
        }
        break;
    default: break;
    }
    if (target >= 0) AsOption(list_->GetItemAt(target))->SetSelected(true);
}

LRESULT VLComboWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_DESTROY: OnDestroy(); return VLWindowWnd::HandleMessage(message, wParam, lParam);
    case WM_KILLFOCUS:
        if (reinterpret_cast<HWND>(wParam) != GetHWND()) PostMessageW(GetHWND(), WM_CLOSE, 0, 0);
        return VLWindowWnd::HandleMessage(message, wParam, lParam);
    case WM_KEYDOWN:
        if (wParam >= VK_PRIOR && wParam <= VK_F4) {
            OnKey(wParam);
            return 0;
        }
        break;
    default: break;
    }
    LRESULT result = 0;
    if (paintManager_.MessageHandler(message, wParam, lParam, result)) return result;
    return VLWindowWnd::HandleMessage(message, wParam, lParam);
}

void VLComboWnd::OnFinalMessage(HWND)
{
    owner_->state &= ~kStatePushed;
    owner_->Invalidate();
    owner_->ForgetDropWindow();
    delete this;
}

} // namespace Velora
