// A window for testing the UI driver: a 320x200 client area painted blue with
// a red 10x10 square at (20, 30), whose title tells what input arrived:
// "click <x> <y> wheel <sum of deltas>". Closing it ends the program with 7.
#include "base/GdiScope.h"

#include <windows.h>
#include <windowsx.h>

#include <string>

using namespace Velora;

namespace {

POINT lastClick = {-1, -1};
int wheelSum = 0;

void ShowInput(HWND window)
{
    SetWindowTextW(window, (L"click " + std::to_wstring(lastClick.x) + L" " + std::to_wstring(lastClick.y) +
                            L" wheel " + std::to_wstring(wheelSum))
                               .c_str());
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        VLPaintDC paint(window);
        RECT client;
        GetClientRect(window, &client);
        VLBrush blue(CreateSolidBrush(RGB(0, 0, 255))), red(CreateSolidBrush(RGB(255, 0, 0)));
        FillRect(paint.Get(), &client, blue.Get());
        const RECT square = {20, 30, 30, 40};
        FillRect(paint.Get(), &square, red.Get());
        return 0;
    }
    case WM_LBUTTONUP:
        lastClick = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ShowInput(window);
        return 0;
    case WM_MOUSEWHEEL:
        wheelSum += GET_WHEEL_DELTA_WPARAM(wParam);
        ShowInput(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass = {sizeof(windowClass)};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"VLUiTarget";
    if (!RegisterClassExW(&windowClass)) return 1;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rect = {0, 0, 320, 200};
    AdjustWindowRect(&rect, style, FALSE);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"ui target", style, 40, 40, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return int(message.wParam);
}
