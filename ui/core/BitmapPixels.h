// 32-bit DIB sections made and read the one way every image path of the UI
// expects: rows top first, four bytes a pixel (blue, green, red, alpha). The
// bitmaps the UI holds are not all alike (module bitmaps are device bitmaps,
// icon images are bottom-up), so pixels are always read through GetDIBits.
#pragma once

#include "base/GdiScope.h"

#include <cstdint>
#include <vector>

namespace Velora {

// The largest side and pixel count of an image the UI builds a DIB for: no
// skin needs more, and w * h * 4 then stays far below 2 GiB.
constexpr int kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = 16 * 1024 * 1024;

bool ImageSizeAllowed(int64_t width, int64_t height);

// A zeroed 32-bit DIB section; bits receives its pixel memory. Top-down
// (negative height) unless bottomUp. Nothing when the size is not allowed.
VLBitmap CreateDib32(int width, int height, uint32_t** bits, bool bottomUp = false);

// The bitmap's pixels as 32-bit words, top row first; false (pixels emptied)
// when its size is not allowed or GDI cannot convert it. The bitmap must not
// be selected into a DC.
bool ReadBitmapPixels(HBITMAP bitmap, std::vector<uint32_t>& pixels, int& width, int& height);

} // namespace Velora
