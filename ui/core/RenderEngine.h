// The render engine: stateless drawing operations of the skinned UI, grouped
// under one name. Images are named by descriptors (see ImageDescriptor.h) and
// come from the caches of VLUIResources; colours are 0xAARRGGBB, drawn with
// plain GDI when opaque and blended with AlphaBlend otherwise.
#pragma once

#include "base/GdiScope.h"
#include "ui/core/UIResources.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Velora {

namespace VLRenderEngine {

// Forwarders to the caches of VLUIResources::Instance().
VLImageInfo* GetFileImage(const std::wstring& name, uint32_t mask, bool enciphered);
VLImageInfo* GetResourceImage(int id, const std::wstring& type, uint32_t mask);
std::wstring AddFileImage(const std::wstring& name, std::unique_ptr<VLImageInfo> image);

// Draws the image a descriptor names inside the control's rectangle, limited
// to the paint rectangle; modifier (may be null) is a second descriptor whose
// pairs override. False only when neither the image nor its icon fallback
// can be had; a null hdc only loads the image.
bool DrawImageString(HDC hdc, const RECT& control, const wchar_t* descriptor, const RECT& paint,
                     const wchar_t* modifier);

// Copies source of the bitmap to dest as a nine-grid with corner widths,
// drawing only the cells that meet paint; opaque (BitBlt/StretchBlt) when the
// bitmap has no alpha and fade is 255, else AlphaBlend with fade.
void DrawImage(HDC hdc, HBITMAP bitmap, const RECT& dest, const RECT& paint, bool hasAlpha, BYTE fade, bool hole,
               const RECT& corner, const RECT& source);

// Derived images. The icon becomes a size x size bottom-up DIB with alpha.
std::unique_ptr<VLImageInfo> CreateIconImage(HDC hdc, HICON icon, int size);
// The reflection strip below an image: min(rectangle height, image height)
// rows, the image's bottom row first, fading out.
VLBitmap CreateReflectionBitmap(const RECT& rect, const VLImageInfo& image);
// The whole image turned by angle degrees about its centre; rect becomes the
// turned image's bounding box centred where the image would sit.
VLBitmap CreateRotatedBitmap(double angle, const VLImageInfo& image, RECT& rect);
// The rectangle's size of the image, showing only the pixels whose
// region-image pixel word differs from colour.
VLBitmap CreateRegionMaskedBitmap(const RECT& rect, const VLImageInfo& image, const VLImageInfo& region,
                                  uint32_t colour);

// Fills with the colour; layered windows always blend, so that the alpha of
// the fill reaches the window.
void DrawColor(HDC hdc, const RECT& rect, uint32_t colour, bool layered);
// Frames drawn inside the rectangle.
void DrawRect(HDC hdc, const RECT& rect, int penWidth, uint32_t colour);
void DrawRoundRect(HDC hdc, const RECT& rect, int penWidth, int ellipseWidth, int ellipseHeight, uint32_t colour);

// The window region width x height without the fully transparent pixels of
// the corner blocks of the descriptor's image; nothing when the descriptor
// has no corner or its image cannot be loaded.
VLRegion CreateCornerRegion(const wchar_t* descriptor, int width, int height);

} // namespace VLRenderEngine

} // namespace Velora
