// Text: measuring, plain text with its own line breaker, and rich text.
#include "ui/core/RenderEngine.h"

#include "ui/core/DibSurface.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderClip.h"
#include "ui/core/Saturated.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <vector>

namespace Velora::VLRenderEngine {

namespace {

HFONT FontHandle(VLPaintManager* manager, const std::wstring& name)
{
    VLFontInfo* info = manager ? manager->GetFont(name) : nullptr;
    return info ? info->font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// The text in the DC's current colour and font, as the style says.
void DrawTextInDc(HDC hdc, const RECT& rect, const std::wstring& text, uint32_t style, int lineSpacing)
{
    RECT area = rect;
    if (style & DT_WORDBREAK)
        DrawTextLines(hdc, area, style & ~DT_WORDBREAK, lineSpacing, text);
    else
        DrawTextW(hdc, text.c_str(), -1, &area, style);
}

// One line of a piece: where it starts in the piece, how many characters it
// holds and its extent.
struct Line {
    size_t start;
    size_t count;
    int width;
    int height;
};

SIZE LineExtent(HDC hdc, const wchar_t* text, size_t count, uint32_t style)
{
    RECT rect = {0, 0, 0, 0};
    DrawTextW(hdc, text, int(count), &rect, (style & ~DT_END_ELLIPSIS) | DT_CALCRECT | DT_SINGLELINE);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The longest prefixes that fit the width, one after another; a line holds
// at least one character.
std::vector<Line> BreakPiece(HDC hdc, const std::wstring& piece, int width, uint32_t style)
{
    std::vector<Line> lines;
    for (size_t start = 0; start < piece.size();) {
        const wchar_t* at = piece.c_str() + start;
        const size_t fits = std::max<size_t>(1, LongestFittingPrefix(piece.size() - start, [&](size_t count) {
                                                 return LineExtent(hdc, at, count, style).cx <= width;
                                             }));
        const SIZE extent = LineExtent(hdc, at, fits, style);
        lines.push_back({start, fits, int(extent.cx), int(extent.cy)});
        start += fits;
    }
    return lines;
}

// Where a text hangs in its rectangle along one axis; kWhole: from no one
// place, so the axis is kept whole.
enum class Hang { kStart, kMiddle, kEnd, kWhole };

// Room kept beyond a text's measured extent, for overhanging glyphs.
constexpr int64_t kTextSlack = 1 << 14;

// The span [lo, hi) cut to the text's extent and slack, keeping the place the
// text hangs from; a middle is kept by cutting both ends alike, so halves of
// the span's size (which place centred text) shrink by exactly the cut. False
// when the text lies wholly outside [vlo, vhi).
bool CutSpan(LONG& lo, LONG& hi, LONG vlo, LONG vhi, int64_t extent, Hang hang)
{
    const int64_t size = int64_t{hi} - lo;
    if (hang == Hang::kWhole || extent < 0 || extent + 2 * kTextSlack >= size) return true;
    if (hang == Hang::kStart) {
        hi = LONG(lo + extent + kTextSlack);
    } else if (hang == Hang::kEnd) {
        lo = LONG(hi - extent - kTextSlack);
    } else {
        const LONG cut = LONG((size - extent) / 2 - kTextSlack);
        lo += cut;
        hi -= cut;
    }
    return hi > vlo && lo < vhi;
}

bool Far(const RECT& rect, const RECT& box)
{
    return int64_t{rect.left} < int64_t{box.left} - kFarBeyondClip ||
           int64_t{rect.top} < int64_t{box.top} - kFarBeyondClip ||
           int64_t{rect.right} > int64_t{box.right} + kFarBeyondClip ||
           int64_t{rect.bottom} > int64_t{box.bottom} + kFarBeyondClip;
}

// The pieces between carriage returns and line feeds; empty ones vanish.
std::vector<std::wstring> SplitPieces(const std::wstring& text)
{
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace

size_t LongestFittingPrefix(size_t count, const std::function<bool(size_t)>& fits)
{
    size_t fitting = 0, tooLong = count + 1;
    for (size_t probe = 1; probe <= count; probe *= 2) {
        if (!fits(probe)) {
            tooLong = probe;
            break;
        }
        fitting = probe;
    }
    if (tooLong > count && fitting < count) {
        if (fits(count)) return count;
        tooLong = count;
    }
    while (tooLong - fitting > 1) {
        const size_t middle = fitting + (tooLong - fitting) / 2;
        if (fits(middle))
            fitting = middle;
        else
            tooLong = middle;
    }
    return fitting;
}

bool CutTextRect(HDC hdc, RECT& rect, HFONT font, const std::wstring& text, uint32_t style, int lineSpacing,
                 bool ownLines)
{
    RECT box{};
    if (GetClipBox(hdc, &box) == ERROR || !Far(rect, box)) return true;
    const bool lines = ownLines && (style & DT_WORDBREAK);
    RECT extent = {0, 0, Saturated(int64_t{rect.right} - rect.left, INT_MAX),
                   Saturated(int64_t{rect.bottom} - rect.top, INT_MAX)};
    {
        VLSelectObject selected(hdc, font);
        if (lines)
            DrawTextLines(hdc, extent, (style & ~DT_WORDBREAK) | DT_CALCRECT, lineSpacing, text);
        else
            DrawTextW(hdc, text.c_str(), -1, &extent, style | DT_CALCRECT);
    }
    // DrawTextW centres rather than aligns right, and places a line down the
    // rectangle only when it draws a single line; DrawTextLines centres and
    // then aligns each line right, and hangs each line from the bottom with
    // DT_BOTTOM: from no one place.
    Hang across = (style & DT_CENTER) ? Hang::kMiddle : (style & DT_RIGHT) ? Hang::kEnd : Hang::kStart;
    if (lines && (style & DT_CENTER) && (style & DT_RIGHT)) across = Hang::kWhole;
    Hang down = Hang::kStart;
    if (lines)
        down = (style & DT_BOTTOM) ? Hang::kWhole : (style & DT_VCENTER) ? Hang::kMiddle : Hang::kStart;
    else if (style & DT_SINGLELINE)
        down = (style & DT_VCENTER) ? Hang::kMiddle : (style & DT_BOTTOM) ? Hang::kEnd : Hang::kStart;
    return CutSpan(rect.left, rect.right, box.left, box.right, int64_t{extent.right} - extent.left, across) &&
           CutSpan(rect.top, rect.bottom, box.top, box.bottom, int64_t{extent.bottom} - extent.top, down);
}

RECT MeasureText(HDC hdc, VLPaintManager* manager, const std::wstring& text, const std::wstring& font)
{
    RECT rect = {0, 0, 0, 0};
    VLSelectObject selected(hdc, FontHandle(manager, font));
    DrawTextW(hdc, text.c_str(), -1, &rect, DT_CALCRECT);
    return rect;
}

void DrawText(HDC hdc, VLPaintManager* manager, const RECT& rect, const std::wstring& text, uint32_t colour,
              const std::wstring& font, uint32_t style, int lineSpacing, bool antialias)
{
    const HFONT fontHandle = FontHandle(manager, font);
    RECT cut = rect;
    if (!CutTextRect(hdc, cut, fontHandle, text, style, lineSpacing, true)) return;
    if ((colour >> 24) == 0xFF && !antialias) {
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, ToColorRef(colour));
        VLSelectObject selected(hdc, fontHandle);
        DrawTextInDc(hdc, cut, text, style, lineSpacing);
        return;
    }
    DrawThroughSurface(hdc, cut, BYTE(colour >> 24), [&](HDC dc, const RECT& area) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(colour));
        VLSelectObject selected(dc, fontHandle);
        DrawTextInDc(dc, area, text, style, lineSpacing);
    });
}

void DrawTextLines(HDC hdc, RECT& rect, uint32_t style, int lineSpacing, const std::wstring& text)
{
    int width = rect.right - rect.left;
    if ((style & DT_CALCRECT) && width == 0) width = 9999;
    const std::vector<std::wstring> pieces = SplitPieces(text);
    std::vector<std::vector<Line>> lines;
    for (const std::wstring& piece : pieces) lines.push_back(BreakPiece(hdc, piece, width, style));

    RECT area = rect;
    if (style & (DT_VCENTER | DT_CENTER | DT_CALCRECT)) {
        int total = 0, widest = 0;
        for (const std::vector<Line>& pieceLines : lines) {
            for (const Line& line : pieceLines) {
                total += line.height + lineSpacing;
                widest = std::max(widest, line.width);
            }
        }
        if (style & DT_VCENTER) {
            area.top += (area.bottom - area.top - total) / 2;
            style &= ~DT_VCENTER;
        }
        if (style & DT_CENTER) {
            area.left += (area.right - area.left - widest) / 2;
            style &= ~DT_CENTER;
        }
        if (style & DT_CALCRECT) {
            rect.right = widest;
            rect.bottom = total;
            return;
        }
    }
    for (size_t p = 0; p < pieces.size(); ++p) {
        for (const Line& line : lines[p]) {
            const int step = line.height + lineSpacing;
            if (area.bottom < area.top + 2 * step) {
                // No room for a line after this one: the rest of the piece
                // ends here in an ellipsis, and nothing is drawn below it.
                const std::wstring rest = pieces[p].substr(line.start);
                DrawTextW(hdc, rest.c_str(), -1, &area, style | DT_SINGLELINE | DT_END_ELLIPSIS);
                return;
            }
            RECT lineArea = area;
            DrawTextW(hdc, pieces[p].c_str() + line.start, int(line.count), &lineArea, style | DT_SINGLELINE);
            area.top += step;
        }
    }
}

} // namespace Velora::VLRenderEngine
