// Fills, frames and the window region cut from an image's transparent
// corners.
#include "ui/core/RenderEngine.h"

#include "ui/core/BitmapPixels.h"
#include "ui/core/DibSurface.h"
#include "ui/core/ImageDescriptor.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <vector>

namespace Velora::VLRenderEngine {

namespace {

COLORREF ToColorRef(uint32_t colour) { return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF); }
BYTE AlphaOf(uint32_t colour) { return BYTE(colour >> 24); }

// A pen shape drawn with GDI: opaque straight onto the DC, translucent through
// a DIB surface whose untouched pixels stay transparent.
void DrawPenShape(HDC hdc, const RECT& rect, int penWidth, uint32_t colour,
                  const std::function<void(HDC, int, int, int, int)>& shape)
{
    VLPen pen(CreatePen(PS_INSIDEFRAME, penWidth, ToColorRef(colour)));
    if (!pen) return;
    if (AlphaOf(colour) == 255) {
        VLSelectObject selectedPen(hdc, pen.Get());
        VLSelectObject selectedBrush(hdc, GetStockObject(NULL_BRUSH));
        shape(hdc, rect.left, rect.top, rect.right, rect.bottom);
        return;
    }
    DrawThroughSurface(hdc, rect, AlphaOf(colour), [&](HDC dc, const RECT& area) {
        VLSelectObject selectedPen(dc, pen.Get());
        VLSelectObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
        shape(dc, area.left, area.top, area.right, area.bottom);
    });
}

// Takes the fully transparent pixels of one block of the image out of the
// region, a run of a row at a time; window x = image x + dx, y likewise.
void CutTransparent(HRGN region, const std::vector<uint32_t>& pixels, int imageWidth, const RECT& block, int dx,
                    int dy)
{
    for (int y = block.top; y < block.bottom; ++y) {
        for (int x = block.left; x < block.right;) {
            if (pixels[size_t(y) * imageWidth + x] != 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < block.right && pixels[size_t(y) * imageWidth + x] == 0) ++x;
            VLRegion run(CreateRectRgn(start + dx, y + dy, x + dx, y + 1 + dy));
            if (run) CombineRgn(region, region, run.Get(), RGN_DIFF);
        }
    }
}

} // namespace

void DrawColor(HDC hdc, const RECT& rect, uint32_t colour, bool layered)
{
    if (AlphaOf(colour) == 0) return;
    if (AlphaOf(colour) == 255 && !layered) {
        SetBkColor(hdc, ToColorRef(colour));
        ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
        return;
    }
    uint32_t* bits = nullptr;
    VLBitmap pixel = CreateDib32(1, 1, &bits);
    if (!pixel) return;
    *bits = colour | 0xFF000000;
    DrawImage(hdc, pixel.Get(), rect, rect, false, AlphaOf(colour), false, RECT{}, RECT{0, 0, 1, 1});
}

void DrawRect(HDC hdc, const RECT& rect, int penWidth, uint32_t colour)
{
    DrawPenShape(hdc, rect, penWidth, colour,
                 [](HDC dc, int l, int t, int r, int b) { Rectangle(dc, l, t, r, b); });
}

void DrawRoundRect(HDC hdc, const RECT& rect, int penWidth, int ellipseWidth, int ellipseHeight, uint32_t colour)
{
    DrawPenShape(hdc, rect, penWidth, colour, [=](HDC dc, int l, int t, int r, int b) {
        RoundRect(dc, l, t, r, b, ellipseWidth, ellipseHeight);
    });
}

VLRegion CreateCornerRegion(const wchar_t* descriptorText, int width, int height)
{
    // The same reading of the descriptor that draws the image, so the region
    // is cut from the very image the window shows.
    const VLImageDescriptor descriptor(descriptorText);
    const RECT& corner = descriptor.corner;
    if (corner.left == 0 && corner.top == 0 && corner.right == 0 && corner.bottom == 0) return VLRegion();
    VLImageInfo* image = descriptor.resType.empty()
                             ? GetFileImage(descriptor.name, descriptor.mask, descriptor.encrypt)
                             : GetResourceImage(_wtoi(descriptor.name.c_str()), descriptor.resType, descriptor.mask);
    std::vector<uint32_t> pixels;
    int iw = 0, ih = 0;
    if (!image || !ReadBitmapPixels(image->bitmap.Get(), pixels, iw, ih)) return VLRegion();
    VLRegion region(CreateRectRgn(0, 0, width, height));
    if (!region) return region;
    // Blocks are kept inside the image, and pixels are taken out (never
    // toggled), so blocks that overlap cannot put a pixel back.
    const int left = std::clamp<int>(corner.left, 0, iw), right = std::clamp<int>(corner.right, 0, iw);
    const int top = std::clamp<int>(corner.top, 0, ih), bottom = std::clamp<int>(corner.bottom, 0, ih);
    const int toRight = width - iw, toBottom = height - ih;
    CutTransparent(region.Get(), pixels, iw, RECT{0, 0, left, top}, 0, 0);
    CutTransparent(region.Get(), pixels, iw, RECT{iw - right, 0, iw, top}, toRight, 0);
    CutTransparent(region.Get(), pixels, iw, RECT{0, ih - bottom, left, ih}, 0, toBottom);
    CutTransparent(region.Get(), pixels, iw, RECT{iw - right, ih - bottom, iw, ih}, toRight, toBottom);
    return region;
}

} // namespace Velora::VLRenderEngine
