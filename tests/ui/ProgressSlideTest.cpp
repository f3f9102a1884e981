// The progress bar's fill and the slider's values, thumb and mouse.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/Progress.h"
#include "ui/core/UIResources.h"
#include "ui/core/Slide.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBack = 0xFF102030;

// Columns of row 10 whose colour is not the background, as first..last.
std::pair<int, int> FilledColumns(const Canvas& canvas, int width)
{
    int first = -1, last = -1;
    for (int x = 0; x < width; ++x) {
        if (canvas.Rgb(x, 10) == (kBack & 0xFFFFFF)) continue;
        if (first < 0) first = x;
        last = x;
    }
    return {first, last};
}

class ProgressFill : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Left half red, right half blue, so a crop shows only red.
        Rgba pixels;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 200; ++x) pixels.insert(pixels.end(), {BYTE(x < 100 ? 255 : 0), 0, BYTE(x < 100 ? 0 : 255), 255});
        path_ = folder_ / L"fore.png";
        ASSERT_TRUE(WriteFileBytes(path_, Encode(Format::Png, 200, 20, pixels)));
    }
    void TearDown() override { VLUIResources::Instance()->RemoveFileImage(path_); }

    TestFolder folder_;
    std::wstring path_;
};

TEST_F(ProgressFill, FillFollowsValueStepCornerAndCrop)
{
    struct Case {
        const wchar_t* attributes;
        int maximum, step, value;
        int first, last; // filled columns, -1 for none
        uint32_t atLeftEdgeOfFill, atRightEdgeOfFill;
    };
    const Case cases[] = {
        {L"", 100, 1, 50, 0, 99, 0xFF0000, 0x0000FF},        // stretched: the whole image in the left half
        {L"source=\"true\"", 100, 1, 50, 0, 99, 0xFF0000, 0xFF0000}, // cropped: its left half unscaled
        {L"", 100, 10, 5, 0, 99, 0xFF0000, 0x0000FF},        // full at value 10
        {L"", 100, 10, 30, 0, 199, 0xFF0000, 0x0000FF},
        {L"foreinset=\"10,2,10,2\"", 100, 1, 50, 10, 99, 0xFF0000, 0x0000FF},
        {L"", 0, 1, 0, -1, -1, 0, 0}, // no units: nothing, and no division by zero
        {L"", 100, 1, 3, -1, -1, 0, 0},                        // 6 pixels < corners 5 + 5
    };
    for (const Case& c : cases) {
        VLProgress progress;
        VLControl::ApplyAttributeList(c.attributes, &progress);
        progress.SetMaxValue(c.maximum);
        progress.SetStep(c.step);
        progress.SetValue(c.value);
        progress.SetNormalImage(L"file='" + path_ + L"'" + (c.value == 3 ? L" corner='5,0,5,0'" : L""));
        progress.SetPos({0, 0, 200, 20});
        Canvas canvas(200, 20, kBack);
        progress.Paint(canvas.Dc(), {0, 0, 200, 20});
        const auto [first, last] = FilledColumns(canvas, 200);
        EXPECT_EQ(c.first, first) << c.attributes << c.value;
        EXPECT_EQ(c.last, last) << c.attributes << c.value;
        if (first < 0) continue;
        EXPECT_EQ(c.atLeftEdgeOfFill, canvas.Rgb(first, 10)) << c.attributes;
        EXPECT_EQ(c.atRightEdgeOfFill, canvas.Rgb(last, 10)) << c.attributes;
    }
}

TEST(Progress, ValuesAndStepsStayInBounds)
{
    VLProgress progress;
    EXPECT_EQ(7, progress.GetClassId());
    EXPECT_EQ(&progress, progress.GetInterface(1));
    EXPECT_EQ(100, progress.SetValue(150));
    EXPECT_EQ(0, progress.SetValue(-3));
    EXPECT_EQ(1, progress.SetStep(0));
    EXPECT_EQ(100, progress.SetStep(500));
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
    int LastPercent() const
    {
        for (auto it = bound_.listener.messages.rbegin(); it != bound_.listener.messages.rend(); ++it)
            if (it->type == kNotifySlideValue) return int(it->wParam);
        return -1;
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
    EXPECT_EQ(50, LastPercent());
    slide_->SetPos({0, 0, 20, 380});
    EXPECT_EQ(360, slide_->GetRange());
    EXPECT_EQ(180, slide_->GetValue());
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

TEST_F(Slider, ThumbWithoutImageIsOutlined)
{
    slide_->SetValue(90);
    Canvas canvas(20, 200, kBack);
    slide_->Paint(canvas.Dc(), {0, 0, 20, 200});
    EXPECT_EQ(0x85E4FFu, canvas.Rgb(0, 100));
    EXPECT_EQ(0x85E4FFu, canvas.Rgb(1, 91));
    EXPECT_EQ(kBack & 0xFFFFFF, canvas.Rgb(10, 100));
    EXPECT_TRUE(SameRect({0, 90, 20, 110}, canvas.Changed(kBack)));
}

} // namespace
