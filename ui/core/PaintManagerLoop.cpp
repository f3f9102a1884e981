// The process's one message loop and the keys every skinned window takes
// before a message is translated: a hosted object's accelerators, Tab moves
// focus between controls, Alt combinations reach the focused control.
#include "ui/core/PaintManager.h"

namespace Velora {

int VLPaintManager::MessageLoop()
{
    MSG msg = {};
    // GetMessage answers -1 for a failure that repeats forever: the loop
    // ends on it as on WM_QUIT.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslateAll(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}

bool VLPaintManager::PreTranslateAll(MSG& msg)
{
    const HWND parent = GetParent(msg.hwnd);
    const LONG style = GetWindowLongW(msg.hwnd, GWL_STYLE);
    const auto& list = ManagerList();
    // A handler may open or close a window: the length is read every step.
    for (size_t i = 0; i < list.size(); ++i) {
        VLPaintManager* manager = list[i];
        // A focused control that hosts the window with the keyboard focus
        // (an ActiveX control) sees its accelerators first; what it takes
        // goes no further.
        if (manager->root_ && manager->focus_ && ::GetFocus() == msg.hwnd &&
            manager->FindControlByWindow(msg.hwnd) == manager->focus_ && manager->focus_->TranslateAccelerator(msg))
            return true;
        if (msg.hwnd != manager->window_ && !((style & WS_CHILD) && parent == manager->window_)) continue;
        if (manager->PreTranslate(msg.message, msg.wParam, msg.lParam)) return true;
    }
    return false;
}

bool VLPaintManager::PreTranslate(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_TAB) {
        if (focus_ && focus_->IsVisible() && focus_->IsEnabled() && focus_->WantsTab()) return false;
        MoveFocusByTab(GetKeyState(VK_SHIFT) >= 0);
        return true;
    }
    if (message == WM_SYSKEYDOWN && focus_) {
        VLControlEvent event = MakeEvent(kEventSysKeyDown, nullptr, lastMouse_);
        event.key = LOWORD(wParam);
        event.keyState = GetKeyStateMask();
        focus_->DoEvent(event);
    }
    return false;
}

} // namespace Velora
