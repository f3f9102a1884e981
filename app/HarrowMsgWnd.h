// The prompt that offers the companion game client: built from the markup
// window "HarrowMsgWnd", shown modally over the main window, closed by its
// OK button (confirmed) or its close button.
#pragma once

#include "ui/core/WindowImplBase.h"

namespace Velora {

class VLHarrowMsgWnd : public VLWindowImplBase {
public:
    // Creates the window over owner; GetHWND() is null when that failed.
    explicit VLHarrowMsgWnd(HWND owner);

    const wchar_t* GetWindowClassName() const override { return L"VLHarrowMsgWnd"; }
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void Notify(VLNotifyMsg& msg) override;

    bool IsConfirmed() const { return confirmed_; }

private:
    bool confirmed_ = false;
};

// The XML resource that holds both windows' markup.
constexpr int kSkinMarkupId = 226;

// Builds a skinned window's tree from the markup resource: drops the system
// caption, binds and lists the manager, attaches the tree, listens to it,
// takes the markup's size and centres the window.
void BuildSkinnedWindow(VLWindowImplBase& window, const wchar_t* markupWindow);

} // namespace Velora
