// One window object bound to one Win32 window: it registers the window class
// (its own or a superclass of an existing one), creates the window with
// itself as creation parameter and receives every message of the window in
// HandleMessage. It also shows the window modally, centres it and gives it the
// program's icon.
#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

namespace Velora {

// The icon every window of the program shows.
constexpr int kWindowIconId = 128;

using VLIcon = VLUniqueHandle<HICON, &DestroyIcon>;

class VLWindowWnd {
public:
    VLWindowWnd() = default;
    // A window that outlives its object goes on with the default procedure.
    virtual ~VLWindowWnd();
    VLWindowWnd(const VLWindowWnd&) = delete;
    VLWindowWnd& operator=(const VLWindowWnd&) = delete;

    HWND GetHWND() const { return window_; }
    operator HWND() const { return window_; }

    // Null when the class cannot be registered or the window not created.
    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy);
    bool RegisterWindowClass();
    bool RegisterSuperclass();

    virtual void ShowWindow(bool show, bool takeFocus);
    // Asks the window to close (WM_CLOSE is posted).
    virtual void Close();
    virtual const wchar_t* GetWindowClassName() const = 0;
    // Null: the window has a class of its own.
    virtual const wchar_t* GetSuperClassName() const;
    virtual UINT GetClassStyle() const;
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The last call the object receives for its window; it may delete itself.
    virtual void OnFinalMessage(HWND hwnd);

    // Shows the window and runs a message loop until it is destroyed, with its
    // owner disabled meanwhile. A WM_QUIT ends the loop and is posted again
    // for the loop outside.
    void ShowModal();
    // Over the owner, or over the work area when there is none or it is
    // minimised; always kept inside the work area.
    void CenterWindow();
    // The module's icon kWindowIconId, large and small.
    void SetIcon();

    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticSuperWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    HWND window_ = nullptr;
    WNDPROC oldProcedure_ = DefWindowProcW;

private:
    // The shared part of both procedures: object is the window's object or
    // null before it was bound.
    static LRESULT Route(VLWindowWnd* object, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                         void (*unbind)(HWND));

    VLIcon largeIcon_;
    VLIcon smallIcon_;
};

} // namespace Velora
