// Containers, scroll bars, labels and options painted into memory DIBs.
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/core/Label.h"
#include "ui/core/Option.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using Velora::Test::Canvas;
using Velora::Test::CellColour;

constexpr uint32_t kBack = 0xFF102030;

// A solid cell of the test program's 9x9 cell image.
std::wstring Cell(int column, int row)
{
    return L"res='601' restype='PNG' source='" + std::to_wstring(column * 3) + L"," + std::to_wstring(row * 3) + L"," +
           std::to_wstring(column * 3 + 3) + L"," + std::to_wstring(row * 3 + 3) + L"'";
}

VLControl* Filled(VLContainer& parent, const wchar_t* attributes)
{
    auto* item = new VLControl;
    VLControl::ApplyAttributeList(attributes, item);
    parent.Add(item);
    return item;
}

TEST(ContainerPaint, TopmostLastFloatsOverTheInsetFlowClippedToIt)
{
    VLContainer box;
    VLControl::ApplyAttributeList(L"inset=\"10,10,10,10\" normalbkcolor=\"#FF808080\"", &box);
    Filled(box, L"width=\"40\" height=\"40\" normalbkcolor=\"#FF00FF00\""); // reaches past the inset
    Filled(box, L"format=\"topmost\" normalbkcolor=\"#FF0000FF\"");
    Filled(box, L"normalbkcolor=\"#FFFF0000\"");
    Filled(box, L"float=\"true\" pos=\"-10,-10,0,0\" normalbkcolor=\"#FFFFFF00\"");
    box.SetPos({0, 0, 40, 40});
    Canvas canvas(50, 50, kBack);
    box.Paint(canvas.Dc(), {0, 0, 50, 50});
    EXPECT_EQ(0x0000FFu, canvas.Rgb(20, 20));
    EXPECT_EQ(0xFFFF00u, canvas.Rgb(5, 5));
    EXPECT_EQ(0x808080u, canvas.Rgb(35, 35));
    EXPECT_EQ(kBack, canvas.At(45, 45));
}

TEST(ContainerPaint, ScrollbarOutlinesWhatHasNoImage)
{
    VLScrollbar bar;
    bar.SetPos({0, 0, 16, 100});
    Canvas canvas(16, 100, kBack);
    bar.Paint(canvas.Dc(), {0, 0, 16, 100});
    for (POINT p : {POINT{0, 0}, POINT{15, 99}, POINT{0, 17}}) EXPECT_EQ(0x85E4FFu, canvas.Rgb(p.x, p.y)) << p.y;
    EXPECT_EQ(kBack, canvas.At(8, 8));

    // A hidden button's image is not stretched over the bar; the thumb's is
    // drawn where the thumb is, and the bar's background under everything.
    bar.SetShowButton1(false);
    VLControl::ApplyAttributeList(L"button1normalimage=\"" + Cell(0, 0) + L"\" thumbnormalimage=\"" + Cell(1, 1) +
                                      L"\" bknormalimage=\"" + Cell(2, 2) + L"\"",
                                  &bar);
    canvas.Fill(kBack);
    bar.Paint(canvas.Dc(), {0, 0, 16, 100});
    EXPECT_EQ(CellColour(4, 4), canvas.Rgb(8, 20));
    EXPECT_EQ(CellColour(7, 7), canvas.Rgb(8, 60));
    EXPECT_FALSE(bar.GetPartImage(VLScrollbar::kPartButton1, VLScrollbar::kLookNormal).empty());
}

TEST(ContainerPaint, AntialiasedTextCoverage)
{
    const struct {
        const char* name;
        uint32_t text;
        uint32_t pixel;
        uint32_t expected;
    } cases[] = {
        {"black text stays as drawn", 0xFF000000, 0xFF404040, 0xFF404040},
        {"full colour stays", 0xFFFF0000, 0xFFFF0000, 0xFFFF0000},
        {"untouched stays transparent", 0xFFFF0000, 0x00000000, 0x00000000},
        {"half coverage", 0xFFFF0000, 0xFF800000, 0x80800000},
        {"brighter than the colour is clamped", 0xFFFF0000, 0xFF404040, 0xFFFF0000},
    };
    for (const auto& c : cases) {
        uint32_t pixel = c.pixel;
        VLLabel::CoverText(&pixel, 1, c.text);
        EXPECT_TRUE(Velora::Test::Near(c.expected, pixel, 1)) << c.name << ": " << std::hex << pixel;
    }

    // Black antialiased text shows, and only inside the text rectangle.
    BoundManager bound;
    VLLabel label;
    label.SetManager(&bound.manager);
    VLControl::ApplyAttributeList(
        L"text_antialias=\"true\" text=\"WWW\" normaltextpadding=\"10,5,10,5\" normaltextcolor=\"#FF000000\"", &label);
    label.SetPos({0, 0, 80, 30});
    Canvas canvas(80, 30, 0xFFFFFFFF);
    label.Paint(canvas.Dc(), {0, 0, 80, 30});
    const RECT changed = canvas.Changed(0xFFFFFFFF);
    EXPECT_FALSE(IsRectEmpty(&changed));
    EXPECT_GE(changed.left, 10);
    EXPECT_GE(changed.top, 5);
    EXPECT_LE(changed.right, 70);
    EXPECT_LE(changed.bottom, 25);
}

TEST(ContainerPaint, SelectedOptionLooks)
{
    const struct {
        const char* name;
        bool enabled;
        bool disabledSelectedImage;
        uint32_t expected;
    } cases[] = {
        {"selected", true, false, CellColour(0, 0)},
        {"disabled keeps the selected image", false, false, CellColour(0, 0)},
        {"disabled selected image", false, true, CellColour(3, 0)},
    };
    for (const auto& c : cases) {
        VLOption option;
        option.images[kImageSelected] = Cell(0, 0);
        option.bkImages[kImageSelected] = Cell(2, 2);
        if (c.disabledSelectedImage) option.SetDisabledSelectedImage(Cell(1, 0));
        option.SetSelected(true);
        option.SetEnabled(c.enabled);
        option.SetPos({0, 0, 20, 20});
        option.state |= kStatePushed;
        Canvas canvas(20, 20, kBack);
        option.Paint(canvas.Dc(), {0, 0, 20, 20});
        EXPECT_EQ(c.expected, canvas.Rgb(10, 10)) << c.name;
        EXPECT_EQ(0u, option.state & kStatePushed) << c.name;
    }
    // The selected background shows under a state image that covers part of it.
    VLOption option;
    option.bkImages[kImageSelected] = Cell(2, 2);
    option.images[kImageSelected] = Cell(0, 0) + L" dest='0,0,5,5'";
    option.SetSelected(true);
    option.SetPos({0, 0, 20, 20});
    Canvas canvas(20, 20, kBack);
    option.Paint(canvas.Dc(), {0, 0, 20, 20});
    EXPECT_EQ(CellColour(6, 6), canvas.Rgb(10, 10));
    EXPECT_EQ(CellColour(0, 0), canvas.Rgb(2, 2));
}

} // namespace
} // namespace Velora
