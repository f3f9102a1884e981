// The DIB surface and its alpha helpers.
#include <gtest/gtest.h>

#include "ui/core/DibSurface.h"

#include <random>
#include <vector>

using namespace Velora;

namespace {

TEST(DibSurface, CreateAndRelease)
{
    DibSurface surface;
    ASSERT_EQ(1, CreateDibSurface(nullptr, surface, 4, 3));
    const HBITMAP first = surface.bitmap.Get();
    EXPECT_EQ(0, CreateDibSurface(nullptr, surface, 8, 8)); // the first stays
    EXPECT_EQ(first, surface.bitmap.Get());
    ReleaseDibSurface(surface);
    EXPECT_FALSE(surface.memoryDC || surface.bits);
    for (int width : {0, 4}) {
        EXPECT_EQ(0, CreateDibSurface(nullptr, surface, width, 4 - width));
        EXPECT_FALSE(surface.memoryDC);
    }
}

TEST(DibSurface, AlphaHelpers)
{
    std::mt19937 random(7);
    for (int count : {1, 4, 5, 33}) {
        std::vector<uint32_t> pixels(count);
        for (uint32_t& p : pixels) p = random() & (random() % 2 ? 0x00FFFFFF : 0xFFFFFFFF);
        std::vector<uint32_t> plain = pixels, fast = pixels, marked = pixels;
        RestoreAlpha(plain.data(), count * 4);
        RestoreAlphaSse2(fast.data(), count * 4);
        MarkAlpha(marked.data(), count * 4);
        EXPECT_EQ(plain, fast) << count;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(pixels[i] >> 24 ? 0u : pixels[i] | 0xFF000000, plain[i]);
            EXPECT_EQ(pixels[i] | 0x01000000, marked[i]);
        }
    }
    std::vector<uint32_t> pixels = {0x00123456, 0x44123456};
    MarkAlpha(pixels.data(), 6);
    RestoreAlpha(pixels.data(), 6);
    EXPECT_EQ((std::vector<uint32_t>{0x00123456, 0x44123456}), pixels);
    // GDI text between the two: untouched pixels come out transparent,
    // drawn ones opaque.
    DibSurface surface;
    ASSERT_EQ(1, CreateDibSurface(nullptr, surface, 40, 20));
    MarkAlpha(surface.bits, 40 * 20 * 4);
    SetBkMode(surface.memoryDC.Get(), TRANSPARENT);
    TextOutW(surface.memoryDC.Get(), 2, 2, L"HW", 2);
    GdiFlush();
    (IsSse2Available() ? RestoreAlphaSse2 : RestoreAlpha)(surface.bits, 40 * 20 * 4);
    int drawn = 0;
    for (int i = 0; i < 40 * 20; ++i) {
        ASSERT_TRUE(surface.bits[i] == 0 || surface.bits[i] >> 24 == 0xFF) << std::hex << surface.bits[i];
        drawn += surface.bits[i] != 0;
    }
    EXPECT_GT(drawn, 10);
}

} // namespace
