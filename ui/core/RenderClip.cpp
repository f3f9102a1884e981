#include "ui/core/RenderClip.h"

#include <algorithm>

namespace Velora {

namespace {

// GDI builds a round region along its corner ellipse, one step per pixel: an
// ellipse beyond any screen would keep it busy for minutes.
constexpr LONG kMaxEllipse = 1 << 15;

} // namespace

void VLRenderClip::Begin(VLRenderClip& clip, HDC hdc, const RECT& rect)
{
    Restore(clip);
    RECT box{};
    GetClipBox(hdc, &box);
    clip.oldRegion.Reset(CreateRectRgnIndirect(&box));
    clip.rect = rect;
    clip.hdc = hdc;
}

bool VLRenderClip::VisiblePart(HDC hdc, const RECT& rect, RECT& seen)
{
    RECT box{};
    seen = {};
    return GetClipBox(hdc, &box) != ERROR && IntersectRect(&seen, &rect, &box);
}

void VLRenderClip::ClipToRect(VLRenderClip& clip, HDC hdc, const RECT& rect)
{
    Begin(clip, hdc, rect);
    // The region is ANDed with the clip in force: the part of rect outside it
    // changes nothing.
    RECT seen{};
    VisiblePart(hdc, rect, seen);
    clip.newRegion.Reset(CreateRectRgnIndirect(&seen));
    if (clip.newRegion) ExtSelectClipRgn(hdc, clip.newRegion.Get(), RGN_AND);
}

void VLRenderClip::ClipToRoundRect(VLRenderClip& clip, HDC hdc, const RECT& rect, int ellipse, int roundBottom)
{
    Begin(clip, hdc, rect);
    if (ellipse == 0) return;
    // GDI narrows the ellipse to the rectangle on each axis; when even that
    // is beyond any screen, the rectangle and the corner are narrowed to what
    // can be seen.
    RECT shape = rect;
    LONG width = ellipse, height = ellipse;
    const LONG corner = std::abs(LONG(ellipse));
    if (std::min(corner, rect.right - rect.left) > kMaxEllipse ||
        std::min(corner, rect.bottom - rect.top) > kMaxEllipse) {
        RECT box{};
        GetClipBox(hdc, &box);
        IntersectRect(&shape, &rect, &box);
        width = std::min(corner, shape.right - shape.left);
        height = std::min(corner, shape.bottom - shape.top);
    }
    clip.newRegion.Reset(
        CreateRoundRectRgn(shape.left, shape.top, shape.right + 1, shape.bottom + 1, int(width), int(height)));
    if (!clip.newRegion) return;
    if (roundBottom == 0) {
        VLRegion square(CreateRectRgn(shape.left, shape.top + height, shape.right, shape.bottom));
        if (square) CombineRgn(clip.newRegion.Get(), clip.newRegion.Get(), square.Get(), RGN_OR);
    }
    ExtSelectClipRgn(hdc, clip.newRegion.Get(), RGN_AND);
}

void VLRenderClip::Restore(VLRenderClip& clip)
{
    if (clip.hdc && clip.oldRegion) SelectClipRgn(clip.hdc, clip.oldRegion.Get());
    clip.oldRegion.Reset();
    clip.newRegion.Reset();
    clip.hdc = nullptr;
}

} // namespace Velora
