// The child window that carries a windowed ActiveX object: it sits at the
// control's rectangle in the skinned window, and hands focus and mouse
// activation on to the object as in-place and UI activation verbs.
#pragma once

#include "ui/core/WindowWnd.h"

namespace Velora {

class VLActiveXCtrl;

class VLActiveXWnd : public VLWindowWnd {
public:
    explicit VLActiveXWnd(VLActiveXCtrl* owningSite) : site(owningSite) {}
    // Destroys the window while the object can still answer for it.
    ~VLActiveXWnd() override;

    // A visible child of the parent with an empty rectangle; null on failure.
    HWND Init(HWND parent);
    const wchar_t* GetWindowClassName() const override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    VLActiveXCtrl* site;
};

} // namespace Velora
