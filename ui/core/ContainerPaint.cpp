// How a container paints: itself, its items clipped to the inner rectangle
// (floating ones to the control) and its bars.
#include "ui/core/Container.h"

#include "ui/core/RenderClip.h"

namespace Velora {

namespace {

bool Meets(const RECT& a, const RECT& b)
{
    RECT common;
    return IntersectRect(&common, &a, &b) != FALSE;
}

} // namespace

void VLContainer::Paint(HDC hdc, const RECT& paintRect)
{
    const RECT pos = GetPos();
    RECT outer;
    if (!IsVisible() || !IntersectRect(&outer, &paintRect, &pos)) return;
    VLRenderClip outerClip;
    VLRenderClip::ClipToRect(outerClip, hdc, outer);
    VLControl::Paint(hdc, paintRect);
    if (!items_.empty()) PaintItems(hdc, paintRect);
    for (VLScrollbar* bar : {verticalBar_.get(), horizontalBar_.get()}) {
        if (bar && bar->IsVisible() && Meets(bar->GetPos(), paintRect)) bar->Paint(hdc, paintRect);
    }
    VLRenderClip::Restore(outerClip);
}

void VLContainer::PaintItems(HDC hdc, const RECT& paintRect)
{
    const RECT pos = GetPos();
    const RECT inner = InnerRect();
    RECT innerPaint;
    const bool innerShown = IntersectRect(&innerPaint, &paintRect, &inner) != FALSE;
    VLRenderClip innerClip;
    if (innerShown) VLRenderClip::ClipToRect(innerClip, hdc, innerPaint);
    const auto paintItem = [&](VLControl* item) {
        if (!IsFloating(item)) {
            if (innerShown && Meets(item->GetPos(), inner)) item->Paint(hdc, paintRect);
            return;
        }
        if (!Meets(item->GetPos(), pos)) return;
        // A floating item may lie over the inset: only the outer clip holds it.
        if (innerShown) VLRenderClip::Restore(innerClip);
        item->Paint(hdc, paintRect);
        if (innerShown) VLRenderClip::ClipToRect(innerClip, hdc, innerPaint);
    };
    std::vector<VLControl*> topmost;
    for (VLControl* item : items_) {
        if (!item->IsVisible() || !Meets(item->GetPos(), paintRect)) continue;
        if (item->layoutFormat & kFormatTopmost)
            topmost.push_back(item);
        else
            paintItem(item);
    }
    for (VLControl* item : topmost) paintItem(item);
    VLRenderClip::Restore(innerClip);
}

} // namespace Velora
