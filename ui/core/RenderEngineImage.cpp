// Image descriptors drawn: fetching the image, its derived forms and the
// nine-grid copy.
#include "ui/core/RenderEngine.h"

#include "ui/core/ImageDescriptor.h"
#include "ui/core/RenderClip.h"
#include "ui/core/Saturated.h"

#include <algorithm>
#include <array>
#include <cwchar>

namespace Velora::VLRenderEngine {

namespace {

bool Intersects(const RECT& a, const RECT& b)
{
    RECT both;
    return IntersectRect(&both, &a, &b) != FALSE;
}

bool RectIsZero(const RECT& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

VLImageInfo* FetchImage(const std::wstring& name, const std::wstring& resType, uint32_t mask, bool enciphered)
{
    if (resType.empty()) return GetFileImage(name, mask, enciphered);
    return GetResourceImage(_wtoi(name.c_str()), resType, mask);
}

// The descriptor's icon, made an image and put in the cache its name would
// have been found in, so that the next draw finds it there.
VLImageInfo* LoadIconFallback(HDC hdc, const VLImageDescriptor& descriptor)
{
    VLUIResources* resources = VLUIResources::Instance();
    const bool fromFile = descriptor.resType.empty();
    HICON icon = static_cast<HICON>(
        fromFile ? LoadImageW(nullptr, descriptor.name.c_str(), IMAGE_ICON, descriptor.iconSize, descriptor.iconSize,
                              LR_LOADFROMFILE)
                 : LoadImageW(resources->GetInstance(), MAKEINTRESOURCEW(_wtoi(descriptor.name.c_str())), IMAGE_ICON,
                              descriptor.iconSize, descriptor.iconSize, 0));
    if (!icon) return nullptr;
    std::unique_ptr<VLImageInfo> image = CreateIconImage(hdc, icon, descriptor.iconSize);
    DestroyIcon(icon);
    if (!image) return nullptr;
    if (fromFile) {
        resources->AddFileImage(descriptor.name, std::move(image));
        return GetFileImage(descriptor.name, descriptor.mask, descriptor.encrypt);
    }
    const int id = resources->AddResourceImage(_wtoi(descriptor.name.c_str()), std::move(image));
    return GetResourceImage(id, descriptor.resType, descriptor.mask);
}

RECT Destination(const RECT& control, const VLImageDescriptor& descriptor)
{
    const RECT& dest = descriptor.dest;
    // The descriptor's numbers are a markup's: placed without wrapping.
    const auto at = [](LONG from, LONG offset) { return Saturated(int64_t{from} + offset); };
    if (descriptor.right)
        return {Saturated(int64_t{control.right} - dest.right), at(control.top, dest.top), control.right,
                at(control.top, dest.bottom)};
    return {at(control.left, dest.left), at(control.top, dest.top),
            dest.right != 0 ? at(control.left, dest.right) : control.right,
            dest.bottom != 0 ? at(control.top, dest.bottom) : control.bottom};
}

// A derived bitmap is smaller than the image it comes from, so the part
// drawn is kept inside it.
RECT SourceWithin(const RECT& source, HBITMAP bitmap)
{
    BITMAP object{};
    GetObjectW(bitmap, sizeof(object), &object);
    const RECT bounds{0, 0, object.bmWidth, std::abs(object.bmHeight)};
    RECT inside{};
    IntersectRect(&inside, &source, &bounds);
    return inside;
}

struct Cell {
    RECT dest; // left, top, right, bottom
    RECT source;
};

// Whether every pixel of the part of a 32-bit DIB section is opaque; false
// for any other bitmap or a part reaching outside it.
bool PartOpaque(const DIBSECTION& dib, const RECT& part)
{
    const LONG height = std::abs(dib.dsBmih.biHeight);
    if (!dib.dsBm.bmBits || dib.dsBm.bmBitsPixel != 32 || part.left < 0 || part.top < 0 ||
        part.right > dib.dsBm.bmWidth || part.bottom > height)
        return false;
    for (LONG y = part.top; y < part.bottom; ++y) {
        const LONG row = dib.dsBmih.biHeight > 0 ? height - 1 - y : y;
        const auto* pixels = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(dib.dsBm.bmBits) +
                                                               size_t(row) * dib.dsBm.bmWidthBytes);
        for (LONG x = part.left; x < part.right; ++x) {
            if ((pixels[x] >> 24) != 0xFF) return false;
        }
    }
    return true;
}

// GDI works out a copy over its whole destination, and one far larger than
// any screen faults inside it: such a cell is cut to what is seen.
constexpr int64_t kMaxCellExtent = 1 << 16;

// Cuts one axis of a cell, destination [dl, dr) and source [sl, sr), to the
// seen span [vl, vr) of the destination when the axis is beyond any screen's
// size: exactly when it is drawn at its own size, else taking the source span
// that covers what is seen.
void ClipAxis(LONG& dl, LONG& dr, LONG& sl, LONG& sr, LONG vl, LONG vr)
{
    const int64_t dw = int64_t(dr) - dl, sw = int64_t(sr) - sl;
    if (dw <= kMaxCellExtent) return;
    if (dw == sw) {
        sl += vl - dl;
        sr -= dr - vr;
    } else {
        const int64_t first = (int64_t(vl) - dl) * sw / dw, end = ((int64_t(vr) - dl) * sw + dw - 1) / dw;
        sr = LONG(sl + std::max(end, first + 1));
        sl = LONG(sl + first);
    }
    dl = vl;
    dr = vr;
}

// The cell cut to what paint shows of it; false when nothing of it is drawn.
bool CutCell(Cell& cell, const RECT& paint)
{
    // Corners wider than the image or the destination leave nothing to draw
    // here; a negative size would mirror or make AlphaBlend fail.
    if (cell.dest.right <= cell.dest.left || cell.dest.bottom <= cell.dest.top ||
        cell.source.right <= cell.source.left || cell.source.bottom <= cell.source.top)
        return false;
    RECT seen{};
    if (!IntersectRect(&seen, &cell.dest, &paint)) return false;
    ClipAxis(cell.dest.left, cell.dest.right, cell.source.left, cell.source.right, seen.left, seen.right);
    ClipAxis(cell.dest.top, cell.dest.bottom, cell.source.top, cell.source.bottom, seen.top, seen.bottom);
    return true;
}

void Stretch(HDC hdc, const Cell& cell, HDC memory)
{
    StretchBlt(hdc, cell.dest.left, cell.dest.top, cell.dest.right - cell.dest.left, cell.dest.bottom - cell.dest.top,
               memory, cell.source.left, cell.source.top, cell.source.right - cell.source.left,
               cell.source.bottom - cell.source.top, SRCCOPY);
}

void DrawCell(HDC hdc, HDC memory, Cell cell, const RECT& paint, bool opaque, BYTE fade, const DIBSECTION* dib)
{
    if (!CutCell(cell, paint)) return;
    const int dw = cell.dest.right - cell.dest.left, dh = cell.dest.bottom - cell.dest.top;
    const int sw = cell.source.right - cell.source.left, sh = cell.source.bottom - cell.source.top;
    // An opaque cell of a translucent image (the sides and middle of a
    // rounded button) blends to exactly its source pixels: a plain copy gives
    // the same result without AlphaBlend's per-pixel cost.
    if (opaque || (fade == 255 && dib && PartOpaque(*dib, cell.source))) {
        Stretch(hdc, cell, memory);
        return;
    }
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    AlphaBlend(hdc, cell.dest.left, cell.dest.top, dw, dh, memory, cell.source.left, cell.source.top, sw, sh, blend);
}

} // namespace

void StretchCopy(HDC hdc, const RECT& dest, HDC source, const RECT& part)
{
    Cell cell{dest, part};
    RECT seen{};
    if (VLRenderClip::VisiblePart(hdc, dest, seen) && CutCell(cell, seen)) Stretch(hdc, cell, source);
}

VLImageInfo* GetFileImage(const std::wstring& name, uint32_t mask, bool enciphered)
{
    return VLUIResources::Instance()->GetFileImage(name, mask, enciphered);
}

VLImageInfo* GetResourceImage(int id, const std::wstring& type, uint32_t mask)
{
    return VLUIResources::Instance()->GetResourceImage(id, type, mask);
}

std::wstring AddFileImage(const std::wstring& name, std::unique_ptr<VLImageInfo> image)
{
    return VLUIResources::Instance()->AddFileImage(name, std::move(image));
}

bool DrawImageString(HDC hdc, const RECT& control, const wchar_t* descriptorText, const RECT& paint,
                     const wchar_t* modifier)
{
    VLImageDescriptor descriptor(descriptorText);
    descriptor.Parse(modifier);
    RECT rect = Destination(control, descriptor);

    VLImageInfo* image = FetchImage(descriptor.name, descriptor.resType, descriptor.mask, descriptor.encrypt);
    if (!image) {
        if (!descriptor.icon) return false;
        image = LoadIconFallback(hdc, descriptor);
        if (!image) return false;
    }
    if (!hdc) return true;
    RECT source = descriptor.source;
    if (RectIsZero(source)) source = {0, 0, image->width, image->height};
    BYTE fade = descriptor.fade;
    if (descriptor.alphaClose) {
        // Kept in the cached record: the image stays opaque for every later draw.
        image->hasAlpha = false;
        fade = 255;
    }
    if (!Intersects(rect, control) || !Intersects(rect, paint)) return true;

    VLRenderClip clip;
    if (descriptor.round.x != 0 || descriptor.round.y != 0) {
        RECT visible{};
        IntersectRect(&visible, &rect, &paint);
        VLRenderClip::ClipToRoundRect(clip, hdc, visible, descriptor.round.x, descriptor.round.y);
    }
    const RECT& corner = descriptor.corner;
    if (!descriptor.regionImage.empty()) {
        VLImageInfo* region = FetchImage(descriptor.regionImage, descriptor.regionResType, 0, false);
        VLBitmap masked;
        if (region) masked = CreateRegionMaskedBitmap(rect, *image, *region, descriptor.regionMask);
        if (masked)
            DrawImage(hdc, masked.Get(), rect, paint, true, fade, descriptor.hole, corner,
                      SourceWithin(source, masked.Get()));
    } else if (descriptor.reverse) {
        // Derived bitmaps fade or leave corners transparent, so they are
        // always blended, whatever the image they come from.
        VLBitmap reflection = CreateReflectionBitmap(rect, *image);
        if (reflection)
            DrawImage(hdc, reflection.Get(), rect, paint, true, fade, descriptor.hole, corner,
                      SourceWithin(source, reflection.Get()));
    } else if (descriptor.rotate != 0.0) {
        VLBitmap rotated = CreateRotatedBitmap(descriptor.rotate, *image, rect);
        if (rotated)
            DrawImage(hdc, rotated.Get(), rect, paint, true, fade, descriptor.hole, corner,
                      RECT{0, 0, rect.right - rect.left, rect.bottom - rect.top});
    } else {
        DrawImage(hdc, image->bitmap.Get(), rect, paint, image->hasAlpha, fade, descriptor.hole, corner, source);
    }
    VLRenderClip::Restore(clip);
    return true;
}

void DrawImage(HDC hdc, HBITMAP bitmap, const RECT& D, const RECT& P, bool hasAlpha, BYTE fade, bool hole,
               const RECT& K, const RECT& S)
{
    if (!bitmap) return;
    // One source DC per thread: making and deleting a DC for every image
    // cost more than the copying itself.
    thread_local VLMemoryDC memory(CreateCompatibleDC(nullptr));
    if (!memory) return;
    VLSelectObject selected(memory.Get(), bitmap);
    SetStretchBltMode(hdc, COLORONCOLOR);
    const bool opaque = !hasAlpha && fade == 255;
    const bool noCorners = K.left == 0 && K.top == 0 && K.right == 0 && K.bottom == 0;
    if (opaque && noCorners && D.right - D.left == S.right - S.left && D.bottom - D.top == S.bottom - S.top) {
        RECT part{};
        if (!IntersectRect(&part, &P, &D)) return;
        BitBlt(hdc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(),
               S.left + part.left - D.left, S.top + part.top - D.top, SRCCOPY);
        return;
    }
    // Destination and source columns and rows of the grid: outer edges and
    // the two corner lines between them, held within the layout's bound so
    // that no cell's size wraps.
    const auto grid = [](LONG from, LONG to, LONG first, LONG last) -> std::array<LONG, 4> {
        return {Saturated(from), Saturated(int64_t{from} + first), Saturated(int64_t{to} - last), Saturated(to)};
    };
    const std::array<LONG, 4> dx = grid(D.left, D.right, K.left, K.right), dy = grid(D.top, D.bottom, K.top, K.bottom);
    const std::array<LONG, 4> sx = grid(S.left, S.right, K.left, K.right), sy = grid(S.top, S.bottom, K.top, K.bottom);
    auto cell = [&](int column, int row) {
        return Cell{{dx[column], dy[row], dx[column + 1], dy[row + 1]},
                    {sx[column], sy[row], sx[column + 1], sy[row + 1]}};
    };
    DIBSECTION dib{};
    const bool isDib = !opaque && GetObjectW(bitmap, sizeof(dib), &dib) == int(sizeof(dib));
    if (isDib) GdiFlush(); // the pixels are read directly
    const DIBSECTION* cells = isDib ? &dib : nullptr;
    // Middle first, then top-left, top, top-right, left, right, bottom-left,
    // bottom, bottom-right; a border cell only where its corner widths are set.
    if (!hole) DrawCell(hdc, memory.Get(), cell(1, 1), P, opaque, fade, cells);
    const bool columnUsed[3] = {K.left > 0, true, K.right > 0};
    const bool rowUsed[3] = {K.top > 0, true, K.bottom > 0};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if ((row == 1 && column == 1) || !rowUsed[row] || !columnUsed[column]) continue;
            DrawCell(hdc, memory.Get(), cell(column, row), P, opaque, fade, cells);
        }
    }
}

} // namespace Velora::VLRenderEngine
