#include "ui/core/WindowWnd.h"

#include "ui/core/PaintManager.h"
#include "ui/core/UIResources.h"

namespace Velora {

namespace {

// Superclassed windows keep the class's own use of GWL_USERDATA: the object
// lives in a window property instead.
constexpr wchar_t kObjectProperty[] = L"WndX";

bool Registered(ATOM atom) { return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS; }

HINSTANCE ModuleInstance() { return VLUIResources::Instance()->GetInstance(); }

} // namespace

VLWindowWnd::~VLWindowWnd()
{
    if (!IsWindow(window_)) return;
    if (GetPropW(window_, kObjectProperty) == this) SetPropW(window_, kObjectProperty, nullptr);
    if (GetWindowLongPtrW(window_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

const wchar_t* VLWindowWnd::GetSuperClassName() const { return nullptr; }
UINT VLWindowWnd::GetClassStyle() const { return 0; }
void VLWindowWnd::OnFinalMessage(HWND) {}

LRESULT VLWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(oldProcedure_, window_, message, wParam, lParam);
}

HWND VLWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy)
{
    if (!(GetSuperClassName() ? RegisterSuperclass() : RegisterWindowClass())) return nullptr;
    window_ = CreateWindowExW(exStyle, GetWindowClassName(), name, style, x, y, cx, cy, parent, nullptr,
                              ModuleInstance(), this);
    return window_;
}

bool VLWindowWnd::RegisterWindowClass()
{
    WNDCLASSW wc = {};
    wc.style = GetClassStyle();
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    return Registered(RegisterClassW(&wc));
}

bool VLWindowWnd::RegisterSuperclass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(nullptr, GetSuperClassName(), &wc) &&
        !GetClassInfoExW(ModuleInstance(), GetSuperClassName(), &wc))
        return false;
    oldProcedure_ = wc.lpfnWndProc;
    wc.lpfnWndProc = StaticSuperWndProc;
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = GetWindowClassName();
    return Registered(RegisterClassExW(&wc));
}

LRESULT VLWindowWnd::Route(VLWindowWnd* object, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                           void (*unbind)(HWND))
{
    if (!object) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message != WM_NCDESTROY) return object->HandleMessage(message, wParam, lParam);
    const LRESULT result = CallWindowProcW(object->oldProcedure_, hwnd, message, wParam, lParam);
    unbind(hwnd);
    object->window_ = nullptr;
    // Last: the object may delete itself here.
    object->OnFinalMessage(hwnd);
    return result;
}

LRESULT CALLBACK VLWindowWnd::StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    VLWindowWnd* object = nullptr;
    if (message == WM_NCCREATE) {
        object = static_cast<VLWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        object->window_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    } else {
        object = reinterpret_cast<VLWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    return Route(object, hwnd, message, wParam, lParam, [](HWND h) { SetWindowLongPtrW(h, GWLP_USERDATA, 0); });
}

LRESULT CALLBACK VLWindowWnd::StaticSuperWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    VLWindowWnd* object = nullptr;
    if (message == WM_NCCREATE) {
        object = static_cast<VLWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        object->window_ = hwnd;
        SetPropW(hwnd, kObjectProperty, object);
    } else {
        object = static_cast<VLWindowWnd*>(GetPropW(hwnd, kObjectProperty));
    }
    return Route(object, hwnd, message, wParam, lParam, [](HWND h) { SetPropW(h, kObjectProperty, nullptr); });
}

void VLWindowWnd::ShowWindow(bool show, bool takeFocus)
{
    if (!IsWindow(window_)) return;
    ::ShowWindow(window_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void VLWindowWnd::Close()
{
    if (IsWindow(window_)) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void VLWindowWnd::ShowModal()
{
    // Locals only from here on: the object may delete itself when its window
    // goes.
    const HWND hwnd = window_;
    const HWND owner = GetWindow(hwnd, GW_OWNER);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    if (owner) EnableWindow(owner, FALSE);
    const auto releaseOwner = [owner] {
        if (!owner) return;
        EnableWindow(owner, TRUE);
        SetFocus(owner);
    };
    MSG msg = {};
    BOOL got = 1;
    while (IsWindow(hwnd) && (got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        // The owner must be usable again before the window goes, or the
        // system activates some other program's window.
        if (msg.message == WM_CLOSE && msg.hwnd == hwnd) releaseOwner();
        if (!VLPaintManager::PreTranslateAll(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // A failing GetMessage (-1) ends the loop as well, and the owner is still
    // released.
    releaseOwner();
    if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
}

void VLWindowWnd::CenterWindow()
{
    RECT frame;
    GetWindowRect(window_, &frame);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT centre = work;
    const HWND owner = GetWindow(window_, GW_OWNER);
    if (owner && !IsIconic(owner)) GetWindowRect(owner, &centre);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int x = (centre.left + centre.right) / 2 - width / 2;
    int y = (centre.top + centre.bottom) / 2 - height / 2;
    if (x < work.left)
        x = work.left;
    else if (x + width > work.right)
        x = work.right - width;
    if (y < work.top)
        y = work.top;
    else if (y + height > work.bottom)
        y = work.bottom - height;
    SetWindowPos(window_, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void VLWindowWnd::SetIcon()
{
    const auto load = [](int cx, int cy) {
        return VLIcon(static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(kWindowIconId), IMAGE_ICON,
                                                    GetSystemMetrics(cx), GetSystemMetrics(cy), 0)));
    };
    VLIcon large = load(SM_CXICON, SM_CYICON), small = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large.Get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
    // The icons held so far go only once the window no longer shows them.
    largeIcon_ = std::move(large);
    smallIcon_ = std::move(small);
}

} // namespace Velora
