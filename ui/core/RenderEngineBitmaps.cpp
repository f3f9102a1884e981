// Bitmaps derived from an image for one draw: icon images, reflections,
// rotated copies and region-masked copies. Pixels are read through
// ReadBitmapPixels, so module bitmaps and bottom-up icon images work too.
#include "ui/core/RenderEngine.h"

#include "ui/core/BitmapPixels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Velora::VLRenderEngine {

namespace {

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

} // namespace

std::unique_ptr<VLImageInfo> CreateIconImage(HDC hdc, HICON icon, int size)
{
    VLMemoryDC memory(CreateCompatibleDC(hdc));
    uint32_t* bits = nullptr;
    VLBitmap bitmap = CreateDib32(size, size, &bits, true);
    if (!memory || !bitmap || !icon) return nullptr;
    const size_t count = size_t(size) * size_t(size);
    std::vector<uint32_t> mask(count);
    {
        VLSelectObject selected(memory.Get(), bitmap.Get());
        DrawIconEx(memory.Get(), 0, 0, icon, size, size, 0, nullptr, DI_MASK);
        GdiFlush();
        mask.assign(bits, bits + count);
        std::fill(bits, bits + count, 0u);
        DrawIconEx(memory.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        GdiFlush();
    }
    for (size_t i = 0; i < count; ++i) {
        if ((mask[i] & 0x00FFFFFF) == 0x00FFFFFF) bits[i] = 0;
        else if ((bits[i] & 0xFF000000) == 0) bits[i] |= 0xFF000000;
    }
    auto image = std::make_unique<VLImageInfo>();
    image->bitmap = std::move(bitmap);
    image->width = size;
    image->height = size;
    image->hasAlpha = true;
    return image;
}

VLBitmap CreateReflectionBitmap(const RECT& rect, const VLImageInfo& image)
{
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    if (!ReadBitmapPixels(image.bitmap.Get(), pixels, width, height)) return VLBitmap();
    const int n = std::min<int>(rect.bottom - rect.top, height);
    uint32_t* bits = nullptr;
    VLBitmap reflection = CreateDib32(width, n, &bits);
    if (!reflection) return reflection;
    // Row i of the strip (counted from its far end) fades in from 10 % of
    // the way; the level of row i is t(i), its factor t·0.9/255 truncated.
    const double q = (1 - 0.9) * n;
    auto factor = [&](int i) {
        const int t = i < q ? 0 : int((i - q) * 229.5 / (0.9 * n));
        return uint32_t(t * 255 * 229.5 / 65025);
    };
    for (int j = 0; j < n; ++j) {
        const uint32_t k = factor(n - 1 - j);
        const uint32_t* from = &pixels[size_t(height - 1 - j) * width];
        uint32_t* to = bits + size_t(j) * width;
        for (int x = 0; x < width; ++x) {
            uint32_t word = 0;
            for (int shift = 0; shift < 32; shift += 8) word |= (Channel(from[x], shift) * k / 255) << shift;
            to[x] = word;
        }
    }
    return reflection;
}

VLBitmap CreateRotatedBitmap(double angle, const VLImageInfo& image, RECT& rect)
{
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    if (!ReadBitmapPixels(image.bitmap.Get(), pixels, w, h)) return VLBitmap();
    const double radians = -angle * 3.14159265358979323846 / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (double x : {-0.5, w - 0.5}) {
        for (double y : {-0.5, h - 0.5}) {
            const double tx = x * c - y * s, ty = x * s + y * c;
            minX = std::min(minX, tx), maxX = std::max(maxX, tx);
            minY = std::min(minY, ty), maxY = std::max(maxY, ty);
        }
    }
    const int W = int(maxX - minX + 0.5), H = int(maxY - minY + 0.5);
    uint32_t* bits = nullptr;
    VLBitmap rotated = CreateDib32(W, H, &bits);
    if (!rotated) return rotated;
    rect.left -= (W - w) / 2;
    rect.top -= (H - h) / 2;
    rect.right = rect.left + W;
    rect.bottom = rect.top + H;
    // Each new pixel looks up where it came from, turned back about the
    // centres; the four neighbours there are mixed in premultiplied form, a
    // neighbour outside the image counting as transparent.
    const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0, ix = (w - 1) / 2.0, iy = (h - 1) / 2.0;
    auto at = [&](int x, int y) -> uint32_t {
        return x < 0 || y < 0 || x >= w || y >= h ? 0 : pixels[size_t(y) * w + x];
    };
    for (int Y = 0; Y < H; ++Y) {
        for (int X = 0; X < W; ++X) {
            const double dx = X - cx, dy = Y - cy;
            const double sx = dx * c + dy * s + ix, sy = -dx * s + dy * c + iy;
            const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
            uint32_t word = 0;
            if (x0 >= -1 && x0 < w && y0 >= -1 && y0 < h) {
                const double fx = sx - x0, fy = sy - y0;
                const uint32_t p00 = at(x0, y0), p10 = at(x0 + 1, y0), p01 = at(x0, y0 + 1), p11 = at(x0 + 1, y0 + 1);
                for (int shift = 0; shift < 32; shift += 8) {
                    const double v = (Channel(p00, shift) * (1 - fx) + Channel(p10, shift) * fx) * (1 - fy) +
                                     (Channel(p01, shift) * (1 - fx) + Channel(p11, shift) * fx) * fy;
                    word |= uint32_t(std::lround(v)) << shift;
                }
            }
            bits[size_t(Y) * W + X] = word;
        }
    }
    return rotated;
}

VLBitmap CreateRegionMaskedBitmap(const RECT& rect, const VLImageInfo& image, const VLImageInfo& region,
                                  uint32_t colour)
{
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    std::vector<uint32_t> pixels, regionPixels;
    int iw = 0, ih = 0, rw = 0, rh = 0;
    // Both are read only inside their own size: the image must cover the
    // rectangle's size and the region image must be exactly that size.
    if (!ReadBitmapPixels(region.bitmap.Get(), regionPixels, rw, rh) || rw != w || rh != h ||
        !ReadBitmapPixels(image.bitmap.Get(), pixels, iw, ih) || iw < w || ih < h)
        return VLBitmap();
    uint32_t* bits = nullptr;
    VLBitmap masked = CreateDib32(w, h, &bits);
    if (!masked) return masked;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (regionPixels[size_t(y) * w + x] == colour) continue;
            const uint32_t pixel = pixels[size_t(y) * iw + x];
            bits[size_t(y) * w + x] = (pixel & 0x00FFFFFF) | (image.hasAlpha ? pixel & 0xFF000000 : 0xFF000000);
        }
    }
    return masked;
}

} // namespace Velora::VLRenderEngine
