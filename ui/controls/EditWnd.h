// The native edit window a VLEdit opens over itself while the user types: a
// superclass of the system edit class that copies its text to the owner,
// reports Return, selects all on Ctrl+A and closes when it loses the focus.
#pragma once

#include "ui/core/WindowWnd.h"

#include "base/GdiScope.h"

#include <cstdint>

namespace Velora {

class VLEdit;

class VLEditWnd : public VLWindowWnd {
public:
    explicit VLEditWnd(VLEdit* owner) : owner_(owner) {}

    // Creates the window over the owner's edit rectangle with the owner's
    // attributes and gives it the keyboard focus; null when it failed.
    HWND Open();
    // The owner is going: nothing may reach it any more.
    void Detach() { owner_ = nullptr; }

    const wchar_t* GetWindowClassName() const override;
    const wchar_t* GetSuperClassName() const override;
    UINT GetClassStyle() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

private:
    // The background brush in the owner's native back colour, made again
    // only when that colour changed.
    HBRUSH BackgroundBrush();
    void CopyTextToOwner();

    VLEdit* owner_;
    VLBrush brush_;
    uint32_t brushColour_ = 0;
};

} // namespace Velora
