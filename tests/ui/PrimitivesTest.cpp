// Fills, frames, clips and window corner regions.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/RenderClip.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/Saturated.h"

#include <functional>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBack = 0xFF102030;

TEST(VLRenderEngine, FillsAndFrames)
{
    const struct {
        uint32_t colour;
        bool layered;
        uint32_t expected;
    } fills[] = {{0x00FF0000, false, kBack & 0xFFFFFF}, {0xFFFF0000, false, 0xFF0000}, {0xFFFF0000, true, 0xFF0000},
                 {0x80FF0000, false, 0x881018}}; // red over 10 20 30 at 128/255
    for (const auto& c : fills) {
        Canvas canvas(10, 10, kBack);
        VLRenderEngine::DrawColor(canvas.Dc(), {2, 2, 8, 8}, c.colour, c.layered);
        EXPECT_TRUE(Near(c.expected, canvas.Rgb(4, 4), 1)) << std::hex << c.colour << " " << canvas.At(4, 4);
        EXPECT_TRUE(SameRect(c.colour >> 24 ? RECT{2, 2, 8, 8} : RECT{}, canvas.Changed(kBack)));
    }
    // Frames two pixels wide inside the rectangle, opaque and blended.
    for (const auto& [colour, green] : {std::pair{0xFF00FF00u, 0x00FF00u}, {0x8000FF00u, 0x088F18u}}) {
        Canvas canvas(20, 20, kBack);
        VLRenderEngine::DrawRect(canvas.Dc(), {2, 2, 18, 18}, 2, colour);
        for (int at : {2, 3, 16, 17}) {
            EXPECT_TRUE(Near(green, canvas.Rgb(at, 10), 2)) << std::hex << colour << " " << at;
            EXPECT_TRUE(Near(green, canvas.Rgb(10, at), 2)) << std::hex << colour << " " << at;
        }
        for (int at : {1, 4, 15, 18}) EXPECT_EQ(kBack, canvas.At(at, 10)) << std::hex << colour << " " << at;
        VLRenderEngine::DrawRoundRect(canvas.Dc(), {0, 0, 20, 20}, 1, 8, 8, colour);
        EXPECT_EQ(kBack, canvas.At(0, 0));
        EXPECT_TRUE(Near(green, canvas.Rgb(10, 0), 2));
    }
}

// Fills, frames and texts from a rectangle reaching far past the canvas show what they show from one ending just
// past it, a text's middle or ends where they were: what is cut away was never seen.
TEST(VLRenderEngine, FarRectanglesDrawWhatNearOnesDraw)
{
    const auto text = [](uint32_t colour, uint32_t style) {
        return [=](HDC dc, auto& r) { VLRenderEngine::DrawText(dc, nullptr, r, L"Hg", colour, L"", style, 1, false); };
    };
    constexpr LONG F = kLayoutLimit;
    using Pairs = std::vector<std::pair<RECT, RECT>>; // close and far, on a 40 x 20 canvas
    const Pairs ends = {{{2, 2, 50, 30}, {2, 2, F, F}}, {{-10, -10, 38, 18}, {-F, -F, 38, 18}}};
    const Pairs middle = {{{-10, -10, 50, 30}, {20 - F, 10 - F, 20 + F, 10 + F}}};
    const std::pair<std::function<void(HDC, const RECT&)>, Pairs> rows[] = {
        {[](HDC dc, const RECT& r) { VLRenderEngine::DrawColor(dc, r, 0x80FF0000, false); }, ends},
        {[](HDC dc, const RECT& r) { VLRenderEngine::DrawRect(dc, r, 3, 0x800000FF); }, ends},
        {[](HDC dc, const RECT& r) { VLRenderEngine::DrawRoundRect(dc, r, 2, 9, 9, 0xFF00FF00); }, ends},
        {text(0xFF000000, DT_CENTER | DT_VCENTER | DT_SINGLELINE), middle},
        {text(0x80000000, DT_CENTER | DT_VCENTER | DT_WORDBREAK), middle},
        {text(0xFF000000, DT_WORDBREAK), {ends[0]}},
        {text(0xFF000000, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE), {ends[1]}}};
    for (size_t row = 0; row < std::size(rows); ++row) {
        for (const auto& [close, distant] : rows[row].second) {
            Canvas expected(40, 20, kBack), canvas(40, 20, kBack);
            rows[row].first(expected.Dc(), close);
            rows[row].first(canvas.Dc(), distant);
            EXPECT_FALSE(SameRect({}, expected.Changed(kBack))) << row; // something shows
            for (int i = 0; i < 40 * 20; ++i) ASSERT_EQ(expected.At(i % 40, i / 40), canvas.At(i % 40, i / 40)) << row;
        }
    }
}

TEST(VLRenderClip, ClipsAndRestores)
{
    for (int roundBottom : {0, 1}) {
        Canvas canvas(20, 20, kBack);
        {
            VLRenderClip clip; // restored when it goes
            VLRenderClip::ClipToRoundRect(clip, canvas.Dc(), {0, 0, 20, 20}, 6, roundBottom);
            VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFFFF0000, false);
        }
        EXPECT_EQ(kBack, canvas.At(0, 0));
        EXPECT_EQ(roundBottom ? kBack & 0xFFFFFF : 0xFF0000, canvas.Rgb(0, 19));
        VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFF00FF00, false);
        EXPECT_EQ(0x00FF00u, canvas.Rgb(0, 0));
    }
    Canvas canvas(20, 20, kBack);
    VLRenderClip clip;
    VLRenderClip::ClipToRect(clip, canvas.Dc(), {5, 5, 10, 10});
    VLRenderEngine::DrawColor(canvas.Dc(), {0, 0, 20, 20}, 0xFFFF0000, false);
    VLRenderClip::Restore(clip);
    EXPECT_TRUE(SameRect({5, 5, 10, 10}, canvas.Changed(kBack)));
}

TEST(VLRenderEngine, CornerRegionCutsExactlyTheTransparentCornerPixels)
{
    // 20 x 20, transparent where (x + y) is even inside the 3 x 3 corner
    // blocks and at one pixel outside them.
    auto clear = [](int x, int y) {
        return ((x < 3 || x >= 17) && (y < 3 || y >= 17) && (x + y) % 2 == 0) || (x == 10 && y == 1);
    };
    Rgba pixels;
    for (int i = 0; i < 400; ++i)
        pixels.insert(pixels.end(), {0, 0, 255, (unsigned char)(clear(i % 20, i / 20) ? 0 : 255)});
    TestFolder folder;
    const std::wstring path = folder / L"corner.png", tiny = folder / L"tiny.png";
    ASSERT_TRUE(WriteFileBytes(path, Encode(Format::Png, 20, 20, pixels)));
    VLRegion region = VLRenderEngine::CreateCornerRegion((L"file='" + path + L"' corner='3,3,3,3'").c_str(), 800, 600);
    ASSERT_TRUE(region);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const int ix = x < 3 ? x : x >= 797 ? x - 780 : -1, iy = y < 3 ? y : y >= 597 ? y - 580 : -1;
            ASSERT_EQ(ix >= 0 && iy >= 0 && clear(ix, iy), !PtInRegion(region.Get(), x, y)) << x << "," << y;
        }
    }
    EXPECT_FALSE(VLRenderEngine::CreateCornerRegion((L"file='" + path + L"'").c_str(), 800, 600));
    EXPECT_FALSE(VLRenderEngine::CreateCornerRegion(L"file='missing.png' corner='3,3,3,3'", 800, 600));
    // Corner blocks larger than a 2 x 2 transparent image stay inside it, and
    // overlapping blocks never put a pixel back.
    ASSERT_TRUE(WriteFileBytes(tiny, Encode(Format::Png, 2, 2, Rgba(16, 0))));
    region = VLRenderEngine::CreateCornerRegion((L"file='" + tiny + L"' corner='5,5,5,5'").c_str(), 3, 3);
    ASSERT_TRUE(region);
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(PtInRegion(region.Get(), i % 3, i / 3)) << i;
    // Checkerboards: 32 x 32 is cut exactly; 256 x 256 would shape the window
    // with thousands of rectangles and shapes nothing.
    const std::wstring board = folder / L"board.png";
    for (int side : {32, 256}) {
        auto opaque = [side](int i) { return (i % side + i / side) % 2 == 1; };
        Rgba squares;
        for (int i = 0; i < side * side; ++i) squares.insert(squares.end(), {0, 0, 255, BYTE(opaque(i) ? 255 : 0)});
        VLUIResources::Instance()->RemoveFileImage(board);
        ASSERT_TRUE(WriteFileBytes(board, Encode(Format::Png, side, side, squares)));
        const std::wstring half = std::to_wstring(side / 2);
        region = VLRenderEngine::CreateCornerRegion(
            (L"file='" + board + L"' corner='" + half + L"," + half + L"," + half + L"," + half + L"'").c_str(), side,
            side);
        ASSERT_EQ(side == 32, bool(region));
        for (int i = 0; region && i < side * side; ++i)
            ASSERT_EQ(opaque(i), PtInRegion(region.Get(), i % side, i / side) != 0) << i;
    }
    for (const std::wstring& file : {path, tiny, board}) VLUIResources::Instance()->RemoveFileImage(file);
}

} // namespace
