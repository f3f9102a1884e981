// Plain and rich text measured and drawn into memory DIBs (font smoothing is
// off in the test prefix, so glyph pixels have the text colour exactly).
#include <gtest/gtest.h>

#include "tests/ui/AliasedFont.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/RenderEngine.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;

class Text : public ::testing::Test {
protected:
    void SetUp() override { font_ = AddAliasedFont(bound_.manager, L"t", 14); }
    int LineHeight() const { return font_->metrics.tmHeight + font_->metrics.tmExternalLeading; }
    int Extent(const std::wstring& text)
    {
        return VLRenderEngine::MeasureText(bound_.manager.paintDC, &bound_.manager, text, L"t").right;
    }
    RECT MeasureRich(const std::wstring& text, int width, uint32_t style = 0)
    {
        RECT rect = {0, 0, width, 100};
        Canvas canvas(1, 1);
        VLRenderEngine::DrawRichText(canvas.Dc(), &bound_.manager, rect, text, 0xFF000000, L"t", style | DT_CALCRECT);
        return rect;
    }
    // The smallest and largest x of pixels of the colour.
    static std::pair<int, int> Columns(const Canvas& canvas, int width, int height, uint32_t rgb)
    {
        int first = width, last = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (canvas.Rgb(x, y) == rgb) first = std::min(first, x), last = std::max(last, x);
        return {first, last};
    }
    BoundManager bound_;
    VLFontInfo* font_ = nullptr;
};

TEST_F(Text, RichColourSpansEndWithTheirTagAndTheirLine)
{
    ASSERT_NE(nullptr, font_);
    const int ab = Extent(L"AB");
    for (const wchar_t* text : {L"{c #487fb3}AB{/c}CD", L"<c #FF487FB3>AB</c>CD", L"{c 487fb3}AB{/c}{f t}CD{/f}"}) {
        Canvas canvas(100, 30, kWhite);
        RECT rect = {0, 0, 100, 30};
        VLRenderEngine::DrawRichText(canvas.Dc(), &bound_.manager, rect, text, 0xFF000000, L"t", DT_SINGLELINE);
        const auto [colourFirst, colourLast] = Columns(canvas, 100, 30, 0x487FB3);
        const auto [blackFirst, blackLast] = Columns(canvas, 100, 30, 0x000000);
        EXPECT_GE(colourFirst, 0) << text;
        EXPECT_LT(colourLast, ab) << text;
        EXPECT_GE(blackFirst, ab) << text;
        EXPECT_GT(blackLast, ab) << text;
    }
    // A span that wraps is drawn in the default colour on its second line.
    const int wrapWidth = Extent(L"AAA A");
    Canvas canvas(wrapWidth, 60, kWhite);
    RECT rect = {0, 0, wrapWidth, 60};
    VLRenderEngine::DrawRichText(canvas.Dc(), &bound_.manager, rect, L"{c #ff0000}AAA AAA{/c}", 0xFF000000, L"t",
                                 DT_WORDBREAK);
    int secondLine = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < wrapWidth; ++x) {
            EXPECT_NE(canvas.Rgb(x, y), y < LineHeight() ? 0x000000u : 0xFF0000u) << x << "," << y;
            secondLine += y >= LineHeight() && canvas.Rgb(x, y) == 0;
        }
    }
    EXPECT_GT(secondLine, 0);
}

TEST_F(Text, RichTagsMeasureAsTheTextTheyLeave)
{
    struct Case {
        const wchar_t* rich;
        const wchar_t* plain; // what is drawn
        int extra;
    };
    for (const Case& c : {Case{L"{B}x", L"{B}x", 0}, Case{L"{bold}x", L"{bold}x", 0}, Case{L"<{>a{<}", L"{a<", 0},
                          Case{L"{r}{c #ff0000}{/r}", L"{c #ff0000}", 0}, Case{L"{c #ff0000}ab{/c}", L"ab", 0},
                          Case{L"ab{x 10}", L"ab", 10}, Case{L"{q}ab{/q}", L"ab", 0}, Case{L"a{", L"a{", 0}}) {
        const RECT rect = MeasureRich(c.rich, 9999, DT_SINGLELINE);
        EXPECT_EQ(Extent(c.plain) + c.extra, rect.right) << c.rich;
        EXPECT_EQ(LineHeight(), rect.bottom) << c.rich;
    }
}

TEST_F(Text, RichLinesBreakAfterAnythingButAsciiLetters)
{
    struct Case {
        const wchar_t* text;
        int width;
        int lines;
    };
    for (const Case& c : {Case{L"one two three", Extent(L"one two three"), 1},
                          Case{L"one two three", Extent(L"one two thr"), 2}, Case{L"one{n}two", 9999, 2},
                          Case{L"one\ntwo\nx", 9999, 3}, Case{L"abcabc", Extent(L"abc"), 2},
                          Case{L"one{y 30}", 9999, 0}}) {
        const RECT rect = MeasureRich(c.text, c.width, DT_WORDBREAK);
        EXPECT_EQ(c.lines ? c.lines * LineHeight() : 30, rect.bottom) << c.text << " " << c.width;
        EXPECT_LE(rect.right, c.width) << c.text;
    }
}

TEST_F(Text, RichTextCentresOnItsMeasure)
{
    Canvas canvas(200, 40, kWhite);
    RECT rect = {0, 0, 200, 40};
    VLRenderEngine::DrawRichText(canvas.Dc(), &bound_.manager, rect, L"ab{x 10}", 0xFF000000, L"t",
                                 DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    const int width = Extent(L"ab");
    EXPECT_EQ(100 - (width + 10) / 2, rect.left);
    EXPECT_EQ(20 - LineHeight() / 2, rect.top);
    const auto [first, last] = Columns(canvas, 200, 40, 0x000000);
    EXPECT_GE(first, rect.left);
    EXPECT_LT(last, rect.left + width);
}

TEST_F(Text, LinesLoseEmptyOnesAndEllipsiseTheLast)
{
    const HDC dc = bound_.manager.paintDC;
    VLSelectObject selected(dc, font_->font.Get());
    auto measure = [&](const std::wstring& text, int width, int spacing) {
        RECT rect = {0, 0, width, 0};
        VLRenderEngine::DrawTextLines(dc, rect, DT_CALCRECT, spacing, text);
        return rect;
    };
    const int h = LineHeight();
    EXPECT_EQ(2 * h, measure(L"one\r\n\r\ntwo", 0, 0).bottom);
    EXPECT_EQ(2 * (h + 3), measure(L"one\r\n\r\ntwo", 0, 3).bottom);
    // No limit on the length of a text.
    const std::wstring wide(300, L'W');
    EXPECT_EQ(Extent(wide), measure(wide, 0, 0).right);
    for (int chars : {1, 3, 5, 9}) {
        const int width = Extent(std::wstring(chars, L'W'));
        EXPECT_EQ((10 + chars - 1) / chars * h, measure(std::wstring(10, L'W'), width, 0).bottom) << chars;
        EXPECT_EQ(width, measure(std::wstring(10, L'W'), width, 0).right) << chars;
    }
    // Two lines of room for three: the second line ends the text in "...".
    const int width = Extent(L"WWW");
    Canvas lines(width, 3 * h, kWhite), expected(width, 3 * h, kWhite);
    for (const Canvas* canvas : {&lines, &expected}) {
        SetBkMode(canvas->Dc(), TRANSPARENT);
        SelectObject(canvas->Dc(), font_->font.Get());
    }
    RECT area = {0, 0, width, 2 * h + 1};
    VLRenderEngine::DrawTextLines(lines.Dc(), area, 0, 0, L"WWWWWWWWW\nWW");
    RECT first = {0, 0, width, 2 * h + 1}, rest = {0, h, width, 2 * h + 1};
    DrawTextW(expected.Dc(), L"WWW", 3, &first, DT_SINGLELINE);
    DrawTextW(expected.Dc(), L"WWWWWW", 6, &rest, DT_SINGLELINE | DT_END_ELLIPSIS);
    for (int y = 0; y < 3 * h; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(expected.At(x, y), lines.At(x, y)) << x << "," << y;
}

TEST_F(Text, TranslucentTextBlends)
{
    Canvas canvas(60, 30, kWhite);
    VLRenderEngine::DrawText(canvas.Dc(), &bound_.manager, {0, 0, 60, 30}, L"HH", 0x80FF0000, L"t", DT_SINGLELINE, 0,
                             false);
    int blended = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint32_t rgb = canvas.Rgb(x, y);
            if (rgb == 0xFFFFFF) continue;
            EXPECT_TRUE(Near(rgb, 0xFF7F7F, 2)) << std::hex << rgb;
            ++blended;
        }
    EXPECT_GT(blended, 10);
}

} // namespace
