// Plain and rich text measured and drawn into memory DIBs, in an aliased font
// so that glyph pixels have the text colour exactly.
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
        return VLRenderEngine::MeasureText(bound_.manager.GetPaintDC(), &bound_.manager, text, L"t").right;
    }
    RECT Rich(Canvas& canvas, const std::wstring& text, RECT rect, uint32_t style)
    {
        VLRenderEngine::DrawRichText(canvas.Dc(), &bound_.manager, rect, text, 0xFF000000, L"t", style);
        return rect;
    }
    RECT MeasureRich(const std::wstring& text, int width, uint32_t style)
    {
        Canvas canvas(1, 1);
        return Rich(canvas, text, {0, 0, width, 100}, style | DT_CALCRECT);
    }
    // Same pixels in both.
    static void ExpectSame(const Canvas& expected, const Canvas& actual, int width, int height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) ASSERT_EQ(expected.At(x, y), actual.At(x, y)) << x << "," << y;
    }
    // Ready for GDI text in the font.
    void Prepare(Canvas& canvas)
    {
        SelectObject(canvas.Dc(), font_->font.Get());
        SetBkMode(canvas.Dc(), TRANSPARENT);
    }

    BoundManager bound_;
    VLFontInfo* font_ = nullptr;
};

TEST_F(Text, RichColourSpansEndWithTheirTagAndTheirLine)
{
    const int ab = Extent(L"AB");
    for (const wchar_t* text : {L"{c #487fb3}AB{/c}CD", L"<c #FF487FB3>AB</c>CD", L"{c 487fb3}AB{/c}{f t}CD{/f}"}) {
        Canvas canvas(100, 30, kWhite);
        Rich(canvas, text, {0, 0, 100, 30}, DT_SINGLELINE);
        EXPECT_TRUE(canvas.Where(0x487FB3).right > 0 && canvas.Where(0x487FB3).right <= ab) << text;
        EXPECT_TRUE(canvas.Where(0).left >= ab && canvas.Where(0).right > ab) << text;
    }
    Canvas lead(100, 30, kWhite); // a line drawn after a leading line feed
    Rich(lead, L"\nAB", {0, 0, 100, 30}, 0);
    EXPECT_GT(lead.Where(0).right, 0);
    // A span that wraps is drawn in the default colour on its second line.
    Canvas canvas(Extent(L"AAA A"), 60, kWhite);
    Rich(canvas, L"{c #ff0000}AAA AAA{/c}", {0, 0, Extent(L"AAA A"), 60}, DT_WORDBREAK);
    EXPECT_LT(canvas.Where(0xFF0000).bottom, LineHeight());
    EXPECT_GE(canvas.Where(0).top, LineHeight());
}

TEST_F(Text, RichTagsMeasureAsTheTextTheyLeave)
{
    const struct {
        const wchar_t* rich;
        const wchar_t* plain; // what is drawn
        int extra;
    } cases[] = {{L"{B}x", L"{B}x", 0},
                 {L"{bold}x", L"{bold}x", 0},
                 {L"<{>a{<}", L"{a<", 0},
                 {L"{r}{c #f00}{/r}", L"{c #f00}", 0},
                 {L"{c #ff0000}ab{/c}", L"ab", 0},
                 {L"ab{x 10}", L"ab", 10},
                 {L"{q}ab{/q}", L"ab", 0},
                 {L"a{", L"a{", 0}};
    for (const auto& c : cases) {
        const RECT rect = MeasureRich(c.rich, 9999, DT_SINGLELINE);
        EXPECT_EQ(Extent(c.plain) + c.extra, rect.right) << c.rich;
        EXPECT_EQ(LineHeight(), rect.bottom) << c.rich; // one line: tmHeight + tmExternalLeading
    }
}

TEST_F(Text, RichLinesBreakAfterAnythingButAsciiLetters)
{
    const struct {
        const wchar_t* text;
        int width;
        int lines;
        int widest;
    } cases[] = {{L"one two three", Extent(L"one two three"), 1, Extent(L"one two three")},
                 {L"one two three", Extent(L"one two thr"), 2, Extent(L"one two ")},
                 {L"ab1cd", Extent(L"ab1c"), 2, Extent(L"ab1")},
                 {L"abcabc", Extent(L"abc"), 2, Extent(L"abc")},
                 {L"one{n}two", 9999, 2, std::max(Extent(L"one"), Extent(L"two"))},
                 {L"one\ntwo\nx", 9999, 3, std::max(Extent(L"one"), Extent(L"two"))},
                 {L"{r}{n}\n{n}{/r}", 9999, 2, Extent(L"{n}")}}; // quoting goes on over a line break
    for (const auto& c : cases) {
        const RECT rect = MeasureRich(c.text, c.width, DT_WORDBREAK);
        EXPECT_EQ(c.lines * LineHeight(), rect.bottom) << c.text << " " << c.width;
        EXPECT_EQ(c.widest, rect.right) << c.text << " " << c.width;
    }
    EXPECT_EQ(30, MeasureRich(L"one{y 30}", 9999, 0).bottom);
    // Narrower than one character: measuring ends all the same.
    EXPECT_EQ(LineHeight(), MeasureRich(L"WW", 3, DT_END_ELLIPSIS).bottom);
}

TEST_F(Text, RichTextAlignsOnItsMeasureAndEllipsises)
{
    Canvas canvas(200, 40, kWhite);
    const RECT rect = Rich(canvas, L"ab{x 10}", {0, 0, 200, 40}, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    EXPECT_EQ(100 - (Extent(L"ab") + 10) / 2, rect.left);
    EXPECT_EQ(20 - LineHeight() / 2, rect.top);
    const RECT black = canvas.Where(0);
    EXPECT_TRUE(black.left >= rect.left && black.right <= rect.left + Extent(L"ab"));

    const int width = Extent(L"WWWWW");
    Canvas rich(width, 20, kWhite), expected(width, 20, kWhite);
    Prepare(expected);
    Rich(rich, L"WWWWWWWWWW", {0, 0, width, 20}, DT_SINGLELINE | DT_END_ELLIPSIS);
    // Three characters with the ellipsis after them.
    TextOutW(expected.Dc(), 0, 0, L"WWW", 3);
    TextOutW(expected.Dc(), Extent(L"WWW"), 0, L"...", 3);
    ExpectSame(expected, rich, width, 20);
}

TEST_F(Text, LinesLoseEmptyOnesAndEllipsiseTheLast)
{
    const HDC dc = bound_.manager.GetPaintDC();
    VLSelectObject selected(dc, font_->font.Get());
    auto measure = [&](const std::wstring& text, int width, int spacing) {
        RECT rect = {0, 0, width, 0};
        VLRenderEngine::DrawTextLines(dc, rect, DT_CALCRECT, spacing, text);
        return rect;
    };
    const int h = LineHeight();
    EXPECT_EQ(2 * h, measure(L"one\r\n\r\ntwo", 0, 0).bottom);
    EXPECT_EQ(2 * (h + 3), measure(L"one\r\n\r\ntwo", 0, 3).bottom);
    const std::wstring wide(300, L'W'); // no limit on the length
    EXPECT_EQ(Extent(wide), measure(wide, 0, 0).right);
    for (int chars : {1, 3, 5, 9}) {
        const RECT rect = measure(std::wstring(10, L'W'), Extent(std::wstring(chars, L'W')), 0);
        EXPECT_EQ((10 + chars - 1) / chars * h, rect.bottom) << chars;
        EXPECT_EQ(Extent(std::wstring(chars, L'W')), rect.right) << chars;
    }
    // Room for two of four lines: the second one ends the text in "...".
    const int width = Extent(L"WWW");
    Canvas lines(width, 3 * h, kWhite), expected(width, 3 * h, kWhite);
    Prepare(lines);
    Prepare(expected);
    RECT area = {0, 0, width, 2 * h + 1};
    VLRenderEngine::DrawTextLines(lines.Dc(), area, 0, 0, L"WWWWWWWWW\nWW");
    RECT first = {0, 0, width, 2 * h + 1}, rest = {0, h, width, 2 * h + 1};
    DrawTextW(expected.Dc(), L"WWW", 3, &first, DT_SINGLELINE);
    DrawTextW(expected.Dc(), L"WWWWWW", 6, &rest, DT_SINGLELINE | DT_END_ELLIPSIS);
    ExpectSame(expected, lines, width, 3 * h);
}

// Texts far longer than their rectangle, and a translucent text in a
// rectangle far larger than the canvas, draw what a short text or a small
// rectangle draws; each is measured about as far as it is seen.
TEST_F(Text, HugeTextsAndRectanglesDrawTheirVisiblePart)
{
    std::wstring words;
    while (words.size() < 600000) words += L"ab cd\x4E2D ";
    const auto wrapped = [&](Canvas& canvas, size_t length, bool rich) {
        Prepare(canvas);
        RECT rect = {0, 0, 120, 3 * LineHeight()};
        if (rich) return (void)Rich(canvas, words.substr(0, length), rect, DT_CENTER | DT_WORDBREAK);
        VLRenderEngine::DrawTextLines(canvas.Dc(), rect, DT_CENTER, 0, words.substr(0, length));
    };
    for (bool rich : {false, true}) {
        Canvas expected(120, 60, kWhite), actual(120, 60, kWhite);
        wrapped(expected, 3000, rich);
        wrapped(actual, rich ? 600000 : 100000, rich);
        ExpectSame(expected, actual, 120, 60);
    }
    Canvas small(60, 30, kWhite), huge(60, 30, kWhite);
    VLRenderEngine::DrawText(small.Dc(), &bound_.manager, {0, 0, 60, 30}, L"HH", 0x80FF0000, L"t", 0, 0, false);
    VLRenderEngine::DrawText(huge.Dc(), &bound_.manager, {0, 0, 16000, 16000}, L"HH", 0x80FF0000, L"t", 0, 0, false);
    EXPECT_GT(small.Where(0xFF7F7F, 2).right, 0);
    ExpectSame(small, huge, 60, 30);
}

TEST_F(Text, TranslucentTextBlends)
{
    Canvas canvas(60, 30, kWhite);
    VLRenderEngine::DrawText(canvas.Dc(), &bound_.manager, {0, 0, 60, 30}, L"HH", 0x80FF0000, L"t", 0, 0, false);
    EXPECT_GT(canvas.Where(0xFF7F7F, 2).right, Extent(L"H"));
    EXPECT_TRUE(SameRect(canvas.Where(0xFF7F7F, 2), canvas.Changed(kWhite)));
}

} // namespace
