// A container that shows a still copy of another window's client area,
// stretched over its own rectangle, under its items.
#pragma once

#include "ui/controls/WindowSnapshot.h"
#include "ui/core/Container.h"

namespace Velora {

class VLDrawWnd : public VLContainer {
public:
    void Paint(HDC hdc, const RECT& paint) override;
    // Copies the window's pixels once, when it gives its DC.
    void SetHostWindow(HWND window) override;

private:
    VLWindowSnapshot snapshot_;
};

} // namespace Velora
