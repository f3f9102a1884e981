// Images the UI tests write at run time, and a memory DIB to draw into.
#pragma once

#include "base/GdiScope.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Velora::Test {

using Rgba = std::vector<unsigned char>; // four bytes a pixel, rows top first

// Pixel x, y (0x00RRGGBB) of the 9x9 image of nine 3x3 solid cells, the one
// make_ui_fixtures.py embeds as resources 601 (PNG) and 602 (BMP).
uint32_t CellColour(int x, int y);
Rgba CellImage();

enum class Format { Png, Bmp, Tga, TgaRle, Jpeg };
std::string Encode(Format format, int width, int height, const Rgba& pixels);
// Enciphered with the program's skin key.
std::string EncipherSkin(const std::string& bytes);

// A top-down 32-bit memory DIB selected into its own DC.
class Canvas {
public:
    Canvas(int width, int height, uint32_t fill = 0xFF102030);
    HDC Dc() const { return dc_.Get(); }
    uint32_t At(int x, int y) const;
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
    void Fill(uint32_t word);
    // The smallest rectangle of pixels that are not word.
    RECT Changed(uint32_t word) const;
    // The smallest rectangle of pixels whose 0xRRGGBB is within tolerance of
    // rgb; empty when there are none.
    RECT Where(uint32_t rgb, int tolerance = 0) const;

private:
    template <typename Pick> RECT Box(Pick pick) const;

    int width_, height_;
    uint32_t* bits_ = nullptr;
    VLMemoryDC dc_;
    VLBitmap bitmap_;
    VLSelectObject selected_;
};

// Every byte of the two words within tolerance.
bool Near(uint32_t a, uint32_t b, int tolerance);
bool SameRect(const RECT& a, const RECT& b);

} // namespace Velora::Test
