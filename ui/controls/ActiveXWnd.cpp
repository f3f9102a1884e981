#include "ui/controls/ActiveXWnd.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/ActiveXCtrl.h"

#include "base/ComScope.h"
#include "base/GdiScope.h"

namespace Velora {

namespace {

constexpr wchar_t kClassName[] = L"VLActiveXWnd";

bool RegisterOnce()
{
    static const bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

} // namespace

VLActiveXWnd::~VLActiveXWnd()
{
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

HWND VLActiveXWnd::Create(HWND parent)
{
    if (!RegisterOnce()) return nullptr;
    hwnd_ = CreateWindowExW(0, kClassName, L"UIActiveX", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                            0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return nullptr;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    return hwnd_;
}

LRESULT CALLBACK VLActiveXWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<VLActiveXWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->HandleMessage(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT VLActiveXWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
        site->focused = true;
        if (!site->uiActive) site->DoVerb(OLEIVERB_UIACTIVATE);
        break;
    case WM_KILLFOCUS: site->focused = false; break;
    case WM_PAINT: {
        VLPaintDC paint(hwnd_);
        return 0;
    }
    case WM_ERASEBKGND:
        if (site->viewObject) return 1;
        break;
    case WM_MOUSEACTIVATE: {
        VLComPtr<IOleObject> object;
        DWORD status = 0;
        if (site->owner && SUCCEEDED(site->owner->GetControl(IID_IOleObject, object.Receive())))
            object->GetMiscStatus(DVASPECT_CONTENT, &status);
        if (status & OLEMISC_NOUIACTIVATE) return 0;
        if (!site->inPlaceActive) site->DoVerb(OLEIVERB_INPLACEACTIVATE);
        break;
    }
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

} // namespace Velora
