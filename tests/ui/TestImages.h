// Images the UI tests write at run time, and a memory DIB to draw into and
// read back.
#pragma once

#include "base/GdiScope.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Velora::Test {

// RGBA bytes, four per pixel, rows top first.
using Rgba = std::vector<unsigned char>;

// The colour (0x00RRGGBB) of pixel x, y of the 9x9 image of nine 3x3 cells
// (the one make_ui_fixtures.py embeds as resources 601 and 602).
uint32_t CellColour(int x, int y);
Rgba CellImage();

std::string EncodePng(int width, int height, const Rgba& pixels);
std::string EncodeBmp(int width, int height, const Rgba& pixels);
std::string EncodeTga(int width, int height, const Rgba& pixels, bool runLength);
// The bytes enciphered with the program's skin key.
std::string EncipherSkin(const std::string& bytes);

// A top-down 32-bit memory DIB selected into its own DC.
class Canvas {
public:
    Canvas(int width, int height, uint32_t fill = 0xFF102030);
    HDC Dc() const { return dc_.Get(); }
    RECT Rect() const { return {0, 0, width_, height_}; }
    uint32_t At(int x, int y) const;
    void Fill(uint32_t word);

private:
    int width_, height_;
    uint32_t* bits_ = nullptr;
    VLMemoryDC dc_;
    VLBitmap bitmap_;
    VLSelectObject selected_;
};

// Per channel (all four bytes) within tolerance.
bool Near(uint32_t a, uint32_t b, int tolerance);

} // namespace Velora::Test
