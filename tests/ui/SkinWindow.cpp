#include "tests/ui/SkinWindow.h"

#include <algorithm>

namespace Velora {

int ProbeControl::live = 0;

int ProbeControl::Count(int32_t type) const
{
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [type](const VLControlEvent& e) { return e.type == type; }));
}

SkinWindow::~SkinWindow()
{
    if (IsWindow(window_)) DestroyWindow(window_);
}

HWND SkinWindow::Open(int x, int y, int cx, int cy, HWND owner)
{
    VLMarkupBuilder::RegisterElement<ProbeControl>(L"Probe");
    const HWND hwnd = Create(owner, L"skin test", WS_POPUP | WS_VISIBLE, 0, x, y, cx, cy);
    // The first paint lays the tree out.
    if (hwnd) UpdateWindow(hwnd);
    return hwnd;
}

LRESULT SkinWindow::OnCreate(UINT, WPARAM, LPARAM, bool&)
{
    paintManager.Init(window_);
    VLPaintManager::RegisterManager(&paintManager);
    VLMarkupBuilder builder;
    paintManager.AttachRoot(builder.Create(markup_.c_str(), nullptr, nullptr, kMarkupText, &paintManager));
    paintManager.AddNotifier(this);
    return 0;
}

int SkinWindow::Notes(int32_t type) const
{
    return static_cast<int>(
        std::count_if(notes.begin(), notes.end(), [type](const VLNotifyMsg& m) { return m.type == type; }));
}

void Pump(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!VLPaintManager::PreTranslateAll(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        Sleep(2);
    } while (GetTickCount() < end);
}

} // namespace Velora
