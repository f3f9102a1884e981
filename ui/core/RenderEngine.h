// The render engine: stateless operations of the skinned UI, grouped under
// one name. Images are named by descriptors, texts of key='value' pairs that
// name an image and how to draw it ("res='510' restype='PNG' source='0,0,37,29'",
// parsed whole by ImageDescriptor.h, one key at a time by the reader below);
// they come from the caches of VLUIResources. Colours are 0xAARRGGBB, drawn with
// plain GDI when opaque and blended with AlphaBlend otherwise.
#pragma once

#include "base/GdiScope.h"
#include "ui/core/UIResources.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Velora {

class VLPaintManager;

// One value read from a descriptor: each key writes only the member of its
// type.
struct VLDescriptorValue {
    bool flag = false;
    int number = 0;
    std::wstring text;
    double real = 0.0;
    uint32_t colour = 0;
    POINT pair = {0, 0};
    RECT rect = {};
};

// Keys of the single-key reader, numbered in the reader's table order.
enum VLDescriptorKey {
    kDescRes,
    kDescResType,
    kDescMask,
    kDescEncrypt,
    kDescFile,
    kDescIcon,
    kDescIconSize,
    kDescDest,
    kDescSource,
    kDescCorner,
    kDescFade,
    kDescAlphaClose,
    kDescReverse,
    kDescRound,
    kDescRight,
    kDescRotate,
    kDescHole,
    kDescRgnImage,
    kDescRgnResType,
    kDescRgnMask,
    kDescRollText,
    kDescKeyCount,
};

namespace VLRenderEngine {

// 0xAARRGGBB to a GDI colour: alpha dropped, red and blue swapped.
inline COLORREF ToColorRef(uint32_t colour)
{
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// Finds key='...' as a plain substring (so "mask='" also matches inside
// "rgnmask='") and converts a non-empty value by the key's type into value.
// False, with value unchanged, for a missing key, an empty value or a key
// outside the table.
bool GetDescriptorValue(int key, const std::wstring& descriptor, VLDescriptorValue& value);

// Typed getters: an absent key or an empty value gives 0, empty, false or an
// all-zero rectangle.
int GetDescriptorRes(const std::wstring& descriptor);
std::wstring GetDescriptorResType(const std::wstring& descriptor);
uint32_t GetDescriptorMask(const std::wstring& descriptor);
bool GetDescriptorEncrypt(const std::wstring& descriptor);
std::wstring GetDescriptorFile(const std::wstring& descriptor);
RECT GetDescriptorSource(const std::wstring& descriptor);
RECT GetDescriptorCorner(const std::wstring& descriptor);
double GetDescriptorRotate(const std::wstring& descriptor);
int GetDescriptorRollText(const std::wstring& descriptor);

// Writers: an existing pair of the key is replaced wherever its text occurs,
// else the pair is appended (after one blank when the descriptor is not
// empty).
void SetDescriptorRollText(std::wstring& descriptor, int offset);
void SetDescriptorSource(std::wstring& descriptor, const RECT& source);
void SetDescriptorRotate(std::wstring& descriptor, double angle);

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

// Copies part of the bitmap selected into source stretched over dest, cut to
// what hdc's clip lets through as the grid's cells are (StretchBlt, SRCCOPY,
// in hdc's stretch mode).
void StretchCopy(HDC hdc, const RECT& dest, HDC source, const RECT& part);

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
// has no corner, its image cannot be loaded or the shape would take more
// rectangles than a window's shape can afford.
VLRegion CreateCornerRegion(const wchar_t* descriptor, int width, int height);

// Text. Fonts are names the manager resolves (unknown and empty names give
// its default font; with no manager the system's GUI font); styles are
// DrawTextW flags.

// The longest prefix, at most count characters, for which fits answers true
// (the empty prefix always fits). Widths grow with the prefix, so it is
// found by doubling and then halving: the text measured is about as long as
// the answer, however long the whole.
size_t LongestFittingPrefix(size_t count, const std::function<bool(size_t)>& fits);
// The text's extent from 0,0 in the named font.
RECT MeasureText(HDC hdc, VLPaintManager* manager, const std::wstring& text, const std::wstring& font);
// A text's rectangle reaching far beyond hdc's clip box, cut to the text's
// extent (measured in font with the style) and some slack, keeping the edge or
// the middle the text hangs from on each axis: the text lands where it did and
// breaks into the same lines, and GDI never works out a rectangle larger than
// any screen. ownLines: DT_WORDBREAK breaks lines as DrawTextLines does (as
// DrawText draws), else as DrawTextW does. False when none of the text can
// be seen.
bool CutTextRect(HDC hdc, RECT& rect, HFONT font, const std::wstring& text, uint32_t style, int lineSpacing,
                 bool ownLines);
// Plain text. An opaque colour without antialias draws straight onto hdc,
// anything else through a surface blended with the colour's alpha. With
// DT_WORDBREAK the text is broken by DrawTextLines with lineSpacing extra
// pixels below each line.
void DrawText(HDC hdc, VLPaintManager* manager, const RECT& rect, const std::wstring& text, uint32_t colour,
              const std::wstring& font, uint32_t style, int lineSpacing, bool antialias);
// Breaks the text at carriage returns and line feeds (empty lines vanish)
// and each piece into the longest lines that fit the width, draws them in the
// DC's font with lineSpacing extra pixels below each, and ellipsises the last
// line that has room. With DT_CALCRECT rect becomes the extent, from 0,0.
void DrawTextLines(HDC hdc, RECT& rect, uint32_t style, int lineSpacing, const std::wstring& text);
// Rich text: one-letter tags in braces or angle brackets change colour
// ({c #RRGGBB}), font ({f name}, {b name}, {u name}), lines ({n}, {p n},
// {y n}), position ({x n}), selection ({s}) and quoting ({r}...{/r}).
// Colour and font changes end with their line. With DT_CALCRECT only
// measures: rect's bottom and right become the extent used.
void DrawRichText(HDC hdc, VLPaintManager* manager, RECT& rect, const std::wstring& text, uint32_t colour,
                  const std::wstring& font, uint32_t style);

} // namespace VLRenderEngine

} // namespace Velora
