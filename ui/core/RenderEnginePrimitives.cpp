// Fills, frames and the window region cut from an image's transparent
// corners.
#include "ui/core/RenderEngine.h"

#include "ui/core/BitmapPixels.h"
#include "ui/core/DibSurface.h"
#include "ui/core/ImageDescriptor.h"
#include "ui/core/RenderClip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <vector>

namespace Velora::VLRenderEngine {

namespace {

BYTE AlphaOf(uint32_t colour) { return BYTE(colour >> 24); }

// A frame reaching far beyond what can be seen is drawn from its rectangle
// with each far edge moved to reach (its pen and its corner ellipse) beyond
// the clip box: that edge's band and corners stay out of sight as they were,
// and GDI works out no more of the shape than can matter.
RECT CutFrame(HDC hdc, const RECT& rect, int64_t reach)
{
    RECT box{};
    if (GetClipBox(hdc, &box) == ERROR) return rect;
    const int64_t step = std::max<int64_t>(reach, 0) + 1;
    const auto before = [&](LONG edge, LONG side) {
        return edge < int64_t{side} - kFarBeyondClip ? LONG(std::max<int64_t>(edge, side - step)) : edge;
    };
    const auto after = [&](LONG edge, LONG side) {
        return edge > int64_t{side} + kFarBeyondClip ? LONG(std::min<int64_t>(edge, side + step)) : edge;
    };
    return {before(rect.left, box.left), before(rect.top, box.top), after(rect.right, box.right),
            after(rect.bottom, box.bottom)};
}

// A pen shape drawn with GDI: opaque straight onto the DC, translucent through
// a DIB surface whose untouched pixels stay transparent. reach is how far
// inside its rectangle the shape's edges are drawn.
void DrawPenShape(HDC hdc, const RECT& frame, int penWidth, int64_t reach, uint32_t colour,
                  const std::function<void(HDC, int, int, int, int)>& shape)
{
    const RECT rect = CutFrame(hdc, frame, reach);
    VLPen pen(CreatePen(PS_INSIDEFRAME, penWidth, ToColorRef(colour)));
    if (!pen) return;
    if (AlphaOf(colour) == 255) {
        VLSelectObject selectedPen(hdc, pen.Get());
        VLSelectObject selectedBrush(hdc, GetStockObject(NULL_BRUSH));
        shape(hdc, rect.left, rect.top, rect.right, rect.bottom);
        return;
    }
    DrawThroughSurface(hdc, rect, AlphaOf(colour), [&](HDC dc, const RECT& area) {
        VLSelectObject selectedPen(dc, pen.Get());
        VLSelectObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
        shape(dc, area.left, area.top, area.right, area.bottom);
    });
}

// One corner block of the image and where it lies in the window: window
// x = image x + dx, y likewise.
struct CornerBlock {
    RECT area;
    int dx, dy;
};

using Spans = std::vector<std::pair<LONG, LONG>>;

constexpr size_t kMaxShapeRectangles = 1024;

// The spans of window row y that stay: [0, width) without the fully
// transparent pixels of the blocks that cover the row. Pixels are taken out,
// never toggled, so blocks that overlap cannot put a pixel back.
Spans KeptSpans(const std::vector<uint32_t>& pixels, int imageWidth, const CornerBlock (&blocks)[4], LONG y, LONG width)
{
    Spans cuts;
    for (const CornerBlock& block : blocks) {
        const LONG row = y - block.dy;
        if (row < block.area.top || row >= block.area.bottom) continue;
        const uint32_t* line = pixels.data() + size_t(row) * imageWidth;
        for (LONG x = block.area.left; x < block.area.right;) {
            if (line[x] != 0) {
                ++x;
                continue;
            }
            const LONG start = x;
            while (x < block.area.right && line[x] == 0) ++x;
            cuts.push_back({start + block.dx, x + block.dx});
        }
    }
    std::sort(cuts.begin(), cuts.end());
    Spans kept;
    LONG at = 0;
    for (const auto& [left, right] : cuts) {
        if (left > at) kept.push_back({at, std::min(left, width)});
        at = std::max(at, right);
        if (at >= width) break;
    }
    if (at < width) kept.push_back({at, width});
    return kept;
}

// A region of rectangles that share one band, made in one call.
VLRegion BandRegion(const Spans& spans, LONG top, LONG bottom)
{
    std::vector<BYTE> data(sizeof(RGNDATAHEADER) + spans.size() * sizeof(RECT));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh = {sizeof(RGNDATAHEADER),
                   RDH_RECTANGLES,
                   DWORD(spans.size()),
                   DWORD(spans.size() * sizeof(RECT)),
                   {spans.empty() ? 0 : spans.front().first, top, spans.empty() ? 0 : spans.back().second, bottom}};
    auto* rects = reinterpret_cast<RECT*>(region->Buffer);
    for (size_t i = 0; i < spans.size(); ++i) rects[i] = {spans[i].first, top, spans[i].second, bottom};
    return VLRegion(ExtCreateRegion(nullptr, DWORD(data.size()), region));
}

// The region of the rows' spans. Rows whose spans match the row above join
// its band; the bands are then united pairwise, so that each union works on
// regions of like size: added one by one, every rectangle would cost as much
// as all before it.
VLRegion RegionOfRows(const std::vector<Spans>& rows)
{
    // The system answers every rectangle of a window's shape on its own (an
    // exposed rectangle each, a clip rectangle each), so a shape of
    // thousands makes every paint crawl: such an image shapes nothing.
    size_t rectangles = 0;
    for (size_t top = 0; top < rows.size(); ++top) {
        if (top == 0 || rows[top] != rows[top - 1]) rectangles += rows[top].size();
    }
    if (rectangles > kMaxShapeRectangles) return VLRegion();
    std::vector<VLRegion> parts;
    for (size_t top = 0; top < rows.size();) {
        size_t bottom = top + 1;
        while (bottom < rows.size() && rows[bottom] == rows[top]) ++bottom;
        parts.push_back(BandRegion(rows[top], LONG(top), LONG(bottom)));
        if (!parts.back()) return VLRegion();
        top = bottom;
    }
    if (parts.empty()) return VLRegion(CreateRectRgn(0, 0, 0, 0));
    while (parts.size() > 1) {
        size_t united = 0;
        for (size_t i = 0; i < parts.size(); i += 2, ++united) {
            if (i + 1 < parts.size() && CombineRgn(parts[i].Get(), parts[i].Get(), parts[i + 1].Get(), RGN_OR) == ERROR)
                return VLRegion();
            if (united != i) parts[united] = std::move(parts[i]);
        }
        parts.resize(united);
    }
    return std::move(parts.front());
}

} // namespace

void DrawColor(HDC hdc, const RECT& rect, uint32_t colour, bool layered)
{
    if (AlphaOf(colour) == 0) return;
    // One colour: filling only the part that can be seen draws the same
    // pixels, and one pixel stretched over a rectangle far beyond the surface
    // faults inside the system's blend.
    RECT seen{};
    if (!VLRenderClip::VisiblePart(hdc, rect, seen)) return;
    if (AlphaOf(colour) == 255 && !layered) {
        SetBkColor(hdc, ToColorRef(colour));
        ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &seen, nullptr, 0, nullptr);
        return;
    }
    uint32_t* bits = nullptr;
    VLBitmap pixel = CreateDib32(1, 1, &bits);
    if (!pixel) return;
    *bits = colour | 0xFF000000;
    DrawImage(hdc, pixel.Get(), seen, seen, false, AlphaOf(colour), false, RECT{}, RECT{0, 0, 1, 1});
}

void DrawRect(HDC hdc, const RECT& rect, int penWidth, uint32_t colour)
{
    DrawPenShape(hdc, rect, penWidth, penWidth, colour,
                 [](HDC dc, int l, int t, int r, int b) { Rectangle(dc, l, t, r, b); });
}

void DrawRoundRect(HDC hdc, const RECT& rect, int penWidth, int ellipseWidth, int ellipseHeight, uint32_t colour)
{
    const int64_t reach =
        int64_t{penWidth} + std::max(std::abs(int64_t{ellipseWidth}), std::abs(int64_t{ellipseHeight}));
    DrawPenShape(hdc, rect, penWidth, reach, colour,
                 [=](HDC dc, int l, int t, int r, int b) { RoundRect(dc, l, t, r, b, ellipseWidth, ellipseHeight); });
}

VLRegion CreateCornerRegion(const wchar_t* descriptorText, int width, int height)
{
    // The same reading of the descriptor that draws the image, so the region
    // is cut from the very image the window shows.
    const VLImageDescriptor descriptor(descriptorText);
    const RECT& corner = descriptor.corner;
    if (corner.left == 0 && corner.top == 0 && corner.right == 0 && corner.bottom == 0) return VLRegion();
    VLImageInfo* image = descriptor.resType.empty()
                             ? GetFileImage(descriptor.name, descriptor.mask, descriptor.encrypt)
                             : GetResourceImage(_wtoi(descriptor.name.c_str()), descriptor.resType, descriptor.mask);
    std::vector<uint32_t> pixels;
    int iw = 0, ih = 0;
    if (!image || !ReadBitmapPixels(image->bitmap.Get(), pixels, iw, ih)) return VLRegion();
    if (width <= 0 || height <= 0) return VLRegion(CreateRectRgn(0, 0, 0, 0));
    // Blocks are kept inside the image.
    const int left = std::clamp<int>(corner.left, 0, iw), right = std::clamp<int>(corner.right, 0, iw);
    const int top = std::clamp<int>(corner.top, 0, ih), bottom = std::clamp<int>(corner.bottom, 0, ih);
    const int toRight = width - iw, toBottom = height - ih;
    const CornerBlock blocks[4] = {{{0, 0, left, top}, 0, 0},
                                   {{iw - right, 0, iw, top}, toRight, 0},
                                   {{0, ih - bottom, left, ih}, 0, toBottom},
                                   {{iw - right, ih - bottom, iw, ih}, toRight, toBottom}};
    std::vector<Spans> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[size_t(y)] = KeptSpans(pixels, iw, blocks, y, width);
    return RegionOfRows(rows);
}

} // namespace Velora::VLRenderEngine
