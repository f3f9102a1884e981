#include "tests/ui/TestImages.h"

#include "ui/core/BitmapPixels.h"
#include "ui/core/SkinFile.h"
#include "ui/core/UIResources.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <algorithm>
#include <cstdlib>

namespace Velora::Test {

namespace {

void Append(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// Every suite loads resources from the test program itself.
const bool kModuleSet = [] {
    VLUIResources::Instance()->SetInstance(GetModuleHandleW(nullptr));
    return true;
}();

} // namespace

uint32_t CellColour(int x, int y)
{
    const uint32_t column = x / 3, row = y / 3;
    return (40 + 90 * column) << 16 | (30 + 100 * row) << 8 | (200 - 60 * column - 20 * row);
}

Rgba CellImage()
{
    Rgba pixels;
    for (int i = 0; i < 81; ++i) {
        const uint32_t c = CellColour(i % 9, i / 9);
        pixels.insert(pixels.end(), {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c, 255});
    }
    return pixels;
}

std::string Encode(Format format, int width, int height, const Rgba& pixels)
{
    std::string out;
    stbi_write_tga_with_rle = format == Format::TgaRle;
    if (format == Format::Png) stbi_write_png_to_func(Append, &out, width, height, 4, pixels.data(), width * 4);
    else if (format == Format::Bmp) stbi_write_bmp_to_func(Append, &out, width, height, 4, pixels.data());
    else if (format == Format::Jpeg)
        stbi_write_jpg_to_func(Append, &out, width, height, 4, pixels.data(), 100);
    else stbi_write_tga_to_func(Append, &out, width, height, 4, pixels.data());
    return out;
}

std::string EncipherSkin(const std::string& bytes)
{
    uint32_t key[kSkinKeyWords];
    BuildSkinKey(key);
    std::string out(bytes);
    auto* data = reinterpret_cast<unsigned char*>(out.data());
    SkinCipherTransform(uint32_t(out.size()), key, data, data, true);
    return out;
}

Canvas::Canvas(int width, int height, uint32_t fill)
    : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)), bitmap_(CreateDib32(width, height, &bits_)),
      selected_(dc_.Get(), bitmap_.Get())
{
    Fill(fill);
}

uint32_t Canvas::At(int x, int y) const
{
    GdiFlush();
    return bits_[size_t(y) * width_ + x];
}

void Canvas::Fill(uint32_t word)
{
    GdiFlush();
    std::fill(bits_, bits_ + width_ * height_, word);
}

template <typename Pick> RECT Canvas::Box(Pick pick) const
{
    RECT box{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (!pick(At(x, y))) continue;
            box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                   std::max<LONG>(box.bottom, y + 1)};
        }
    }
    return box.right ? box : RECT{};
}

RECT Canvas::Changed(uint32_t word) const
{
    return Box([word](uint32_t pixel) { return pixel != word; });
}

RECT Canvas::Where(uint32_t rgb, int tolerance) const
{
    return Box([=](uint32_t pixel) { return Near(pixel & 0xFFFFFF, rgb, tolerance); });
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    }
    return true;
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

} // namespace Velora::Test
