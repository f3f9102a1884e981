#include "ui/core/WindowImplBase.h"

namespace Velora {

namespace {

using Handler = LRESULT (VLWindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);

Handler HandlerFor(UINT message)
{
    switch (message) {
    case WM_DESTROY: return &VLWindowImplBase::OnDestroy;
    case WM_CREATE: return &VLWindowImplBase::OnCreate;
    case WM_COMMAND: return &VLWindowImplBase::OnCommand;
    case WM_NCACTIVATE: return &VLWindowImplBase::OnNcActivate;
    case WM_NCCALCSIZE: return &VLWindowImplBase::OnNcCalcSize;
    case WM_NCPAINT: return &VLWindowImplBase::OnNcPaint;
    case WM_NCHITTEST: return &VLWindowImplBase::OnNcHitTest;
    case WM_SYSCOMMAND: return &VLWindowImplBase::OnSysCommand;
    case WM_SIZE: return &VLWindowImplBase::OnSize;
    case WM_CLOSE: return &VLWindowImplBase::OnClose;
    case WM_GETMINMAXINFO: return &VLWindowImplBase::OnGetMinMaxInfo;
    case WM_MOUSEWHEEL: return &VLWindowImplBase::OnMouseWheel;
    case WM_KILLFOCUS: return &VLWindowImplBase::OnKillFocus;
    case WM_SETFOCUS: return &VLWindowImplBase::OnSetFocus;
    case WM_LBUTTONUP: return &VLWindowImplBase::OnLButtonUp;
    case WM_LBUTTONDOWN: return &VLWindowImplBase::OnLButtonDown;
    case WM_MOUSEMOVE: return &VLWindowImplBase::OnMouseMove;
    case WM_MOUSELEAVE: return &VLWindowImplBase::OnMouseLeave;
    case WM_NCMOUSEMOVE: return &VLWindowImplBase::OnNcMouseMove;
    case WM_NCMOUSELEAVE: return &VLWindowImplBase::OnNcMouseLeave;
    case WM_TIMER: return &VLWindowImplBase::OnTimer;
    case WM_CHAR: return &VLWindowImplBase::OnChar;
    case WM_KEYUP: return &VLWindowImplBase::OnKeyUp;
    case WM_KEYDOWN: return &VLWindowImplBase::OnKeyDown;
    case WM_WINDOWPOSCHANGED: return &VLWindowImplBase::OnWindowPosChanged;
    case VLWindowImplBase::kMsgCustom: return &VLWindowImplBase::OnCustomMessage;
    case WM_DISPLAYCHANGE: return &VLWindowImplBase::OnDisplayChange;
    default: return nullptr;
    }
}

} // namespace

LRESULT VLWindowImplBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool handled = true;
    if (const Handler handler = HandlerFor(message)) {
        const LRESULT result = (this->*handler)(message, wParam, lParam, handled);
        if (handled) return result;
    }
    LRESULT result = 0;
    if (paintManager.MessageHandler(message, wParam, lParam, result)) return result;
    return VLWindowWnd::HandleMessage(message, wParam, lParam);
}

LRESULT VLWindowImplBase::OnMessageDefault(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

#define VL_DEFAULT_HANDLER(name)                                                                                \
    LRESULT VLWindowImplBase::name(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)                   \
    {                                                                                                           \
        return OnMessageDefault(message, wParam, lParam, handled);                                              \
    }
VL_DEFAULT_HANDLER(OnDestroy)
VL_DEFAULT_HANDLER(OnCreate)
VL_DEFAULT_HANDLER(OnCommand)
VL_DEFAULT_HANDLER(OnNcActivate)
VL_DEFAULT_HANDLER(OnNcCalcSize)
VL_DEFAULT_HANDLER(OnNcPaint)
VL_DEFAULT_HANDLER(OnNcHitTest)
VL_DEFAULT_HANDLER(OnSysCommand)
VL_DEFAULT_HANDLER(OnSize)
VL_DEFAULT_HANDLER(OnClose)
VL_DEFAULT_HANDLER(OnGetMinMaxInfo)
VL_DEFAULT_HANDLER(OnMouseWheel)
VL_DEFAULT_HANDLER(OnKillFocus)
VL_DEFAULT_HANDLER(OnSetFocus)
VL_DEFAULT_HANDLER(OnLButtonUp)
VL_DEFAULT_HANDLER(OnLButtonDown)
VL_DEFAULT_HANDLER(OnMouseMove)
VL_DEFAULT_HANDLER(OnMouseLeave)
VL_DEFAULT_HANDLER(OnNcMouseMove)
VL_DEFAULT_HANDLER(OnNcMouseLeave)
VL_DEFAULT_HANDLER(OnTimer)
VL_DEFAULT_HANDLER(OnChar)
VL_DEFAULT_HANDLER(OnKeyUp)
VL_DEFAULT_HANDLER(OnKeyDown)
VL_DEFAULT_HANDLER(OnWindowPosChanged)
VL_DEFAULT_HANDLER(OnCustomMessage)
VL_DEFAULT_HANDLER(OnDisplayChange)
#undef VL_DEFAULT_HANDLER

} // namespace Velora
