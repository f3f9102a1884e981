// The DIB surface and its alpha helpers.
#include <gtest/gtest.h>

#include "ui/core/DibSurface.h"

#include <random>
#include <vector>

using namespace Velora;

namespace {

TEST(DibSurface, CreateReleaseAndRefusals)
{
    DibSurface surface;
    ASSERT_EQ(1, CreateDibSurface(nullptr, surface, 4, 3));
    HBITMAP first = surface.bitmap.Get();
    EXPECT_EQ(3, surface.header.biHeight);
    EXPECT_EQ(0, CreateDibSurface(nullptr, surface, 8, 8));
    EXPECT_EQ(first, surface.bitmap.Get());
    ReleaseDibSurface(surface);
    EXPECT_FALSE(surface.memoryDC);
    EXPECT_EQ(nullptr, surface.bits);
    ReleaseDibSurface(surface);
    for (auto size : {std::pair{0, 4}, std::pair{4, 0}}) {
        EXPECT_EQ(0, CreateDibSurface(nullptr, surface, size.first, size.second));
        EXPECT_FALSE(surface.memoryDC);
        EXPECT_EQ(0u, surface.header.biSize);
    }
}

TEST(DibSurface, AlphaHelpersAgreeWithAndWithoutSse2)
{
    std::mt19937 random(7);
    for (int count : {1, 4, 5, 7, 8, 33}) {
        std::vector<uint32_t> pixels(count);
        for (uint32_t& p : pixels) p = random() & (random() % 2 ? 0x00FFFFFF : 0xFFFFFFFF);
        std::vector<uint32_t> plain = pixels, fast = pixels;
        RestoreAlpha(plain.data(), count * 4);
        RestoreAlphaSse2(fast.data(), count * 4);
        EXPECT_EQ(plain, fast) << count;
        for (size_t i = 0; i < pixels.size(); ++i)
            EXPECT_EQ(pixels[i] >> 24 ? 0u : pixels[i] | 0xFF000000, plain[i]);
        std::vector<uint32_t> marked = pixels;
        MarkAlpha(marked.data(), count * 4);
        for (size_t i = 0; i < pixels.size(); ++i) EXPECT_EQ(pixels[i] | 0x01000000, marked[i]);
    }
    std::vector<uint32_t> pixels = {0x00123456, 0x44123456};
    const std::vector<uint32_t> before = pixels;
    MarkAlpha(pixels.data(), 6);
    RestoreAlpha(pixels.data(), 6);
    RestoreAlpha(pixels.data(), 0);
    EXPECT_EQ(before, pixels);
}

TEST(DibSurface, GdiTextRoundTrip)
{
    DibSurface surface;
    ASSERT_EQ(1, CreateDibSurface(nullptr, surface, 40, 20));
    const int bytes = 40 * 20 * 4;
    MarkAlpha(surface.bits, bytes);
    SetBkMode(surface.memoryDC.Get(), TRANSPARENT);
    SetTextColor(surface.memoryDC.Get(), RGB(0x20, 0x40, 0x60));
    TextOutW(surface.memoryDC.Get(), 2, 2, L"HW", 2);
    GdiFlush();
    if (IsSse2Available()) RestoreAlphaSse2(surface.bits, bytes);
    else RestoreAlpha(surface.bits, bytes);
    int drawn = 0;
    for (int i = 0; i < 40 * 20; ++i) {
        const uint32_t p = surface.bits[i];
        ASSERT_TRUE(p == 0 || p >> 24 == 0xFF) << std::hex << p;
        drawn += p != 0;
    }
    EXPECT_GT(drawn, 10);
    EXPECT_EQ(0u, surface.bits[0]);
}

} // namespace
