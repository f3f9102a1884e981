// A real skinned window around a control tree made in code, that records
// the notifications, commands and tab drag messages it gets.
#pragma once

#include "tests/ui/SkinWindow.h"

#include <vector>

namespace Velora {

class HostWindow : public SkinWindow {
public:
    explicit HostWindow(VLControl* root) : SkinWindow(L""), root_(root) {}
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    std::vector<VLNotifyMsg> NotesOf(int32_t type) const;

    std::vector<WPARAM> commands;
    std::vector<WPARAM> ncActivations;
    std::vector<LPARAM> drags; // target indexes of the tab drag messages
    LRESULT dragAnswer = 0;

private:
    VLControl* root_;
};

inline bool SameRect(RECT a, RECT b)
{
    return EqualRect(&a, &b) != 0;
}
// Sends a mouse message at a client point.
void SendMouse(HWND hwnd, UINT message, int x, int y);
// The windows of a class on this thread, in z order.
std::vector<HWND> WindowsOfClass(const wchar_t* className);

} // namespace Velora
