// The progress bar's fill and the slider's values, thumb and mouse.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/Progress.h"
#include "ui/core/Slide.h"
#include "ui/core/UIResources.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBack = 0xFF102030;

class ProgressFill : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Left half red, right half blue, so a crop shows only red.
        Rgba pixels;
        for (int i = 0; i < 200 * 20; ++i)
            pixels.insert(pixels.end(), {BYTE(i % 200 < 100 ? 255 : 0), 0, BYTE(i % 200 < 100 ? 0 : 255), 255});
        path_ = folder_ / L"fore.png";
        ASSERT_TRUE(WriteFileBytes(path_, Encode(Format::Png, 200, 20, pixels)));
    }
    void TearDown() override { VLUIResources::Instance()->RemoveFileImage(path_); }

    TestFolder folder_;
    std::wstring path_;
};

TEST_F(ProgressFill, FillFollowsValueStepCornerAndCrop)
{
    const struct {
        const wchar_t* attributes;
        int maximum, step, value;
        RECT red, blue; // where the image's halves show
    } cases[] = {
        {L"", 100, 1, 50, {0, 0, 50, 20}, {50, 0, 100, 20}},           // stretched: the whole image in the left half
        {L"source=\"true\"", 100, 1, 50, {0, 0, 100, 20}, {}},         // cropped: its left half unscaled
        {L"step=\"10\"", 100, 0, 5, {0, 0, 50, 20}, {50, 0, 100, 20}}, // full at value 10
        {L"step=\"10\"", 100, 0, 30, {0, 0, 100, 20}, {100, 0, 200, 20}},
        {L"foreinset=\"10,2,10,2\"", 100, 1, 50, {10, 2, 55, 18}, {55, 2, 100, 18}},
        {L"", 0, 1, 0, {}, {}},   // no units: nothing, and no division by zero
        {L"", 100, 1, 3, {}, {}}, // 6 pixels, less than its corners 5 + 5
    };
    for (const auto& c : cases) {
        VLProgress progress;
        VLControl::ApplyAttributeList(c.attributes, &progress);
        progress.SetMaxValue(c.maximum);
        if (c.step) progress.SetStep(c.step);
        progress.SetValue(c.value);
        progress.SetNormalImage(L"file='" + path_ + L"'" + (c.value == 3 ? L" corner='5,0,5,0'" : L""));
        progress.SetPos({0, 0, 200, 20});
        Canvas canvas(200, 20, kBack);
        progress.Paint(canvas.Dc(), {0, 0, 200, 20});
        EXPECT_TRUE(SameRect(c.red, canvas.Where(0xFF0000))) << c.attributes << c.value;
        EXPECT_TRUE(SameRect(c.blue, canvas.Where(0x0000FF))) << c.attributes << c.value;
    }
}

TEST(Progress, ValuesAndStepsStayInBounds)
{
    VLProgress progress;
    EXPECT_TRUE(progress.GetClassId() == 7 && progress.GetInterface(7) == &progress && progress.GetInterface(1));
    EXPECT_TRUE(progress.SetValue(150) == 100 && progress.SetValue(-3) == 0);
    EXPECT_TRUE(progress.SetStep(0) == 1 && progress.SetStep(500) == 100);
    progress.SetMaxValue(0);
    EXPECT_EQ(1, progress.SetStep(5)); // lowered to the maximum 0, yet at least 1
}

class Slider : public ::testing::Test {
protected:
    void SetUp() override
    {
        slide_ = new VLSlide;
        bound_.manager.AttachRoot(slide_);
        VLControl::ApplyAttributeList(L"thumbsize=\"20\"", slide_);
        slide_->SetPos({0, 0, 20, 200});
    }
    void Mouse(int type, int y)
    {
        VLControlEvent event{};
        event.type = type;
        event.sender = slide_;
        event.ptMouse = {10, y};
        slide_->DoEvent(event);
    }
    BoundManager bound_;
    VLSlide* slide_ = nullptr;
};

TEST_F(Slider, ValueRangeAndThumb)
{
    EXPECT_EQ(180, slide_->GetRange());
    slide_->SetValue(90);
    EXPECT_TRUE(SameRect({0, 90, 20, 110}, slide_->GetThumbRect()));
    const VLNotifyMsg& notice = bound_.listener.messages.back();
    EXPECT_TRUE(notice.type == kNotifySlideValue && notice.sender == slide_ && notice.wParam == 50);
    // Without a thumb image, a two-pixel outline.
    Canvas canvas(20, 200, kBack);
    slide_->Paint(canvas.Dc(), {0, 0, 20, 200});
    EXPECT_TRUE(SameRect({0, 90, 20, 110}, canvas.Changed(kBack)));
    EXPECT_TRUE(SameRect({0, 90, 20, 110}, canvas.Where(0x85E4FF)));
    EXPECT_EQ(kBack, canvas.At(10, 100));

    slide_->SetPos({0, 0, 20, 380});
    EXPECT_TRUE(slide_->GetRange() == 360 && slide_->GetValue() == 180);
    slide_->SetPos({0, 0, 20, 10}); // shorter than the thumb
    EXPECT_EQ(360, slide_->GetRange());
    slide_->SetValue(-10);
    EXPECT_EQ(0, slide_->GetValue());
    slide_->SetValue(1000);
    EXPECT_EQ(360, slide_->GetValue());
    // Repeated values beyond the end notify once.
    const int notified = bound_.Count(kNotifySlideValue);
    slide_->SetValue(2000);
    slide_->SetValue(3000);
    EXPECT_EQ(notified, bound_.Count(kNotifySlideValue));
}

TEST_F(Slider, MouseMovesTheThumbFromItsMiddle)
{
    slide_->SetValue(90); // thumb 90..110, middle 100
    Mouse(kEventLButtonDown, 105);
    EXPECT_EQ(95, slide_->GetValue()); // the middle jumps under the mouse
    Mouse(kEventMouseMove, 300);       // past the end: the thumb stops there, middle 190
    EXPECT_EQ(180, slide_->GetValue());
    Mouse(kEventMouseMove, 250); // up, but still below the middle: stays
    EXPECT_EQ(180, slide_->GetValue());
    Mouse(kEventMouseMove, 185); // up, above the middle: follows by the whole step
    EXPECT_EQ(115, slide_->GetValue());
    Mouse(kEventLButtonUp, 185);
    Mouse(kEventMouseMove, 20); // released: no drag
    EXPECT_EQ(115, slide_->GetValue());
}

} // namespace
