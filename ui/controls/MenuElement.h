// One entry of a skinned menu. An element that holds further menu elements
// has a submenu: hovering or clicking it opens a popup window with them
// beside it. A click on a leaf closes every menu and posts WM_COMMAND with
// the element's id to its notify window.
#pragma once

#include "ui/core/Option.h"

#include <vector>

namespace Velora {

class VLMenuWnd;

class VLMenuElement : public VLOption {
public:
    // An open submenu goes first: it holds this element's items.
    ~VLMenuElement() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    // Submenu items are never found inside the element.
    VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags) override;
    void OnMouseEnter(VLControlEvent& event) override;
    void OnLButtonUp(VLControlEvent& event) override;
    // Submenu items are never painted inside the element.
    void Paint(HDC hdc, const RECT& paint) override;

    void OpenSubMenu();
    std::vector<VLControl*> GetSubmenuItems() const;
    VLMenuWnd* GetSubmenuWindow() const { return submenu_; }
    // The submenu window tells its owner that it has gone.
    void ForgetSubmenuWindow() { submenu_ = nullptr; }
    HWND GetNotifyWindow() const { return notifyWindow_; }
    void SetNotifyWindow(HWND window) { notifyWindow_ = window; }

private:
    HWND ManagerWindow() const;

    VLMenuWnd* submenu_ = nullptr;
    // Null until a popup hands its items the window to tell: WM_COMMAND of an
    // element outside a popup goes to the thread's queue.
    HWND notifyWindow_ = nullptr;
};

// Menus hold only menu elements; a null item is none.
bool IsMenuElement(VLControl* item);

} // namespace Velora
