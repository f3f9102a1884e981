// Fills, frames, clips and window corner regions.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/RenderClip.h"
#include "ui/core/RenderEngine.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBackground = 0xFF102030;

TEST(VLRenderEngine, DrawColor)
{
    const struct {
        uint32_t colour;
        bool layered;
        uint32_t expected;
        int tolerance;
    } cases[] = {
        {0x00FF0000, false, kBackground, 0},
        {0xFFFF0000, false, 0xFF0000, 0},
        {0xFFFF0000, true, 0xFF0000, 0},
        {0x80FF0000, false, 0x881018, 1}, // red over 10 20 30 at 128/255
    };
    for (const auto& c : cases) {
        Canvas canvas(10, 10, kBackground);
        VLRenderEngine::DrawColor(canvas.Dc(), {2, 2, 8, 8}, c.colour, c.layered);
        EXPECT_TRUE(Near(c.expected & 0xFFFFFF, canvas.At(4, 4) & 0xFFFFFF, c.tolerance))
            << std::hex << c.colour << " " << canvas.At(4, 4);
        EXPECT_EQ(kBackground, canvas.At(1, 1));
        EXPECT_EQ(kBackground, canvas.At(8, 8));
    }
}

TEST(VLRenderEngine, FramesAreDrawnInside)
{
    for (uint32_t colour : {0xFF00FF00u, 0x8000FF00u}) {
        Canvas canvas(20, 20, kBackground);
        VLRenderEngine::DrawRect(canvas.Dc(), {2, 2, 18, 18}, 2, colour);
        const uint32_t green = colour >> 24 == 255 ? 0x00FF00 : 0x088F18;
        for (int at : {2, 3, 16, 17}) {
            EXPECT_TRUE(Near(green, canvas.At(at, 10) & 0xFFFFFF, 2)) << std::hex << colour << " " << at;
            EXPECT_TRUE(Near(green, canvas.At(10, at) & 0xFFFFFF, 2)) << std::hex << colour << " " << at;
        }
        for (int at : {1, 4, 15, 18}) EXPECT_EQ(kBackground, canvas.At(at, 10)) << std::hex << colour << " " << at;
        VLRenderEngine::DrawRoundRect(canvas.Dc(), {0, 0, 20, 20}, 1, 8, 8, colour);
        EXPECT_EQ(kBackground, canvas.At(0, 0));
        EXPECT_TRUE(Near(green, canvas.At(10, 0) & 0xFFFFFF, 2));
    }
}

TEST(VLRenderClip, RoundClipRoundsOnlyTheTopUnlessAsked)
{
    for (int roundBottom : {0, 1}) {
        Canvas canvas(20, 20, kBackground);
        {
            VLRenderClip clip;
            VLRenderClip::ClipToRoundRect(clip, canvas.Dc(), {0, 0, 20, 20}, 6, roundBottom);
            VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFFFF0000, false);
        }
        EXPECT_EQ(kBackground, canvas.At(0, 0));
        EXPECT_EQ(roundBottom ? kBackground : 0xFF0000, canvas.At(0, 19) & (roundBottom ? ~0u : 0xFFFFFF));
        EXPECT_EQ(0xFF0000u, canvas.At(10, 10) & 0xFFFFFF);
        // The clip is back: a fill reaches the corner again.
        VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFF00FF00, false);
        EXPECT_EQ(0x00FF00u, canvas.At(0, 0) & 0xFFFFFF);
    }
    Canvas canvas(20, 20, kBackground);
    VLRenderClip clip;
    VLRenderClip::ClipToRect(clip, canvas.Dc(), {5, 5, 10, 10});
    VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFFFF0000, false);
    VLRenderClip::Restore(clip);
    EXPECT_EQ(kBackground, canvas.At(4, 5));
    EXPECT_EQ(0xFF0000u, canvas.At(5, 5) & 0xFFFFFF);
    EXPECT_EQ(kBackground, canvas.At(10, 9));
}

TEST(VLRenderEngine, CornerRegionCutsExactlyTheTransparentCornerPixels)
{
    // 20 x 20 opaque, with transparent pixels in each 3 x 3 corner block
    // where (x + y) is even, and one transparent pixel outside the blocks.
    const int size = 20;
    auto transparent = [&](int x, int y) {
        const bool inBlock = (x < 3 || x >= size - 3) && (y < 3 || y >= size - 3);
        return (inBlock && (x + y) % 2 == 0) || (x == 10 && y == 1);
    };
    Rgba pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels.insert(pixels.end(), {0, 0, 255, (unsigned char)(transparent(x, y) ? 0 : 255)});
    TestFolder folder;
    const std::wstring path = folder / L"corner.png";
    ASSERT_TRUE(WriteFileBytes(path, EncodePng(size, size, pixels)));
    const std::wstring descriptor = L"file='" + path + L"' corner='3,3,3,3'";
    VLRegion region = VLRenderEngine::CreateCornerRegion(descriptor.c_str(), 800, 600);
    ASSERT_TRUE(region);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const int ix = x < 3 ? x : x >= 797 ? x - 800 + size : -1;
            const int iy = y < 3 ? y : y >= 597 ? y - 600 + size : -1;
            const bool cut = ix >= 0 && iy >= 0 && transparent(ix, iy);
            ASSERT_EQ(cut, !PtInRegion(region.Get(), x, y)) << x << "," << y;
        }
    }
    EXPECT_FALSE(VLRenderEngine::CreateCornerRegion((L"file='" + path + L"'").c_str(), 800, 600));
    EXPECT_FALSE(VLRenderEngine::CreateCornerRegion(L"file='missing.png' corner='3,3,3,3'", 800, 600));
    VLUIResources::Instance()->RemoveFileImage(path);
}

TEST(VLRenderEngine, CornerBlocksLargerThanTheImageStayInsideIt)
{
    // A 2 x 2 image, all transparent, with corners of 5: every block is the
    // whole image, and overlapping blocks never put a pixel back.
    TestFolder folder;
    const std::wstring path = folder / L"tiny.png";
    ASSERT_TRUE(WriteFileBytes(path, EncodePng(2, 2, Rgba(16, 0))));
    VLRegion region =
        VLRenderEngine::CreateCornerRegion((L"file='" + path + L"' corner='5,5,5,5'").c_str(), 3, 3);
    ASSERT_TRUE(region);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_FALSE(PtInRegion(region.Get(), x, y)) << x << "," << y;
    VLUIResources::Instance()->RemoveFileImage(path);
}

} // namespace
