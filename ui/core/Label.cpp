#include "ui/core/Label.h"

#include "ui/core/DibSurface.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"

#include <algorithm>

namespace Velora {

namespace {

// 0x00BBGGRR, the layout of a COLORREF.
uint32_t PackedBgr(uint32_t red, uint32_t green, uint32_t blue)
{
    return blue << 16 | green << 8 | red;
}

} // namespace

int VLLabel::GetClassId() const
{
    return 6;
}

VLControl* VLLabel::GetInterface(int id)
{
    return id == 6 ? this : VLContainer::GetInterface(id);
}

void VLLabel::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"text_antialias")
        textAntialias_ = value == L"true";
    else
        VLControl::SetAttribute(name, value);
}

void VLLabel::CoverText(uint32_t* pixels, size_t count, uint32_t argb)
{
    const uint32_t red = argb >> 16 & 0xFF, green = argb >> 8 & 0xFF, blue = argb & 0xFF;
    const uint32_t colour = PackedBgr(red, green, blue);
    // Black text has no brightness to compare with: GDI's pixels stay as drawn.
    if (colour == 0) return;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pixel = pixels[i];
        const uint32_t packed = PackedBgr(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
        if (packed == colour || (pixel >> 24) == 0) continue;
        // Above 1 the bytes would wrap into specks of stray colour.
        const float f = std::min(1.0f, static_cast<float>(packed) / static_cast<float>(colour));
        const auto scale = [f](uint32_t component) { return static_cast<uint32_t>(f * component) & 0xFF; };
        pixels[i] = scale(255) << 24 | scale(red) << 16 | scale(green) << 8 | scale(blue);
    }
}

void VLLabel::PaintText(HDC hdc, bool alpha)
{
    if (!textAntialias_) {
        VLContainer::PaintText(hdc, alpha);
        return;
    }
    if (GetText().empty()) return;
    const VLTextLook look = CurrentTextLook();
    const RECT pos = GetPos();
    RECT area = Saturated(pos, look.padding);
    HFONT font = GetManager() ? GetManager()->GetFont(look.font)->font.Get()
                              : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (!VLRenderEngine::CutTextRect(hdc, area, font, GetText(), textStyle, 0, false)) return;
    const auto draw = [&](HDC dc, const RECT& moved) {
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(look.colour >> 16 & 0xFF, look.colour >> 8 & 0xFF, look.colour & 0xFF));
        VLSelectObject selected(dc, font);
        RECT box = moved;
        DrawTextW(dc, GetText().c_str(), -1, &box, textStyle);
    };
    DrawThroughSurface(hdc, area, 255, draw,
                       [&](uint32_t* pixels, size_t count) { CoverText(pixels, count, look.colour); });
}

} // namespace Velora
