// Text: measuring, plain text with its own line breaker, and rich text.
#include "ui/core/RenderEngine.h"

#include "ui/core/DibSurface.h"
#include "ui/core/PaintManager.h"
#include "ui/core/RenderClip.h"

#include <algorithm>
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
    if ((colour >> 24) == 0xFF && !antialias) {
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, ToColorRef(colour));
        VLSelectObject selected(hdc, fontHandle);
        DrawTextInDc(hdc, rect, text, style, lineSpacing);
        return;
    }
    DrawThroughSurface(hdc, rect, BYTE(colour >> 24), [&](HDC dc, const RECT& area) {
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
