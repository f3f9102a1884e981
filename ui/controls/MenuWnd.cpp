#include "ui/controls/MenuWnd.h"

#include "ui/controls/Menu.h"
#include "ui/controls/MenuElement.h"
#include "ui/controls/PopupPlacement.h"

#include <algorithm>
#include <vector>

namespace Velora {

namespace {

// The live menu windows in order of opening; the UI thread's alone.
std::vector<VLMenuWnd*>& OpenMenus()
{
    static std::vector<VLMenuWnd*> list;
    return list;
}

bool HasAncestor(HWND window, HWND ancestor)
{
    for (HWND up = GetParent(window); up; up = GetParent(up)) {
        if (up == ancestor) return true;
    }
    return false;
}

} // namespace

void VLMenuWnd::CloseMenus(HWND window, int mode)
{
    for (VLMenuWnd* menu : OpenMenus()) {
        if (mode == kCloseAll || (mode == kCloseDescendants && HasAncestor(menu->GetHWND(), window))) menu->Close();
    }
}

bool VLMenuWnd::IsMenuWindow(HWND window)
{
    const auto& list = OpenMenus();
    return window && std::any_of(list.begin(), list.end(), [window](VLMenuWnd* m) { return m->GetHWND() == window; });
}

void VLMenuWnd::Open(VLMenuElement* owner)
{
    OpenMenus().push_back(this);
    owner_ = owner;
    const HWND ownerWindow = owner->GetManager() ? owner->GetManager()->GetWindow() : nullptr;
    if (!Create(ownerWindow, L"", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                CW_USEDEFAULT, CW_USEDEFAULT)) {
        // No window, no final message: nothing else would ever let go.
        OnFinalMessage(nullptr);
        return;
    }
    SetForegroundWindow(GetHWND());
}

LRESULT VLMenuWnd::OnCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    paintManager.Init(GetHWND());
    VLPaintManager::RegisterManager(&paintManager);
    VLPaintManager* ownerManager = owner_->GetManager();
    paintManager.SetRoundCorner(ownerManager->GetRoundCorner());
    paintManager.SetLayered(ownerManager->IsLayered());
    paintManager.SetLayeredAlpha(ownerManager->GetLayeredAlpha());
    const std::wstring defaults = ownerManager->GetDefaultAttributeList(L"Menu");
    root_ = new VLMenu;
    // The items stay the owner's.
    root_->SetAutoDestroy(false);
    root_->SetManager(&paintManager);
    if (!defaults.empty()) {
        paintManager.AddDefaultAttributeList(L"Menu", defaults);
        VLControl::ApplyAttributeList(defaults, root_);
    }
    for (VLControl* item : owner_->GetSubmenuItems()) {
        static_cast<VLMenuElement*>(item)->SetNotifyWindow(notifyWindow_);
        root_->Add(item);
    }
    root_->SetManager(&paintManager);
    paintManager.AttachRoot(root_);
    Place();
    ShowWindow(true, true);
    handled = true;
    return 0;
}

void VLMenuWnd::Place()
{
    const RECT work = GetWorkAreaOf(GetHWND());
    const SIZE available = {work.right - work.left, work.bottom - work.top};
    std::vector<VLPopupItemSize> items;
    for (VLControl* item : owner_->GetSubmenuItems())
        items.push_back({item->MeasureSize(available), item->GetPadding()});
    const RECT element = owner_->GetPos();
    const SIZE size =
        MeasureMenuPopup(items, root_->GetChildPadding(), root_->GetInset(), element.right - element.left);
    const HWND ownerWindow = owner_->GetManager()->GetWindow();
    RECT elementOnScreen = element;
    MapWindowPoints(ownerWindow, nullptr, reinterpret_cast<POINT*>(&elementOnScreen), 2);
    RECT ownerFrame = {};
    GetWindowRect(ownerWindow, &ownerFrame);
    const RECT rect = PlaceMenuPopup(elementOnScreen, ownerFrame, size, work);
    SetWindowPos(GetHWND(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT VLMenuWnd::OnCommand(UINT, WPARAM wParam, LPARAM lParam, bool& handled)
{
    const HWND parent = GetParent(GetHWND());
    if (owner_)
        SendMessageW(parent, WM_COMMAND, wParam, lParam);
    else
        PostMessageW(parent, WM_COMMAND, wParam, lParam);
    handled = true;
    return 0;
}

LRESULT VLMenuWnd::OnKillFocus(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    // Focus moving between the open menus closes nothing.
    handled = !IsMenuWindow(reinterpret_cast<HWND>(wParam));
    if (handled) CloseMenus(GetHWND(), kCloseAll);
    return 0;
}

LRESULT VLMenuWnd::OnKeyDown(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    if (wParam == VK_ESCAPE) Close();
    handled = false;
    return 0;
}

LRESULT VLMenuWnd::OnClose(UINT, WPARAM, LPARAM, bool& handled)
{
    const bool focused = GetFocus() == GetHWND();
    if (owner_) {
        ReturnItems();
        owner_->SetPos(owner_->GetPos());
        // Only the popup that has the keyboard focus hands it back.
        if (focused) owner_->SetFocus();
    }
    handled = !focused;
    // A popup without the focus goes at once: the manager's close handling
    // would pull the focus to it and to its owner window, away from the menu
    // that has it, and so close every menu.
    if (handled) DestroyWindow(GetHWND());
    return 0;
}

void VLMenuWnd::ReturnItems()
{
    // The owner's manager and parent reach its items again, so none of them
    // points at this window's manager or at the root that goes with it.
    owner_->SetManager(owner_->GetManager());
    owner_->SetParent(owner_->GetParent());
}

void VLMenuWnd::OnFinalMessage(HWND)
{
    auto& list = OpenMenus();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (owner_) {
        ReturnItems();
        owner_->ForgetSubmenuWindow();
    }
    delete this;
}

} // namespace Velora
