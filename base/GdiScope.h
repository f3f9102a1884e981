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

// The DC of a window (or of the screen for NULL), released to that window.
class VLWindowDC {
public:
    explicit VLWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~VLWindowDC()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    VLWindowDC(const VLWindowDC&) = delete;
    VLWindowDC& operator=(const VLWindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
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
class VLSelectObject {
public:
    VLSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~VLSelectObject()
    {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    VLSelectObject(const VLSelectObject&) = delete;
    VLSelectObject& operator=(const VLSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// SaveDC for the scope: clip region, mapping and selections come back whole.
class VLSaveDC {
public:
    explicit VLSaveDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~VLSaveDC()
    {
        if (saved_) RestoreDC(dc_, saved_);
    }
    VLSaveDC(const VLSaveDC&) = delete;
    VLSaveDC& operator=(const VLSaveDC&) = delete;

private:
    HDC dc_;
    int saved_;
};

} // namespace Velora
