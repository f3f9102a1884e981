// The reference for the program's start-up: the least a Win32 program does to
// put an 800 x 600 window on the screen, centred and filled by its class's
// background brush, with nothing else loaded or read. Closes on WM_CLOSE.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"BareWindow";
    RegisterClassW(&windowClass);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - 800) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - 600) / 2;
    HWND window = CreateWindowExW(0, L"BareWindow", L"bare-window", WS_POPUP, x, y, 800, 600, nullptr, nullptr,
                                  instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
