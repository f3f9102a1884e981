// How a skinned window's messages become layout, painting, window shape and
// sizing answers, and events for its controls: the window base offers every
// message here after its own handlers and before the default procedure.
#include "ui/core/PaintManager.h"

#include "ui/core/RenderEngine.h"
#include "ui/core/UIResources.h"

#include <algorithm>
#include <cstdlib>

namespace Velora {

namespace {

// The tooltip's class lives in the common controls, loaded for the first
// tooltip and kept: most windows never show one, and loading them at start
// costs time and a megabyte of memory.
bool LoadCommonControls()
{
    static const bool loaded = LoadLibraryW(L"comctl32.dll") != nullptr;
    return loaded;
}

// Native child windows answer reflected messages at their number plus this.
constexpr UINT kReflectOffset = 0x2000;

bool IsEmpty(const RECT& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

// The control's rectangle less its "cut" insets holds the point, or it has no
// insets at all.
bool InsideCut(const VLControl* control, POINT point)
{
    const RECT cut = control->GetCut();
    if (IsEmpty(cut)) return true;
    const RECT pos = control->GetPos();
    const RECT inner = {pos.left + cut.left, pos.top + cut.top, pos.right - cut.right, pos.bottom - cut.bottom};
    return PtInRect(&inner, point) != FALSE;
}

} // namespace

BYTE LayeredAlpha(int percent)
{
    if (percent < 0 || percent > 100) percent = 100;
    return static_cast<BYTE>(percent * 255 / 100);
}

VLControlEvent VLPaintManager::MakeEvent(int32_t type, VLControl* sender, POINT point)
{
    VLControlEvent event;
    event.type = type;
    event.sender = sender;
    event.ptMouse = point;
    event.timestamp = GetTickCount();
    return event;
}

bool VLPaintManager::OwnsControl(const VLControl* control) const
{
    return control && control->GetManager() == this;
}

bool VLPaintManager::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (!window_) return false;
    // A filter may add or remove filters: the length is read again each time.
    for (size_t i = 0; i < messageFilters_.size(); ++i) {
        bool handled = false;
        const LRESULT answer = messageFilters_[i]->MessageFilter(message, wParam, lParam, handled);
        if (handled) {
            result = answer;
            return true;
        }
    }
    switch (message) {
    case WM_SIZE:
        OnSize();
        return true;
    case WM_KILLFOCUS:
        if (wParam) {
            if (VLControl* control = FindControlByWindow(reinterpret_cast<HWND>(wParam))) {
                VLControlEvent event;
                control->OnSetFocus(event);
                focus_ = control;
            }
        }
        return false;
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_CLOSE:
        OnClose();
        return false;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_SETCURSOR:
        return OnSetCursor(wParam, lParam);
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return false;
    case WM_CONTEXTMENU: {
        POINT point = PointOf(lParam);
        ScreenToClient(window_, &point);
        lastMouse_ = point;
        if (rightPressed_) {
            ReleaseMouse();
            VLControlEvent event = MakeEvent(kEventContextMenu, nullptr, point);
            event.keyState = LOWORD(wParam);
            event.lParam = reinterpret_cast<LPARAM>(rightPressed_);
            VLControl* target = rightPressed_;
            rightPressed_ = nullptr;
            target->DoEvent(event);
        }
        return false;
    }
    case WM_NCHITTEST:
        return OnNcHitTest(lParam, result);
    case WM_NCMOUSEMOVE:
        if (!ncLeaveTracked_) {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE | TME_NONCLIENT, window_, 0};
            TrackMouseEvent(&track);
            ncLeaveTracked_ = true;
        }
        return false;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        OnKey(message, wParam);
        return false;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        // Native child windows answer their own notifications and colours.
        if (!lParam) return false;
        result = SendMessageW(reinterpret_cast<HWND>(lParam), message + kReflectOffset, wParam, lParam);
        return true;
    case WM_TIMER:
        OnTimerMessage(wParam);
        return false;
    case WM_MOUSEMOVE:
        OnMouseMove(PointOf(lParam));
        return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
        OnButtonDown(message, wParam, lParam);
        return false;
    case WM_LBUTTONUP:
        lastMouse_ = PointOf(lParam);
        if (pressed_) {
            ReleaseMouse();
            VLControlEvent event = MakeEvent(kEventLButtonUp, nullptr, lastMouse_);
            event.keyState = LOWORD(wParam);
            event.wParam = wParam;
            event.lParam = lParam;
            VLControl* target = pressed_;
            pressed_ = nullptr;
            target->DoEvent(event);
        }
        return false;
    case WM_MOUSEWHEEL:
        OnWheel(wParam, lParam);
        return false;
    case WM_MOUSEHOVER:
        return OnMouseHover(PointOf(lParam));
    case WM_NCMOUSELEAVE:
        // Sent while the flag is still set, so it arms no new tracking.
        if (ncLeaveTracked_) SendMessageW(window_, WM_NCMOUSEMOVE, 0, -1);
        ncLeaveTracked_ = false;
        return false;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return false;
    case kMsgDelayedDelete:
        FlushDelayedDelete();
        return false;
    default:
        return false;
    }
}

void VLPaintManager::OnClose()
{
    const POINT point = lastMouse_;
    // Each control is read at its turn: a handler may destroy another one.
    if (hover_) {
        VLControlEvent event = MakeEvent(kEventMouseLeave, hover_, point);
        hover_->DoEvent(event);
    }
    if (pressed_) {
        VLControlEvent event = MakeEvent(kEventLButtonUp, pressed_, point);
        pressed_->DoEvent(event);
    }
    if (rightPressed_) {
        VLControlEvent event = MakeEvent(kEventContextMenu, rightPressed_, point);
        rightPressed_->DoEvent(event);
    }
    SetFocus(nullptr);
    if (HWND owner = ::GetWindow(window_, GW_OWNER)) ::SetFocus(owner);
}

bool VLPaintManager::OnSetCursor(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(lParam) != HTCLIENT) return false;
    // A control holding the capture keeps the cursor it chose.
    if (captured_) return true;
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    VLControl* control = FindControlAt(point);
    if (!control || !control->HasFlag(kFlagSetCursor)) return false;
    VLControlEvent event = MakeEvent(kEventSetCursor, nullptr, point);
    event.keyState = GetKeyStateMask();
    event.wParam = wParam;
    event.lParam = lParam;
    control->DoEvent(event);
    return true;
}

void VLPaintManager::OnKey(UINT message, WPARAM wParam)
{
    VLControl* target = message == WM_KEYUP ? keyDown_ : focus_;
    if (!target) return;
    const int32_t type = message == WM_KEYDOWN ? kEventKeyDown : message == WM_KEYUP ? kEventKeyUp : kEventChar;
    VLControlEvent event = MakeEvent(type, nullptr, lastMouse_);
    event.key = LOWORD(wParam);
    event.keyState = GetKeyStateMask();
    if (message == WM_KEYDOWN) keyDown_ = target;
    if (message == WM_KEYUP) keyDown_ = nullptr;
    target->DoEvent(event);
}

void VLPaintManager::OnTimerMessage(WPARAM wParam)
{
    animations_.OnTimer(static_cast<uint32_t>(wParam));
    // Every matching entry gets the tick; a handler may kill timers, so the
    // walk goes by index over a list that may shrink.
    const uint32_t windowId = LOWORD(wParam);
    for (size_t i = 0; i < timers_.size(); ++i) {
        const VLTimerInfo& timer = *timers_[i];
        if (timer.window != window_ || timer.windowId != windowId) continue;
        VLControlEvent event = MakeEvent(kEventTimer, nullptr, POINT{0, 0});
        event.wParam = timer.controlId;
        timer.control->DoEvent(event);
    }
}

void VLPaintManager::OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam)
{
    ::SetFocus(window_);
    lastMouse_ = PointOf(lParam);
    VLControl* control = FindControlAt(lastMouse_);
    if (!OwnsControl(control)) return;
    if (message != WM_LBUTTONDBLCLK) control->SetFocus();
    CaptureMouse();
    VLControlEvent event = MakeEvent(kEventLButtonDown, nullptr, lastMouse_);
    event.keyState = LOWORD(wParam);
    if (message == WM_LBUTTONDBLCLK) {
        event.type = kEventLButtonDblClk;
        pressed_ = control;
    } else {
        event.wParam = wParam;
        event.lParam = lParam;
        if (message == WM_RBUTTONDOWN) {
            event.type = kEventRButtonDown;
            rightPressed_ = control;
        } else {
            pressed_ = control;
        }
    }
    control->DoEvent(event);
    if (message == WM_LBUTTONDOWN && activeToolTip_) ::ShowWindow(activeToolTip_, SW_HIDE);
}

void VLPaintManager::OnWheel(WPARAM wParam, LPARAM lParam)
{
    POINT point = PointOf(lParam);
    ScreenToClient(window_, &point);
    lastMouse_ = point;
    VLControl* control = FindControlAt(point);
    if (!OwnsControl(control)) return;
    VLControlEvent event = MakeEvent(kEventMouseWheel, control, POINT{0, 0});
    event.wParam = GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? 1 : 0;
    event.lParam = lParam;
    event.keyState = GetKeyStateMask();
    control->DoEvent(event);
    // Hover follows the content that moved under the mouse.
    SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(lastMouse_.x, lastMouse_.y));
}

void VLPaintManager::HideToolTip()
{
    if (!activeToolTip_) return;
    SendMessageW(activeToolTip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolInfo_));
    activeToolTip_ = nullptr;
}

void VLPaintManager::OnMouseMove(POINT point)
{
    lastMouse_ = point;
    VLControl* control = FindControlAt(point);
    if (control && !OwnsControl(control)) return;
    if (control != hover_ && hover_) {
        VLControlEvent event = MakeEvent(kEventMouseLeave, control, point);
        VLControl* old = hover_;
        hover_ = nullptr;
        old->DoEvent(event);
        HideToolTip();
        mouseTracked_ = false;
    }
    if (control == hover_) {
        // Hover tracking is armed again for a control that wants every hover.
        if (hover_ && hover_->hasBeenHover) mouseTracked_ = false;
    } else if (control && !(pressed_ && pressed_->capture) && !(rightPressed_ && rightPressed_->capture)) {
        VLControlEvent event = MakeEvent(kEventMouseEnter, nullptr, point);
        hover_ = control;
        control->DoEvent(event);
    }
    VLControlEvent event = MakeEvent(kEventMouseMove, nullptr, point);
    if (!pressed_ && !rightPressed_) {
        if (control) control->DoEvent(event);
    } else {
        if (pressed_) pressed_->DoEvent(event);
        if (rightPressed_) rightPressed_->DoEvent(event);
    }
    if (mouseTracked_) return;
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window_, HOVER_DEFAULT};
    if (control && InsideCut(control, point) && control->toolTipDelayTime != 0) {
        track.dwFlags |= TME_HOVER;
        track.dwHoverTime = static_cast<DWORD>(control->toolTipDelayTime);
        hoverTracked_ = control;
    }
    TrackMouseEvent(&track);
    mouseTracked_ = true;
}

bool VLPaintManager::OnMouseHover(POINT point)
{
    VLControl* control = FindControlAt(point);
    if (!control || !InsideCut(control, point) || control != hoverTracked_) return false;
    if (hover_) {
        VLControlEvent event = MakeEvent(kEventMouseHover, control, point);
        hover_->DoEvent(event);
    }
    // The hover handler may have taken the control away.
    if (control != hoverTracked_) return true;
    const std::wstring tip = control->GetToolTip();
    if (tip.empty() || control->customToolTip) return true;
    toolTipText_ = tip;
    toolInfo_ = {};
    toolInfo_.cbSize = sizeof(toolInfo_);
    toolInfo_.uFlags = TTF_IDISHWND;
    toolInfo_.hwnd = window_;
    toolInfo_.uId = reinterpret_cast<UINT_PTR>(window_);
    toolInfo_.rect = control->GetPos();
    toolInfo_.hinst = VLUIResources::Instance()->GetInstance();
    toolInfo_.lpszText = &toolTipText_[0];
    if (!toolTipWindow_) {
        if (!LoadCommonControls()) return true;
        toolTipWindow_ =
            CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, toolInfo_.hinst, nullptr);
        if (!toolTipWindow_) return true;
        SendMessageW(toolTipWindow_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
        SendMessageW(toolTipWindow_, TTM_SETMAXTIPWIDTH, 0, 300);
    }
    SendMessageW(toolTipWindow_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&toolInfo_));
    SendMessageW(toolTipWindow_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&toolInfo_));
    activeToolTip_ = toolTipWindow_;
    return true;
}

void VLPaintManager::OnMouseLeave()
{
    HideToolTip();
    // The synthetic messages go out while the flag is still set, so they arm
    // no new tracking.
    if (mouseTracked_) SendMessageW(window_, WM_MOUSEMOVE, 0, -1);
    if (pressed_) SendMessageW(window_, WM_LBUTTONUP, 0, -1);
    if (rightPressed_) SendMessageW(window_, WM_CONTEXTMENU, 0, -1);
    mouseTracked_ = false;
}

bool VLPaintManager::OnNcHitTest(LPARAM lParam, LRESULT& result)
{
    POINT point = PointOf(lParam);
    ScreenToClient(window_, &point);
    RECT rc;
    GetClientRect(window_, &rc);
    const int c = sizeBoxCorner_;
    if (!IsZoomed(window_) && !IsEmpty(sizeBox_)) {
        const bool nearTop = point.y<rc.top + sizeBox_.top, nearBottom = point.y> rc.bottom - sizeBox_.bottom;
        const bool nearLeft = point.x<rc.left + sizeBox_.left, nearRight = point.x> rc.right - sizeBox_.right;
        if (nearTop || nearBottom) {
            const bool left = point.x<rc.left + sizeBox_.left + c, right = point.x> rc.right - sizeBox_.right - c;
            result = left ? (nearTop ? HTTOPLEFT : HTBOTTOMLEFT)
                          : right ? (nearTop ? HTTOPRIGHT : HTBOTTOMRIGHT) : (nearTop ? HTTOP : HTBOTTOM);
            return true;
        }
        if (nearLeft || nearRight) {
            const bool top = point.y<rc.top + sizeBox_.top + c, bottom = point.y> rc.bottom - sizeBox_.bottom - c;
            result = top ? (nearLeft ? HTTOPLEFT : HTTOPRIGHT)
                         : bottom ? (nearLeft ? HTBOTTOMLEFT : HTBOTTOMRIGHT) : (nearLeft ? HTLEFT : HTRIGHT);
            return true;
        }
    }
    if (point.x >= rc.left + caption_.left && point.x < rc.right - caption_.right && point.y >= caption_.top &&
        point.y < caption_.bottom) {
        const VLControl* control = FindControlAt(point);
        if (control && control->caption) {
            result = HTCAPTION;
            return true;
        }
    }
    return false;
}

void VLPaintManager::OnGetMinMaxInfo(MINMAXINFO* info)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    if (minInfo_.cx > 0) info->ptMinTrackSize.x = minInfo_.cx;
    if (minInfo_.cy > 0) info->ptMinTrackSize.y = minInfo_.cy;
    if (maxInfo_.cx > 0) info->ptMaxTrackSize.x = info->ptMaxSize.x = maxInfo_.cx;
    if (maxInfo_.cy > 0) {
        info->ptMaxTrackSize.y = info->ptMaxSize.y = maxInfo_.cy;
    } else {
        // A maximised window without a frame fills the work area, not the
        // whole monitor.
        info->ptMaxPosition.x += work.left;
        info->ptMaxTrackSize.y = std::abs(2 * info->ptMaxPosition.y) + (work.bottom - work.top);
        info->ptMaxPosition.y += work.top;
    }
}

void VLPaintManager::OnSize()
{
    if (IsIconic(window_)) return;
    RECT rc;
    GetClientRect(window_, &rc);
    if (!roundCornerImage_.empty()) {
        if (!roundCornerRegion_)
            roundCornerRegion_ = VLRenderEngine::CreateCornerRegion(roundCornerImage_.c_str(), rc.right, rc.bottom);
        if (roundCornerRegion_) {
            // The window owns and frees the region it is given: it gets a copy,
            // the manager keeps the master for the next size.
            VLRegion copy(CreateRectRgn(0, 0, 0, 0));
            if (copy && CombineRgn(copy.Get(), roundCornerRegion_.Get(), nullptr, RGN_COPY) != ERROR &&
                SetWindowRgn(window_, copy.Get(), TRUE))
                copy.Release();
        }
        return;
    }
    const int r = std::max(roundCorner_.cx, roundCorner_.cy);
    if (r != 0) {
        regionSet_ = true;
        VLRegion region(CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, r, r));
        // "r,0" keeps only the bottom corners round (a window whose top edge
        // meets a square title image), "0,r" only the top ones.
        RECT square = {};
        if (roundCorner_.cy == 0)
            square = {rc.left, rc.top, rc.right, rc.bottom - r + 1};
        else if (roundCorner_.cx == 0)
            square = {rc.left, rc.top + r, rc.right, rc.bottom};
        if (region && !IsRectEmpty(&square)) {
            VLRegion part(CreateRectRgnIndirect(&square));
            if (part) CombineRgn(region.Get(), region.Get(), part.Get(), RGN_OR);
        }
        if (region && SetWindowRgn(window_, region.Get(), TRUE)) region.Release();
    } else if (regionSet_) {
        regionSet_ = false;
        VLRegion region(CreateRectRgnIndirect(&rc));
        if (region && SetWindowRgn(window_, region.Get(), TRUE)) region.Release();
    }
    needsUpdate_ = true;
}

// ---- Painting ----------------------------------------------------------------

void VLPaintManager::DropBackBuffer()
{
    offscreenBitmap_.Reset();
    offscreenDC_.Reset();
}

bool VLPaintManager::MakeBackBuffer(const RECT& client)
{
    if (offscreenBitmap_) return true;
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return false;
    offscreenDC_.Reset(CreateCompatibleDC(paintDC_));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (offscreenDC_) offscreenBitmap_.Reset(CreateDIBSection(paintDC_, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!offscreenBitmap_) DropBackBuffer();
    return static_cast<bool>(offscreenBitmap_);
}

void VLPaintManager::PreparePaint(const RECT& client)
{
    if (needsUpdate_) {
        needsUpdate_ = false;
        if (root_) root_->SetPos(client);
        DropBackBuffer();
    }
    if (focusNeeded_) {
        focusNeeded_ = false;
        MoveFocusByTab(true);
    }
    if (initNotifyPending_) {
        initNotifyPending_ = false;
        SendNotify(root_.get(), kNotifyWindowInit, 0, 0);
    }
}

bool VLPaintManager::PaintBackBuffer(const RECT& rect)
{
    if (!window_) return false;
    RECT client;
    GetClientRect(window_, &client);
    PreparePaint(client);
    if (!MakeBackBuffer(client)) return false;
    if (root_) {
        VLSelectObject select(offscreenDC_.Get(), offscreenBitmap_.Get());
        root_->Paint(offscreenDC_.Get(), rect);
    }
    return true;
}

void VLPaintManager::OnPaint()
{
    if (layered_) {
        RedrawLayeredWindow(layeredAlpha_);
        // The picture went out through UpdateLayeredWindow: the update region
        // is answered, or the system would ask for this paint again at once.
        ValidateRect(window_, nullptr);
        return;
    }
    RECT update;
    if (!GetUpdateRect(window_, &update, FALSE)) return;
    RECT client;
    GetClientRect(window_, &client);
    PreparePaint(client);
    const bool ready = MakeBackBuffer(client);
    // Begun after the layout, so that what the layout invalidated is painted
    // now as well.
    VLPaintDC paint(window_);
    if (!ready || !paint.Get()) return;
    const RECT& rect = paint.Paint().rcPaint;
    VLSelectObject select(offscreenDC_.Get(), offscreenBitmap_.Get());
    if (root_) root_->Paint(offscreenDC_.Get(), rect);
    BitBlt(paint.Get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, offscreenDC_.Get(),
           rect.left, rect.top, SRCCOPY);
}

bool VLPaintManager::RedrawLayeredWindow(int alphaPercent)
{
    if (!window_) return false;
    // Controls laid out or painted here invalidate themselves: the redraw
    // under way already shows them.
    if (redrawingLayered_) return true;
    redrawingLayered_ = true;
    const bool done = RedrawLayered(alphaPercent);
    redrawingLayered_ = false;
    return done;
}

bool VLPaintManager::RedrawLayered(int alphaPercent)
{
    RECT client;
    GetClientRect(window_, &client);
    // A layered window is always painted whole, into a fresh buffer.
    DropBackBuffer();
    PreparePaint(client);
    if (!MakeBackBuffer(client)) return false;
    const BYTE alpha = LayeredAlpha(alphaPercent);
    RECT frame;
    GetWindowRect(window_, &frame);
    SIZE size = {frame.right - frame.left, frame.bottom - frame.top};
    POINT destination = {frame.left, frame.top}, source = {0, 0};
    const LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_LAYERED)) SetWindowLongW(window_, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    VLSelectObject select(offscreenDC_.Get(), offscreenBitmap_.Get());
    if (root_) root_->Paint(offscreenDC_.Get(), client);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
    return UpdateLayeredWindow(window_, paintDC_, &destination, &size, offscreenDC_.Get(), &source, 0, &blend,
                               ULW_ALPHA) != FALSE;
}

} // namespace Velora
