// How a control paints itself: which of its per-state looks is drawn, in
// which order, and what happens when an image is missing.
#include "ui/core/Control.h"

#include "ui/core/PaintManager.h"
#include "ui/core/RenderClip.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"

#include <utility>

namespace Velora {

namespace {

// The gap between two copies of a text that rolls through its control.
constexpr int kRollGap = 10;

// The text looks' choice: the first of disabled, selected, pushed and hot
// whose state bit is set and whose value is set, else the normal value.
template <typename T, typename IsSet>
const T& ChooseTextLook(uint32_t state, const T (&values)[kTextStateCount], IsSet isSet)
{
    static const std::pair<uint32_t, int> order[] = {{kStateDisabled, kTextDisabled},
                                                     {kStateSelected, kTextSelected},
                                                     {kStatePushed, kTextPushed},
                                                     {kStateHot, kTextHot}};
    for (const auto& [bit, index] : order) {
        if ((state & bit) && isSet(values[index])) return values[index];
    }
    return values[kTextNormal];
}

// The shadow of plain text: red, green and blue inverted; a translucent
// text (alpha 0x80 or more) gets a half-transparent shadow, any other an
// opaque one.
uint32_t PlainShadowColour(uint32_t colour)
{
    return (colour & 0x80000000u) + ~(colour & 0x00FFFFFFu);
}

// The shadow of a rolling text that fits: alpha 0x80 or nothing.
uint32_t FittingRollShadowColour(uint32_t colour)
{
    return (colour & 0x80000000u) | (~colour & 0x00FFFFFFu);
}

RECT Offset(RECT rect, int dx, int dy)
{
    OffsetRect(&rect, dx, dy);
    return rect;
}

// What one text draw of a control needs besides the rectangle.
struct TextLook {
    HDC hdc;
    VLPaintManager* manager;
    const std::wstring& text;
    uint32_t colour;
    const std::wstring& font;
    int dx, dy; // shadow offsets
    int lineSpacing;
    bool alpha;

    void Draw(const RECT& rect, uint32_t style, uint32_t shadowColour) const
    {
        if (dx != 0 || dy != 0)
            VLRenderEngine::DrawText(hdc, manager, Offset(rect, dx, dy), text, shadowColour, font, style, lineSpacing,
                                     alpha);
        VLRenderEngine::DrawText(hdc, manager, rect, text, colour, font, style, lineSpacing, alpha);
    }
};

int WidthOf(const RECT& rect)
{
    return rect.right - rect.left;
}

} // namespace

void VLControl::Paint(HDC hdc, const RECT& paint)
{
    if (!IsVisible()) return;
    if (!IntersectRect(&paintRect, &paint, &pos_) || !hdc) return;
    if (IsFocused())
        state |= kStateFocused;
    else
        state &= ~kStateFocused;
    if (!IsEnabled())
        state |= kStateDisabled;
    else
        state &= ~kStateDisabled;
    VLRenderClip clip;
    if (roundCorner.cx != 0) VLRenderClip::ClipToRoundRect(clip, hdc, pos_, roundCorner.cx, roundCorner.cy);
    PaintBkColor(hdc);
    PaintBkImage(hdc);
    PaintStateImage(hdc);
    PaintText(hdc, false);
    PaintBorder(hdc);
    VLRenderClip::Restore(clip);
}

void VLControl::PaintBkColor(HDC hdc)
{
    static const std::pair<uint32_t, int> order[] = {{kStateDisabled, kImageDisabled},
                                                     {kStateSelected, kImageSelected},
                                                     {kStatePushed, kImagePushed},
                                                     {kStateHot, kImageHot},
                                                     {kStateFocused, kImageFocused}};
    uint32_t colour = bkColors[kImageNormal];
    for (const auto& [bit, index] : order) {
        if ((state & bit) && bkColors[index] != 0) {
            colour = bkColors[index];
            break;
        }
    }
    if (colour == 0) return;
    VLRenderEngine::DrawColor(hdc, pos_, colour, manager_ && manager_->IsLayered());
}

bool VLControl::DrawFirstImage(HDC hdc, std::initializer_list<std::wstring*> candidates, const wchar_t* modifier)
{
    for (std::wstring* descriptor : candidates) {
        if (!descriptor || descriptor->empty()) continue;
        if (DrawImage(hdc, descriptor->c_str(), modifier)) return true;
        descriptor->clear();
    }
    return false;
}

void VLControl::PaintBkImage(HDC hdc)
{
    // The selected background image is a subclass's to draw.
    auto when = [this](uint32_t bit, int index) { return (state & bit) ? &bkImages[index] : nullptr; };
    DrawFirstImage(hdc, {when(kStateDisabled, kImageDisabled), when(kStatePushed, kImagePushed),
                         when(kStateHot, kImageHot), when(kStateFocused, kImageFocused), &bkImages[kImageNormal]});
}

void VLControl::PaintStateImage(HDC hdc)
{
    auto when = [this](uint32_t bit, int index) { return (state & bit) ? &images[index] : nullptr; };
    if (DrawFirstImage(hdc, {when(kStateDisabled, kImageDisabled), when(kStateSelected, kImageSelected),
                             when(kStatePushed, kImagePushed), when(kStateHot, kImageHot),
                             when(kStateFocused, kImageFocused)}))
        return;
    if (images[kImageNormal].empty()) return;
    // Running effects turn the normal image and pick the part of it shown.
    std::wstring descriptor = images[kImageNormal];
    VLRenderEngine::SetDescriptorRotate(descriptor, VLRenderEngine::GetDescriptorRotate(effectDescriptor));
    const RECT source = VLRenderEngine::GetDescriptorSource(effectDescriptor);
    if (!IsRectEmpty(&source)) VLRenderEngine::SetDescriptorSource(descriptor, source);
    if (!DrawImage(hdc, descriptor.c_str(), nullptr)) images[kImageNormal].clear();
}

VLControl::VLTextLook VLControl::CurrentTextLook() const
{
    return {ChooseTextLook(state, textPadding,
                           [](const RECT& r) { return r.left != 0 || r.top != 0 || r.right != 0 || r.bottom != 0; }),
            ChooseTextLook(state, textColors_, [](uint32_t c) { return c != 0; }),
            ChooseTextLook(state, fonts, [](const std::wstring& f) { return !f.empty(); })};
}

void VLControl::PaintText(HDC hdc, bool alpha)
{
    if (text_.empty()) return;
    const VLTextLook chosen = CurrentTextLook();
    const RECT& padding = chosen.padding;
    const uint32_t colour = chosen.colour;
    const std::wstring& font = chosen.font;
    const RECT rect = Saturated(pos_, padding);
    const int roll = VLRenderEngine::GetDescriptorRollText(effectDescriptor);
    const bool drawAlpha = (manager_ && manager_->IsLayered()) || alpha;

    if (HasFlag(kFlagEnterRollText) && roll != 0) {
        const TextLook look{hdc, manager_, text_, colour, font, shadowX, shadowY, rowHeight, drawAlpha};
        const int width = WidthOf(VLRenderEngine::MeasureText(hdc, manager_, text_, font));
        if (width <= WidthOf(rect)) {
            // The text fits again: it stops rolling and stands still.
            if (manager_) manager_->GetAnimations().StopAnimation(this, kEffectRollText);
            look.Draw(rect, textStyle | (autoCenter ? DT_CENTER : 0), FittingRollShadowColour(colour));
            return;
        }
        VLRenderClip clip;
        VLRenderClip::ClipToRect(clip, hdc, rect);
        for (int left = rect.left - roll; left < rect.right; left += width + kRollGap) {
            if (left + width > rect.left)
                look.Draw({left, rect.top, left + width, rect.bottom}, textStyle, PlainShadowColour(colour));
        }
        VLRenderClip::Restore(clip);
        return;
    }
    if (htmlText) {
        RECT area = rect;
        VLRenderEngine::DrawRichText(hdc, manager_, area, text_, colour, font, textStyle);
        return;
    }
    std::wstring text = text_;
    uint32_t style = textStyle;
    if (autoCenter) {
        // Shortened until it fits; the measure after the first uses the
        // normal font whichever font draws.
        if (WidthOf(VLRenderEngine::MeasureText(hdc, manager_, text, font)) > WidthOf(rect)) {
            text.resize(VLRenderEngine::LongestFittingPrefix(text.size() - 1, [&](size_t count) {
                return WidthOf(VLRenderEngine::MeasureText(hdc, manager_, text.substr(0, count), fonts[kTextNormal])) <=
                       WidthOf(rect);
            }));
        }
        style |= DT_CENTER;
    }
    const TextLook look{hdc, manager_, text, colour, font, shadowX, shadowY, rowHeight, drawAlpha};
    look.Draw(rect, style, PlainShadowColour(colour));
}

void VLControl::PaintBorder(HDC hdc)
{
    if (borderColor == 0 || borderSize <= 0) return;
    if (roundCorner.cx != 0)
        VLRenderEngine::DrawRoundRect(hdc, pos_, borderSize, roundCorner.cx, roundCorner.cy, borderColor);
    else
        VLRenderEngine::DrawRect(hdc, pos_, borderSize, borderColor);
}

bool VLControl::DrawImage(HDC hdc, const wchar_t* descriptor, const wchar_t* modifier)
{
    return VLRenderEngine::DrawImageString(hdc, pos_, descriptor, paintRect, modifier);
}

} // namespace Velora
