// The clip of a DC narrowed for the time one control paints, and put back
// afterwards. What is put back is the clip box that was in force, which is
// all the painting code ever clips to.
#pragma once

#include "base/GdiScope.h"

namespace Velora {

// How far beyond what can be seen a frame or a text may reach before its
// rectangle is cut for GDI: farther than any screen is wide.
constexpr LONG kFarBeyondClip = 1 << 16;

class VLRenderClip {
public:
    VLRenderClip() = default;
    // Puts the old clip back when Restore was not called.
    ~VLRenderClip() { Restore(*this); }
    VLRenderClip(const VLRenderClip&) = delete;
    VLRenderClip& operator=(const VLRenderClip&) = delete;

    static void ClipToRect(VLRenderClip& clip, HDC hdc, const RECT& rect);
    // ellipse is the width and height of the corner ellipse (0: no new clip);
    // roundBottom 0 keeps the bottom corners square.
    static void ClipToRoundRect(VLRenderClip& clip, HDC hdc, const RECT& rect, int ellipse, int roundBottom);
    static void Restore(VLRenderClip& clip);
    // What of rect the DC's clip lets through (its clip box); false when
    // nothing does. Whatever a layout computed, drawing is cut to this
    // before the system is called.
    static bool VisiblePart(HDC hdc, const RECT& rect, RECT& seen);

    RECT rect{};
    HDC hdc = nullptr;
    VLRegion newRegion;
    VLRegion oldRegion;

private:
    static void Begin(VLRenderClip& clip, HDC hdc, const RECT& rect);
};

} // namespace Velora
