// A short-lived off-screen target: a memory DC with a 32-bit DIB section whose
// pixels the caller can read and rewrite before blending the result with
// AlphaBlend. GDI text and shapes clear the alpha byte of what they touch, so
// the alpha helpers mark every pixel first and afterwards treat alpha 0 as
// drawn and anything else as untouched.
#pragma once

#include "base/GdiScope.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace Velora {

struct DibSurface {
    DibSurface() = default;
    ~DibSurface();
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    VLMemoryDC memoryDC;
    VLBitmap bitmap;
    HGDIOBJ oldBitmap = nullptr;
    // A positive height: bottom-up.
    BITMAPINFOHEADER header{};
    uint32_t* bits = nullptr;
    // Pixels a user of the surface keeps beside it; freed on release.
    std::vector<unsigned char> copyBuffer;
};

// 1 on success; 0 when the surface already exists (it is kept) or GDI fails
// (the surface is left released).
int CreateDibSurface(HDC dc, DibSurface& surface, int width, int height);
void ReleaseDibSurface(DibSurface& surface);

// GDI drawing made translucent: draw paints, in the DC it is given, the
// rectangle moved into a surface that covers only the part of rect that can
// be seen on hdc (its clip box), so a control far larger than the window
// costs no more than the window; the drawn pixels become opaque, finish (when
// given) may rewrite them, and the surface is blended onto hdc with the
// constant alpha.
void DrawThroughSurface(HDC hdc, const RECT& rect, BYTE alpha, const std::function<void(HDC, const RECT&)>& draw,
                        const std::function<void(uint32_t* pixels, size_t count)>& finish = nullptr);

bool IsSse2Available();
// Alpha of every pixel at least 1, colours kept. A byte count that is not a
// positive multiple of 4 changes nothing.
void MarkAlpha(uint32_t* pixels, int byteCount);
// Pixels with alpha 0 (drawn) become opaque; all others transparent black.
void RestoreAlpha(uint32_t* pixels, int byteCount);
// The same, four pixels at a time; only when IsSse2Available.
void RestoreAlphaSse2(uint32_t* pixels, int byteCount);

} // namespace Velora
