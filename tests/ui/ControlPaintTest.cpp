// Controls painted into memory DIBs: which look each state draws, and what a
// missing image falls back to.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/RenderEngine.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBack = 0xFF102030;

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

} // namespace
