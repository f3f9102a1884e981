#include "tests/ui/controls/HostWindow.h"

#include "ui/controls/TabItem.h"

#include <algorithm>

namespace Velora {

LRESULT HostWindow::OnCreate(UINT, WPARAM, LPARAM, bool&)
{
    paintManager.Init(GetHWND());
    VLPaintManager::RegisterManager(&paintManager);
    paintManager.AttachRoot(root_);
    paintManager.AddNotifier(this);
    return 0;
}

LRESULT HostWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) commands.push_back(wParam);
    if (message == WM_NCACTIVATE) ncActivations.push_back(wParam);
    if (message == kMsgTabDragged) {
        drags.push_back(lParam);
        return dragAnswer;
    }
    return SkinWindow::HandleMessage(message, wParam, lParam);
}

std::vector<VLNotifyMsg> HostWindow::NotesOf(int32_t type) const
{
    std::vector<VLNotifyMsg> found;
    std::copy_if(notes.begin(), notes.end(), std::back_inserter(found),
                 [type](const VLNotifyMsg& m) { return m.type == type; });
    return found;
}

void SendMouse(HWND hwnd, UINT message, int x, int y)
{
    SendMessageW(hwnd, message, 0, MAKELPARAM(x, y));
}

std::vector<HWND> WindowsOfClass(const wchar_t* className)
{
    std::vector<HWND> found;
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr))
        found.push_back(w);
    return found;
}

} // namespace Velora
