// Owners and guards for GDI: device contexts, the objects drawn with, and the
// selection and saved state of a DC. Every painting path of the UI holds its
// GDI resources in these, so an early return leaks nothing and leaves no DC
// with a foreign object selected into it.
#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

namespace Velora {

// Bitmaps, fonts, regions, brushes and pens: deleted with DeleteObject.
template <typename T> using VLGdiObject = VLUniqueHandle<T, &DeleteObject>;
using VLBitmap = VLGdiObject<HBITMAP>;
using VLFont = VLGdiObject<HFONT>;
using VLRegion = VLGdiObject<HRGN>;
using VLBrush = VLGdiObject<HBRUSH>;
using VLPen = VLGdiObject<HPEN>;

// A DC made by CreateCompatibleDC or CreateDC.
using VLMemoryDC = VLUniqueHandle<HDC, &DeleteDC>;

// A library loaded with LoadLibrary.
using VLModule = VLUniqueHandle<HMODULE, &FreeLibrary>;

// Undoes one call on a window or DC when the scope ends, as Undo(context,
// value) with what the call answered; an answer of Invalid or AlsoInvalid
// (the call failed) leaves nothing to undo.
template <typename Context, typename Value, auto Undo, std::intptr_t Invalid = 0, std::intptr_t AlsoInvalid = Invalid>
class VLScopedUndo {
public:
    VLScopedUndo(Context context, Value value) : context_(context), value_(value) {}
    ~VLScopedUndo()
    {
        if (VLHandleIsValid<Invalid, AlsoInvalid>(value_)) Undo(context_, value_);
    }
    VLScopedUndo(const VLScopedUndo&) = delete;
    VLScopedUndo& operator=(const VLScopedUndo&) = delete;

    Value Get() const { return value_; }

private:
    Context context_;
    Value value_;
};

// The DC of a window (or of the screen for NULL), released to that window.
class VLWindowDC : public VLScopedUndo<HWND, HDC, &ReleaseDC> {
public:
    explicit VLWindowDC(HWND window) : VLScopedUndo(window, GetDC(window)) {}
};

// BeginPaint for WM_PAINT, ended on every path.
class VLPaintDC {
public:
    explicit VLPaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~VLPaintDC()
    {
        if (dc_) EndPaint(window_, &paint_);
    }
    VLPaintDC(const VLPaintDC&) = delete;
    VLPaintDC& operator=(const VLPaintDC&) = delete;

    HDC Get() const { return dc_; }
    const PAINTSTRUCT& Paint() const { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back, so the object
// can be deleted afterwards (GDI refuses to delete a selected object).
class VLSelectObject : public VLScopedUndo<HDC, HGDIOBJ, &SelectObject, 0, -1> {
public:
    VLSelectObject(HDC dc, HGDIOBJ object) : VLScopedUndo(dc, object ? SelectObject(dc, object) : nullptr) {}
};

// SaveDC for the scope: clip region, mapping and selections come back whole.
class VLSaveDC : public VLScopedUndo<HDC, int, &RestoreDC> {
public:
    explicit VLSaveDC(HDC dc) : VLScopedUndo(dc, SaveDC(dc)) {}
};

} // namespace Velora
