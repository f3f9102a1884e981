#include "ui/core/RenderClip.h"

namespace Velora {

void VLRenderClip::Begin(VLRenderClip& clip, HDC hdc, const RECT& rect)
{
    Restore(clip);
    RECT box{};
    GetClipBox(hdc, &box);
    clip.oldRegion.Reset(CreateRectRgnIndirect(&box));
    clip.rect = rect;
    clip.hdc = hdc;
}

void VLRenderClip::ClipToRect(VLRenderClip& clip, HDC hdc, const RECT& rect)
{
    Begin(clip, hdc, rect);
    clip.newRegion.Reset(CreateRectRgnIndirect(&rect));
    if (clip.newRegion) ExtSelectClipRgn(hdc, clip.newRegion.Get(), RGN_AND);
}

void VLRenderClip::ClipToRoundRect(VLRenderClip& clip, HDC hdc, const RECT& rect, int ellipse, int roundBottom)
{
    Begin(clip, hdc, rect);
    if (ellipse == 0) return;
    clip.newRegion.Reset(CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, ellipse, ellipse));
    if (!clip.newRegion) return;
    if (roundBottom == 0) {
        VLRegion square(CreateRectRgn(rect.left, rect.top + ellipse, rect.right, rect.bottom));
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
