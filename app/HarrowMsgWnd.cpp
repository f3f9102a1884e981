#include "app/HarrowMsgWnd.h"

#include "app/AppString.h"
#include "app/HarrowMsgWndIds.h"
#include "ui/core/Control.h"
#include "ui/core/MarkupBuilder.h"

namespace Velora {

void BuildSkinnedWindow(VLWindowImplBase& window, const wchar_t* markupWindow)
{
    const HWND hwnd = window.GetHWND();
    window.SetIcon();
    SetWindowLongW(hwnd, GWL_STYLE, GetWindowLongW(hwnd, GWL_STYLE) & ~WS_CAPTION);
    VLPaintManager& manager = window.paintManager;
    manager.Init(hwnd);
    VLPaintManager::RegisterManager(&manager);
    VLMarkupBuilder builder;
    manager.AttachRoot(
        builder.Create(MAKEINTRESOURCEW(kSkinMarkupId), L"XML", markupWindow, kMarkupResource, &manager));
    manager.AddNotifier(&window);
    SetWindowPos(hwnd, nullptr, 0, 0, manager.GetMinInfo().cx, manager.GetMinInfo().cy, SWP_NOMOVE | SWP_NOZORDER);
    window.CenterWindow();
}

VLHarrowMsgWnd::VLHarrowMsgWnd(HWND owner)
{
    Create(owner, LoadAppString(kStringPromptTitle).c_str(), WS_POPUP | WS_CAPTION,
           WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
}

LRESULT VLHarrowMsgWnd::OnCreate(UINT, WPARAM, LPARAM, bool&)
{
    BuildSkinnedWindow(*this, L"HarrowMsgWnd");
    return 0;
}

LRESULT VLHarrowMsgWnd::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

LRESULT VLHarrowMsgWnd::OnNcPaint(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

void VLHarrowMsgWnd::Notify(VLNotifyMsg& msg)
{
    if (msg.type != kNotifyClick || !msg.sender) return;
    const int id = msg.sender->GetId();
    if (id != kPromptClose && id != kPromptOk) return;
    confirmed_ = id == kPromptOk;
    Close();
}

} // namespace Velora
