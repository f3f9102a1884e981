// Controls painted into memory DIBs: which look each state draws, what a
// missing image falls back to, and where text goes.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/AliasedFont.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/RenderEngine.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBack = 0xFF102030;

class ControlPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddAliasedFont(bound_.manager, L"t", 14);
        control_.SetManager(&bound_.manager);
        control_.fonts[kTextNormal] = L"t";
        control_.SetPos({0, 0, 100, 30});
    }
    void TearDown() override
    {
        for (const std::wstring& path : written_) VLUIResources::Instance()->RemoveFileImage(path);
    }
    // A descriptor of a solid 4x4 image file; of a missing file for colour 0.
    std::wstring Image(uint32_t rgb)
    {
        written_.push_back(folder_ / (std::to_wstring(rgb) + L".png"));
        Rgba pixels;
        for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {BYTE(rgb >> 16), BYTE(rgb >> 8), BYTE(rgb), 255});
        if (rgb) {
            EXPECT_TRUE(WriteFileBytes(written_.back(), Encode(Format::Png, 4, 4, pixels)));
        }
        return L"file='" + written_.back() + L"'";
    }
    Canvas& Paint(uint32_t fill = 0xFFFFFFFF)
    {
        canvas_.Fill(fill);
        control_.Paint(canvas_.Dc(), {0, 0, 100, 30});
        return canvas_;
    }
    int Extent(const std::wstring& text)
    {
        return VLRenderEngine::MeasureText(bound_.manager.GetPaintDC(), &bound_.manager, text, L"t").right;
    }

    BoundManager bound_;
    VLControl control_;
    Canvas canvas_{100, 30};
    TestFolder folder_;
    std::vector<std::wstring> written_;
};

TEST_F(ControlPaint, ImagesFallBackAndForgetWhatFails)
{
    const struct {
        uint32_t state;
        int index;      // the state's background image
        uint32_t image; // its colour, 0 for a missing file
        uint32_t expected;
    } cases[] = {{kStateHot, kImageHot, 0x3344CC, 0x3344CC},
                 {kStateHot, kImageHot, 0, 0x11AA22},
                 {kStateSelected, kImageSelected, 0x3344CC, 0x11AA22}, // never drawn by the base
                 {kStatePushed | kStateHot, kImagePushed, 0, 0x11AA22}};
    for (const auto& c : cases) {
        control_.bkImages[kImageNormal] = Image(0x11AA22);
        control_.bkImages[c.index] = Image(c.image);
        control_.state = c.state;
        EXPECT_EQ(c.expected, Paint().Rgb(20, 10)) << c.state;
        EXPECT_EQ(c.image != 0, !control_.bkImages[c.index].empty()) << c.state; // emptied in the same paint
        control_.bkImages[c.index].clear();
    }
    // State images: the focused bit follows IsFocused; a running slide effect
    // shows the part of the normal image it names.
    control_.images[kImageSelected] = Image(0);
    control_.images[kImageFocused] = Image(0x806040);
    control_.images[kImageNormal] = Image(0x204060) + L" dest='0,0,10,10'";
    control_.state = kStateSelected | kStateFocused;
    control_.effectDescriptor = L"source='0,0,2,2'";
    EXPECT_TRUE(SameRect({0, 0, 10, 10}, Paint().Where(0x204060)));
    EXPECT_TRUE(control_.images[kImageSelected].empty());
    control_.images[kImageNormal] = Image(0);
    Paint();
    EXPECT_TRUE(control_.images[kImageNormal].empty());
}

TEST_F(ControlPaint, BackgroundColourAndBorderFollowTheState)
{
    const struct {
        uint32_t state;
        bool enabled;
        uint32_t hot, disabled, normal, expected; // expected inside the border
    } cases[] = {{kStateHot, false, 0xFFFF0000, 0, 0xFF00FF00, 0xFF0000},
                 {kStateHot, false, 0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0x0000FF},
                 {kStateSelected, true, 0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0x00FF00},
                 {kStateHot, true, 0, 0, 0, kBack & 0xFFFFFF}};
    control_.borderColor = 0xFFFFFFFF;
    control_.borderSize = 2;
    for (const auto& c : cases) {
        control_.SetEnabled(c.enabled);
        control_.state = c.state;
        control_.bkColors[kImageHot] = c.hot;
        control_.bkColors[kImageDisabled] = c.disabled;
        control_.bkColors[kImageNormal] = c.normal;
        const Canvas& canvas = Paint(kBack);
        EXPECT_TRUE(SameRect({2, 2, 98, 28}, canvas.Where(c.expected))) << c.state << " " << c.enabled;
        EXPECT_TRUE(canvas.Rgb(1, 15) == 0xFFFFFF && canvas.Rgb(98, 15) == 0xFFFFFF);
    }
    // Nothing for a paint rectangle beside the control or a hidden control.
    canvas_.Fill(kBack);
    control_.Paint(canvas_.Dc(), {100, 0, 200, 30});
    control_.SetVisible(false);
    control_.Paint(canvas_.Dc(), {0, 0, 100, 30});
    EXPECT_TRUE(SameRect({}, canvas_.Changed(kBack)));
    // Far beyond any screen, the round clip and the frame are narrowed to
    // what is seen: the middle still shows the colour.
    VLControl wide;
    wide.SetManager(&bound_.manager);
    wide.SetPos({0, 0, 400000000, 30});
    wide.roundCorner = {200000000, 200000000};
    wide.SetNormalBkColor(0xFF00FF00);
    wide.borderColor = 0x80FF0000;
    wide.borderSize = 2;
    canvas_.Fill(0xFFFFFFFF);
    wide.Paint(canvas_.Dc(), {0, 0, 100, 30});
    EXPECT_EQ(0x00FF00u, canvas_.Rgb(50, 15));
}

TEST_F(ControlPaint, TextPaddingColourAutoCentreAndRichText)
{
    control_.SetText(L"HHH");
    control_.textPadding[kTextNormal] = {10, 5, 0, 0}; // the hot padding of all zero is not set
    control_.SetHotTextColor(0xFF0000FF);
    control_.state = kStateHot;
    const RECT hot = Paint().Where(0x0000FF);
    EXPECT_TRUE(hot.left >= 10 && hot.left < 13 && hot.top >= 5) << hot.left << "," << hot.top;
    control_.SetEnabled(false); // no disabled colour: the normal one
    EXPECT_TRUE(SameRect(hot, Paint().Where(0)));

    control_.SetEnabled(true);
    control_.textPadding[kTextNormal] = {};
    control_.autoCenter = true;
    const RECT fits = Paint().Where(0);
    EXPECT_NEAR(50, (fits.left + fits.right) / 2, 2);
    control_.SetText(std::wstring(40, L'H')); // shortened until it fits, then centred
    const RECT shortened = Paint().Where(0);
    EXPECT_TRUE(shortened.left >= 0 && shortened.right <= 100);
    EXPECT_GT(shortened.right - shortened.left, 100 - Extent(L"HH"));
    control_.SetText(std::wstring(100000, L'H')); // measured about as far as it fits
    EXPECT_TRUE(SameRect(shortened, Paint().Where(0)));

    control_.SetText(L"{c #487fb3}HH{/c}");
    control_.htmlText = true;
    EXPECT_TRUE(SameRect({}, Paint().Where(0)));
    EXPECT_TRUE(canvas_.Where(0x487FB3).right > Extent(L"H") && canvas_.Where(0x487FB3).right <= Extent(L"HH"));
}

TEST_F(ControlPaint, ShadowsOfPlainAndOfFittingRollingText)
{
    control_.SetText(L"HHH");
    control_.SetTextSpecialStyle(1, 1);
    const struct {
        uint32_t colour;
        bool rolling;
        uint32_t text, shadow;                            // over the background; no shadow shows when 0
    } cases[] = {{0xFF000000, false, 0x000000, 0x9FAFCF}, // white at 0x7F over the background
                 {0x7F000000, false, 0x203050, 0xFFFFFF},
                 {0x7F000000, true, 0x203050, 0}};
    for (const auto& c : cases) {
        control_.SetNormalTextColor(c.colour);
        control_.SetFlag(kFlagEnterRollText, c.rolling);
        control_.effectDescriptor = c.rolling ? L"rolltext='4'" : L"";
        const Canvas& canvas = Paint(0xFF4060A0);
        const RECT text = canvas.Where(c.text, 2), shadow = canvas.Where(c.shadow, 2);
        const int offset = c.shadow ? 1 : 0;
        const RECT drawn = {text.left, text.top, text.right + offset, text.bottom + offset};
        EXPECT_TRUE(SameRect(drawn, canvas.Changed(0xFF4060A0))) << std::hex << c.colour;
        EXPECT_TRUE(!c.shadow || (shadow.right == drawn.right && shadow.bottom == drawn.bottom)) << c.colour;
    }
}

TEST_F(ControlPaint, RollingTextRepeatsAfterAGapAndStopsWhenItFits)
{
    control_.SetFlag(kFlagEnterRollText, true);
    control_.SetText(L"HHHHHHHHHHHHHHH");
    const int width = Extent(control_.GetText());
    ASSERT_GT(width, 100);
    // The first copy ends at 20, the second starts 10 pixels later.
    control_.effectDescriptor = L"rolltext='" + std::to_wstring(width - 20) + L"'";
    const Canvas& canvas = Paint();
    Canvas gap(10, 30);
    BitBlt(gap.Dc(), 0, 0, 10, 30, canvas.Dc(), 20, 0, SRCCOPY);
    EXPECT_TRUE(SameRect({}, gap.Changed(0xFFFFFFFF)));
    EXPECT_TRUE(canvas.Where(0).left < 20 && canvas.Where(0).right >= 30);
    ASSERT_TRUE(bound_.manager.GetAnimations().StartAnimation(&control_, kEffectRollText));
    control_.SetText(L"H");
    control_.effectDescriptor = L"rolltext='3'";
    Paint();
    EXPECT_EQ(nullptr, bound_.manager.GetAnimations().FindItem(&control_, kEffectRollText));
}

} // namespace
