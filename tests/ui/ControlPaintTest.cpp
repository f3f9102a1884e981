// Controls painted into memory DIBs: which look each state draws, and what a
// missing image falls back to.
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
constexpr uint32_t kWhite = 0xFFFFFFFF;

class ControlPaint : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const std::wstring& path : written_) VLUIResources::Instance()->RemoveFileImage(path);
    }
    // A file descriptor of a solid 4x4 image.
    std::wstring Solid(const std::wstring& name, uint32_t rgb)
    {
        Rgba pixels;
        for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {BYTE(rgb >> 16), BYTE(rgb >> 8), BYTE(rgb), 255});
        written_.push_back(folder_ / name);
        EXPECT_TRUE(WriteFileBytes(written_.back(), Encode(Format::Png, 4, 4, pixels)));
        return L"file='" + written_.back() + L"'";
    }
    static void Place(VLControl& control, const RECT& rect = {0, 0, 40, 20}) { control.SetPos(rect); }

    TestFolder folder_;
    std::vector<std::wstring> written_;
};

TEST_F(ControlPaint, BackgroundImageFallsBackAndForgetsWhatFails)
{
    const std::wstring normal = Solid(L"normal.png", 0x11AA22), hot = Solid(L"hot.png", 0x3344CC);
    const std::wstring missing = L"file='" + (folder_ / L"none.png") + L"'";
    struct Case {
        uint32_t state;
        int index; // the state's background image
        std::wstring descriptor;
        uint32_t expected;
        bool keeps; // the state's descriptor survives the paint
    };
    for (const Case& c : {Case{kStateHot, kImageHot, hot, 0x3344CC, true},
                          Case{kStateHot, kImageHot, missing, 0x11AA22, false},
                          Case{kStateSelected, kImageSelected, hot, 0x11AA22, true},
                          Case{kStatePushed | kStateHot, kImagePushed, missing, 0x11AA22, false}}) {
        VLControl control;
        Place(control);
        control.bkImages[kImageNormal] = normal;
        control.bkImages[c.index] = c.descriptor;
        control.state = c.state;
        Canvas canvas(40, 20, kBack);
        control.Paint(canvas.Dc(), {0, 0, 40, 20});
        EXPECT_EQ(c.expected, canvas.Rgb(20, 10)) << c.state;
        EXPECT_EQ(c.keeps, !control.bkImages[c.index].empty()) << c.state;
    }
}

TEST_F(ControlPaint, StateImagesAndEffects)
{
    const std::wstring normal = Solid(L"n.png", 0x204060), focused = Solid(L"f.png", 0x806040);
    VLControl control;
    Place(control);
    control.images[kImageNormal] = normal;
    control.images[kImageSelected] = L"file='" + (folder_ / L"gone.png") + L"'";
    control.images[kImageFocused] = focused;
    control.state = kStateSelected;
    Canvas canvas(40, 20, kBack);
    control.Paint(canvas.Dc(), {0, 0, 40, 20});
    EXPECT_EQ(0x204060u, canvas.Rgb(5, 5)); // the focused bit follows IsFocused, so not focused
    EXPECT_TRUE(control.images[kImageSelected].empty());
    // A running slide effect shows the part it names of the normal image.
    control.effectDescriptor = L"source='0,0,2,2'";
    control.images[kImageNormal] = normal + L" dest='0,0,10,10'";
    canvas.Fill(kBack);
    control.Paint(canvas.Dc(), {0, 0, 40, 20});
    EXPECT_EQ(0x204060u, canvas.Rgb(9, 9));
    EXPECT_EQ(kBack & 0xFFFFFF, canvas.Rgb(10, 10));
    control.images[kImageNormal] = L"file='" + (folder_ / L"gone.png") + L"'";
    control.Paint(canvas.Dc(), {0, 0, 40, 20});
    EXPECT_TRUE(control.images[kImageNormal].empty());
}

TEST(ControlPaintColours, BackgroundColourAndBorderFollowTheState)
{
    struct Case {
        uint32_t state;
        bool enabled;
        uint32_t hot, disabled, normal;
        uint32_t expected; // at the centre; kBack when nothing is drawn
    };
    for (const Case& c : {Case{kStateHot, false, 0xFFFF0000, 0, 0xFF00FF00, 0xFF0000},
                          Case{kStateHot, false, 0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0x0000FF},
                          Case{kStateSelected, true, 0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0x00FF00},
                          Case{kStateHot, true, 0, 0, 0, kBack & 0xFFFFFF}}) {
        VLControl control;
        control.SetPos({0, 0, 30, 30});
        control.SetEnabled(c.enabled);
        control.state = c.state;
        control.bkColors[kImageHot] = c.hot;
        control.bkColors[kImageDisabled] = c.disabled;
        control.bkColors[kImageNormal] = c.normal;
        control.borderColor = 0xFFFFFFFF;
        control.borderSize = 2;
        Canvas canvas(40, 40, kBack);
        control.Paint(canvas.Dc(), {0, 0, 40, 40});
        EXPECT_EQ(c.expected, canvas.Rgb(15, 15)) << c.state << " " << c.enabled;
        EXPECT_EQ(0xFFFFFFu, canvas.Rgb(0, 15));
        EXPECT_EQ(0xFFFFFFu, canvas.Rgb(28, 15));
        EXPECT_EQ(c.expected, canvas.Rgb(27, 15));
        EXPECT_EQ(kBack & 0xFFFFFF, canvas.Rgb(35, 15)); // outside the control
    }
}

TEST(ControlPaintColours, NothingOutsideThePaintRectangleOrForAHiddenControl)
{
    VLControl control;
    control.SetPos({0, 0, 30, 30});
    control.bkColors[kImageNormal] = 0xFFFFFFFF;
    Canvas canvas(40, 40, kBack);
    control.Paint(canvas.Dc(), {30, 30, 40, 40});
    control.SetVisible(false);
    control.Paint(canvas.Dc(), {0, 0, 40, 40});
    EXPECT_TRUE(SameRect({}, canvas.Changed(kBack)));
}

// Text painted by controls of a manager with an aliased font.
class ControlText : public ::testing::Test {
protected:
    void SetUp() override
    {
        font_ = AddAliasedFont(bound_.manager, L"t", 14);
        control_ = new VLControl;
        bound_.manager.AttachRoot(control_);
        control_->fonts[kTextNormal] = L"t";
        control_->SetPos({0, 0, 100, 30});
        control_->SetText(L"HHH");
    }
    int Extent(const std::wstring& text)
    {
        return VLRenderEngine::MeasureText(bound_.manager.paintDC, &bound_.manager, text, L"t").right;
    }
    // The box of the pixels near the colour.
    static RECT Box(const Canvas& canvas, uint32_t rgb, int tolerance = 0)
    {
        RECT box{1000, 1000, -1, -1};
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (!Near(canvas.Rgb(x, y), rgb, tolerance)) continue;
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                       std::max<LONG>(box.bottom, y + 1)};
            }
        }
        return box;
    }
    RECT Paint(Canvas& canvas)
    {
        control_->Paint(canvas.Dc(), {0, 0, 100, 30});
        return Box(canvas, 0x000000);
    }
    BoundManager bound_;
    VLFontInfo* font_ = nullptr;
    VLControl* control_ = nullptr;
};

TEST_F(ControlText, PaddingColourAndFontFollowTheState)
{
    control_->textPadding[kTextHot] = {};
    control_->textPadding[kTextNormal] = {10, 5, 0, 0};
    control_->SetHotTextColor(0xFF0000FF);
    control_->SetDisabledTextColor(0);
    control_->state = kStateHot;
    Canvas canvas(100, 30, kWhite);
    control_->Paint(canvas.Dc(), {0, 0, 100, 30});
    const RECT hot = Box(canvas, 0x0000FF);
    EXPECT_GE(hot.left, 10); // a hot padding of all zero uses the normal one
    EXPECT_GE(hot.top, 5);
    EXPECT_LT(hot.left, 10 + 3);
    control_->SetEnabled(false); // no disabled colour: the normal one
    canvas.Fill(kWhite);
    EXPECT_TRUE(SameRect(hot, Paint(canvas)));
}

TEST_F(ControlText, AutoCentreShortensAndCentres)
{
    control_->autoCenter = true;
    Canvas canvas(100, 30, kWhite);
    const RECT fits = Paint(canvas);
    EXPECT_NEAR(50, (fits.left + fits.right) / 2, 2);
    control_->SetText(std::wstring(40, L'H'));
    canvas.Fill(kWhite);
    const RECT shortened = Paint(canvas);
    EXPECT_GE(shortened.left, 0);
    EXPECT_LE(shortened.right, 100);
    EXPECT_GT(shortened.right - shortened.left, 100 - Extent(L"HH"));
}

TEST_F(ControlText, ShadowsOfPlainAndOfFittingRollingText)
{
    struct Case {
        uint32_t colour;
        bool rolling;
        uint32_t shadow; // over the background; black when no shadow shows
    };
    for (const Case& c : {Case{0xFF000000, false, 0x9FAFCF}, // white at 0x7F over the background, Case{0x7F000000, false, 0xFFFFFF},
                          Case{0x7F000000, true, 0x000000}}) {
        control_->SetNormalTextColor(c.colour);
        control_->SetTextSpecialStyle(1, 1);
        control_->SetFlag(kFlagEnterRollText, c.rolling);
        control_->effectDescriptor = c.rolling ? L"rolltext='4'" : L"";
        Canvas canvas(100, 30, 0xFF000000 | 0x4060A0);
        control_->Paint(canvas.Dc(), {0, 0, 100, 30});
        // The text is translucent or black: its glyphs are the darkest pixels.
        const RECT shadow = Box(canvas, c.shadow, 2);
        if (c.shadow == 0x000000) {
            EXPECT_EQ(-1, shadow.right) << std::hex << c.colour; // nothing of alpha 0 shows
            continue;
        }
        const RECT text = c.colour == 0xFF000000 ? Box(canvas, 0x000000) : Box(canvas, 0x203050, 2);
        EXPECT_EQ(text.right + 1, shadow.right) << std::hex << c.colour;
        EXPECT_EQ(text.bottom + 1, shadow.bottom) << std::hex << c.colour;
    }
}

TEST_F(ControlText, RollingTextRepeatsAfterAGapAndStopsWhenItFits)
{
    control_->SetFlag(kFlagEnterRollText, true);
    control_->SetText(L"HHHHHHHHHHHHHHH");
    const int width = Extent(control_->GetText());
    ASSERT_GT(width, 100);
    control_->effectDescriptor = L"rolltext='" + std::to_wstring(width - 20) + L"'";
    Canvas canvas(100, 30, kWhite);
    control_->Paint(canvas.Dc(), {0, 0, 100, 30});
    // The first copy ends at 20, the second starts 10 pixels later.
    int inGap = 0, second = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 20; x < 30; ++x) inGap += canvas.Rgb(x, y) == 0;
        for (int x = 30; x < 40; ++x) second += canvas.Rgb(x, y) == 0;
    }
    EXPECT_EQ(0, inGap);
    EXPECT_GT(second, 0);
    EXPECT_GT(Box(canvas, 0x000000).right, 10);
    // Once the text fits again the effect stops at the next paint.
    ASSERT_TRUE(bound_.manager.animations.StartAnimation(control_, kEffectRollText));
    control_->SetText(L"H");
    control_->effectDescriptor = L"rolltext='3'";
    control_->Paint(canvas.Dc(), {0, 0, 100, 30});
    EXPECT_EQ(nullptr, bound_.manager.animations.FindItem(control_, kEffectRollText));
}

TEST_F(ControlText, RichTextWhenAsked)
{
    control_->SetText(L"{c #487fb3}HH{/c}");
    control_->htmlText = true;
    Canvas canvas(100, 30, kWhite);
    control_->Paint(canvas.Dc(), {0, 0, 100, 30});
    EXPECT_EQ(-1, Box(canvas, 0x000000).right);
    const RECT coloured = Box(canvas, 0x487FB3);
    EXPECT_LE(coloured.right, Extent(L"HH"));
    EXPECT_GT(coloured.right, Extent(L"H"));
}

} // namespace
