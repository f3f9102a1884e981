// The child window that carries a windowed ActiveX object: it sits at the
// control's rectangle in the skinned window, and hands focus and mouse
// activation on to the object as in-place and UI activation verbs.
#pragma once

#include <windows.h>

namespace Velora {

class VLActiveXCtrl;

class VLActiveXWnd {
public:
    explicit VLActiveXWnd(VLActiveXCtrl* owningSite) : site(owningSite) {}
    ~VLActiveXWnd();
    VLActiveXWnd(const VLActiveXWnd&) = delete;
    VLActiveXWnd& operator=(const VLActiveXWnd&) = delete;

    // A visible child of the parent with an empty rectangle; null on failure.
    HWND Create(HWND parent);
    HWND GetHWND() const { return hwnd_; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    VLActiveXCtrl* site;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

} // namespace Velora
