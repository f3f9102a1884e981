// A still copy of another window's client area, kept in a memory bitmap that
// outlives the window it came from and is painted stretched onto a target.
#pragma once

#include "base/GdiScope.h"

#include <windows.h>

#include <optional>

namespace Velora {

class VLWindowSnapshot {
public:
    VLWindowSnapshot() = default;
    VLWindowSnapshot(const VLWindowSnapshot&) = delete;
    VLWindowSnapshot& operator=(const VLWindowSnapshot&) = delete;

    // Copies the window's client pixels, replacing an earlier copy. A null
    // window or one whose DC cannot be had leaves the earlier copy; a copy that
    // fails on the way leaves none. True when a new copy is held.
    bool Take(HWND window);
    // Stretches the copy onto the target rectangle; nothing without a copy.
    void Paint(HDC dc, const RECT& target) const;
    bool Empty() const { return !dc_; }
    // The window's client rectangle at the time of the copy.
    const RECT& Rect() const { return rect_; }

private:
    void Reset();

    // Declared so that they go in this order: the bitmap is selected out of
    // the DC, then the DC is deleted, then the bitmap (GDI keeps a bitmap that
    // is still selected somewhere).
    VLBitmap bitmap_;
    VLMemoryDC dc_;
    std::optional<VLSelectObject> selection_;
    RECT rect_ = {};
};

} // namespace Velora
