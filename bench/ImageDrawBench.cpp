// Full frames of an 800 x 600 background and 60 nine-grid cells with alpha,
// drawn into a memory DIB through image descriptors, against the same cells
// written directly as BitBlt + AlphaBlend calls. Goal: at least 0.8 of the
// direct figure.
#include "bench/FrameClock.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/RenderEngine.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Velora;
using Velora::Bench::FramesPerSecond;

namespace {

constexpr int kWidth = 800, kHeight = 600, kCells = 60, kCorner = 6;
constexpr int kCellWidth = 48, kCellHeight = 32; // source image
constexpr int kDrawWidth = 120, kDrawHeight = 50; // each cell on screen

// A record whose pixels come from pixel(x, y) as premultiplied words.
template <typename Pixel> std::unique_ptr<VLImageInfo> MakeImage(int width, int height, bool alpha, Pixel pixel)
{
    auto image = std::make_unique<VLImageInfo>();
    uint32_t* bits = nullptr;
    image->bitmap = CreateDib32(width, height, &bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bits[y * width + x] = pixel(x, y);
    image->width = width;
    image->height = height;
    image->hasAlpha = alpha;
    return image;
}

RECT CellRect(int i)
{
    const int x = 10 + (i % 6) * (kDrawWidth + 10), y = 10 + (i / 6) * (kDrawHeight + 8);
    return {x, y, x + kDrawWidth, y + kDrawHeight};
}

} // namespace

int main()
{
    auto backgroundPixel = [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 255 / kWidth) << 16 | uint32_t(y * 255 / kHeight) << 8 | 0x40u;
    };
    // A rounded button face, half transparent towards its bottom.
    auto cellPixel = [](int x, int y) {
        const bool corner = (x < 2 || x >= kCellWidth - 2) && (y < 2 || y >= kCellHeight - 2);
        const uint32_t a = corner ? 0 : 255 - uint32_t(y * 4);
        return a << 24 | (a * 200 / 255) << 16 | (a * 120 / 255) << 8 | (a * 60 / 255);
    };
    VLRenderEngine::AddFileImage(L"bench-background", MakeImage(kWidth, kHeight, false, backgroundPixel));
    VLRenderEngine::AddFileImage(L"bench-cell", MakeImage(kCellWidth, kCellHeight, true, cellPixel));
    // The direct calls keep their own copies selected into their DCs (a
    // bitmap can be selected into one DC only).
    const auto background = MakeImage(kWidth, kHeight, false, backgroundPixel);
    const auto cell = MakeImage(kCellWidth, kCellHeight, true, cellPixel);

    VLMemoryDC target(CreateCompatibleDC(nullptr));
    uint32_t* bits = nullptr;
    VLBitmap frame = CreateDib32(kWidth, kHeight, &bits);
    VLSelectObject selectedFrame(target.Get(), frame.Get());
    const RECT screen{0, 0, kWidth, kHeight};

    auto engineFrame = [&] {
        VLRenderEngine::DrawImageString(target.Get(), screen, L"file='bench-background'", screen, nullptr);
        for (int i = 0; i < kCells; ++i)
            VLRenderEngine::DrawImageString(target.Get(), CellRect(i), L"file='bench-cell' corner='6,6,6,6'", screen,
                                            nullptr);
    };

    // The same frame as hand-written GDI calls, with the bitmaps selected
    // into their DCs once.
    VLMemoryDC backgroundDC(CreateCompatibleDC(nullptr)), cellDC(CreateCompatibleDC(nullptr));
    VLSelectObject selectedBackground(backgroundDC.Get(), background->bitmap.Get());
    VLSelectObject selectedCell(cellDC.Get(), cell->bitmap.Get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const int dx[4] = {0, kCorner, kDrawWidth - kCorner, kDrawWidth};
    const int dy[4] = {0, kCorner, kDrawHeight - kCorner, kDrawHeight};
    const int sx[4] = {0, kCorner, kCellWidth - kCorner, kCellWidth};
    const int sy[4] = {0, kCorner, kCellHeight - kCorner, kCellHeight};
    auto directFrame = [&] {
        BitBlt(target.Get(), 0, 0, kWidth, kHeight, backgroundDC.Get(), 0, 0, SRCCOPY);
        for (int i = 0; i < kCells; ++i) {
            const RECT r = CellRect(i);
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 3; ++column)
                    AlphaBlend(target.Get(), r.left + dx[column], r.top + dy[row], dx[column + 1] - dx[column],
                               dy[row + 1] - dy[row], cellDC.Get(), sx[column], sy[row], sx[column + 1] - sx[column],
                               sy[row + 1] - sy[row], blend);
        }
    };

    // Both must draw the same frame, or the figures compare nothing.
    engineFrame();
    GdiFlush();
    const std::vector<uint32_t> engineBits(bits, bits + kWidth * kHeight);
    directFrame();
    GdiFlush();
    int largest = 0;
    for (int i = 0; i < kWidth * kHeight; ++i)
        for (int shift = 0; shift < 32; shift += 8)
            largest = std::max(largest,
                               std::abs(int((engineBits[i] >> shift) & 0xFF) - int((bits[i] >> shift) & 0xFF)));

    // Short runs taken in turns, best of each: the machine's other load
    // then weighs on both alike.
    double engine = 0, direct = 0;
    for (int round = 0; round < 8; ++round) {
        engine = std::max(engine, FramesPerSecond(engineFrame, 0.5));
        direct = std::max(direct, FramesPerSecond(directFrame, 0.5));
    }

    printf("800x600 background + %d nine-grid cells with alpha, into a memory DIB\n", kCells);
    printf("direct GDI (BitBlt + AlphaBlend): %8.1f frames/s\n", direct);
    printf("render engine (descriptors):      %8.1f frames/s\n", engine);
    printf("largest channel difference between the two frames: %d\n", largest);
    printf("ratio engine / direct:            %8.2f (goal >= 0.80)\n", engine / direct);
    return 0;
}
