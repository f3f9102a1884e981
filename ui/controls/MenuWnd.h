// The popup window of a submenu: a skinned window whose root lays out the
// owner element's submenu items, placed beside the owner inside the work
// area. Every open popup stands in one process-wide list, through which they
// are closed together or a window's submenus alone.
#pragma once

#include "ui/core/WindowImplBase.h"

namespace Velora {

class VLMenu;
class VLMenuElement;

class VLMenuWnd : public VLWindowImplBase {
public:
    // Ways of CloseMenus.
    enum : int {
        kCloseAll = 1,
        kCloseDescendants = 2, // the menus below the given window
    };

    explicit VLMenuWnd(HWND notifyWindow) : notifyWindow_(notifyWindow) {}

    // Closes open menu windows: all of them, or those one of whose ancestors
    // is the window. Only posts WM_CLOSE, so the list stays as it is.
    static void CloseMenus(HWND window, int mode);
    static bool IsMenuWindow(HWND window);

    // Opens the window for the owner's submenu; the object deletes itself
    // when its window goes, or at once when the window cannot be made.
    void Open(VLMenuElement* owner);

    const wchar_t* GetWindowClassName() const override { return L"VLMenuWnd"; }
    void OnFinalMessage(HWND hwnd) override;
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    // Gives the submenu items back to the owner element and its manager.
    void ReturnItems();
    void Place();

    VLMenu* root_ = nullptr; // owned by the window's manager
    HWND notifyWindow_;
    VLMenuElement* owner_ = nullptr;
};

} // namespace Velora
