// Image descriptors read and drawn into memory DIBs.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/ImageDescriptor.h"
#include "ui/core/RenderEngine.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr uint32_t kBackground = 0xFF102030;

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The smallest rectangle holding every pixel that is not the background.
RECT Painted(const Canvas& canvas, int width, int height)
{
    RECT box{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (canvas.At(x, y) == kBackground) continue;
            box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                   std::max<LONG>(box.bottom, y + 1)};
        }
    }
    return box.right ? box : RECT{};
}

class ImageDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        cells_ = folder_ / L"cells.png";
        ASSERT_TRUE(WriteFileBytes(cells_, EncodePng(9, 9, CellImage())));
    }
    void TearDown() override
    {
        for (const std::wstring& path : written_) VLUIResources::Instance()->RemoveFileImage(path);
        VLUIResources::Instance()->RemoveFileImage(cells_);
    }
    std::wstring Write(const std::wstring& name, int width, int height, const Rgba& pixels)
    {
        written_.push_back(folder_ / name);
        EXPECT_TRUE(WriteFileBytes(written_.back(), EncodePng(width, height, pixels)));
        return written_.back();
    }
    bool Draw(Canvas& canvas, const RECT& control, const std::wstring& descriptor, const wchar_t* modifier = nullptr)
    {
        RECT paint{0, 0, 1000, 1000};
        return VLRenderEngine::DrawImageString(canvas.Dc(), control, descriptor.c_str(), paint, modifier);
    }

    TestFolder folder_;
    std::wstring cells_;
    std::vector<std::wstring> written_;
};

TEST(VLImageDescriptor, Grammar)
{
    const VLImageDescriptor bare(L"skin\\bk.png");
    EXPECT_EQ(L"skin\\bk.png", bare.name);
    // No blank before corner: the parse ends there.
    const VLImageDescriptor noBlank(L"res='603' restype='PNG' source='206,0,309,41'corner='3,3,3,3'");
    EXPECT_EQ(L"603", noBlank.name);
    EXPECT_EQ(L"PNG", noBlank.resType);
    EXPECT_TRUE(SameRect({206, 0, 309, 41}, noBlank.source));
    EXPECT_TRUE(SameRect({}, noBlank.corner));
    const VLImageDescriptor spaced(L"source='36, 0, 54, 100' dest='1,2' round='6'");
    EXPECT_TRUE(SameRect({36, 0, 54, 100}, spaced.source));
    EXPECT_TRUE(SameRect({1, 2, 0, 0}, spaced.dest));
    EXPECT_EQ(6, spaced.round.x);
    EXPECT_EQ(0, spaced.round.y);
    const VLImageDescriptor shared(L"file='a.png' res='b.png' fade='300' mask='#FF00FF' rgnmask='0xff000000'");
    EXPECT_EQ(L"b.png", shared.name);
    EXPECT_EQ(44, shared.fade);
    EXPECT_EQ(0xFF00FFu, shared.mask);
    EXPECT_EQ(0xFF000000u, shared.regionMask);
    // A second blank joins the next key (unknown, skipped); empty values and
    // unknown keys change nothing; "True" is not true.
    const VLImageDescriptor odd(L"hole='true'  fade='10' file='' Hole='true' alphaClose='True' rotate='12.5' x");
    EXPECT_TRUE(odd.hole);
    EXPECT_EQ(255, odd.fade);
    EXPECT_EQ(L"hole='true'  fade='10' file='' Hole='true' alphaClose='True' rotate='12.5' x", odd.name);
    EXPECT_FALSE(odd.alphaClose);
    EXPECT_EQ(12.5, odd.rotate);
    for (const wchar_t* broken : {L"fade='10' ", L"fade=10", L"fade='10", L"fade='10'", L"fade"}) {
        VLImageDescriptor descriptor(L"");
        descriptor.Parse(broken);
        EXPECT_EQ(std::wstring(broken).find(L"'10'") != std::wstring::npos ? 10 : 255, descriptor.fade) << broken;
    }
}

TEST_F(ImageDraw, NineGridCellsKeepTheirColours)
{
    const std::wstring base = L"file='" + cells_ + L"' corner='3,3,3,3'";
    auto cellOf = [](int d) { return d < 3 ? 0 : d < 27 ? 3 : 6; };
    struct Case {
        const wchar_t* modifier;
        bool hole;
        uint32_t alpha; // constant opacity of the image
    } cases[] = {{nullptr, false, 255}, {L"fade='128'", false, 128}, {L"hole='true'", true, 255}};
    for (const Case& c : cases) {
        Canvas canvas(30, 30, kBackground);
        ASSERT_TRUE(Draw(canvas, {0, 0, 30, 30}, base, c.modifier));
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 30; ++x) {
                const uint32_t source = CellColour(cellOf(x), cellOf(y));
                uint32_t expected = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t s = (source >> shift) & 0xFF, d = (kBackground >> shift) & 0xFF;
                    expected |= (s * c.alpha / 255 + d * (255 - c.alpha) / 255) << shift;
                }
                if (c.hole && cellOf(x) == 3 && cellOf(y) == 3) expected = kBackground;
                ASSERT_TRUE(Near(expected & 0xFFFFFF, canvas.At(x, y) & 0xFFFFFF, c.alpha == 255 ? 0 : 1))
                    << x << "," << y << " " << std::hex << canvas.At(x, y) << " " << expected;
            }
        }
    }
}

TEST_F(ImageDraw, DestinationGeometry)
{
    const struct {
        const wchar_t* pairs;
        RECT painted;
    } cases[] = {
        {L"dest='0,0,18,18'", {10, 20, 28, 38}},
        {L"dest='0,0,18,18' right='true'", {92, 20, 110, 38}},
        {L"dest='5,3,18,0' right='true'", {}}, // no height
        {L"dest='10,5,0,0'", {20, 25, 110, 50}},
        {L"source='3,0,6,3'corner='3,3,3,3' dest='1,1,2,2'", {10, 20, 110, 50}},
    };
    for (const auto& c : cases) {
        Canvas canvas(120, 60, kBackground);
        ASSERT_TRUE(Draw(canvas, {10, 20, 110, 50}, L"file='" + cells_ + L"' " + c.pairs));
        EXPECT_TRUE(SameRect(c.painted, Painted(canvas, 120, 60))) << c.pairs;
    }
    // The missing blank leaves one cell stretched over the whole control.
    Canvas canvas(120, 60, kBackground);
    ASSERT_TRUE(Draw(canvas, {10, 20, 110, 50}, L"file='" + cells_ + L"' source='3,0,6,3'corner='3,3,3,3'"));
    EXPECT_EQ(CellColour(3, 0), canvas.At(11, 21) & 0xFFFFFF);
    EXPECT_EQ(CellColour(3, 0), canvas.At(108, 48) & 0xFFFFFF);
}

TEST_F(ImageDraw, NamesAndFailures)
{
    Canvas canvas(9, 9, kBackground);
    const RECT rect{0, 0, 9, 9};
    EXPECT_TRUE(Draw(canvas, rect, cells_)); // a bare name
    EXPECT_EQ(CellColour(8, 8), canvas.At(8, 8) & 0xFFFFFF);
    EXPECT_TRUE(Draw(canvas, rect, L"file='nothing.png' res='" + cells_ + L"'"));
    EXPECT_FALSE(Draw(canvas, rect, L"file='nothing.png'"));
    EXPECT_FALSE(Draw(canvas, rect, L"res='698' restype='NONE'"));
    // A file image and a resource may share a name: restype tells them apart.
    uint32_t* bits = nullptr;
    auto solid = std::make_unique<VLImageInfo>();
    solid->bitmap = CreateDib32(1, 1, &bits);
    solid->width = solid->height = 1;
    *bits = 0xFF00FF00;
    VLRenderEngine::AddFileImage(L"601", std::move(solid));
    EXPECT_TRUE(Draw(canvas, rect, L"601"));
    EXPECT_EQ(0xFF00u, canvas.At(0, 0) & 0xFFFFFF);
    EXPECT_TRUE(Draw(canvas, rect, L"res='601' restype='PNG'"));
    EXPECT_EQ(CellColour(0, 0), canvas.At(0, 0) & 0xFFFFFF);
    VLUIResources::Instance()->RemoveFileImage(L"601");
    EXPECT_TRUE(VLRenderEngine::DrawImageString(nullptr, rect, cells_.c_str(), rect, nullptr));
}

TEST_F(ImageDraw, OnlyTheSameSizeOpaqueCopyIsCutToThePaintRectangle)
{
    const RECT paint{0, 0, 4, 4};
    for (const wchar_t* pairs : {L"", L" corner='1,1,1,1'", L" fade='254'"}) {
        Canvas canvas(9, 9, kBackground);
        const std::wstring descriptor = L"file='" + cells_ + L"'" + pairs;
        ASSERT_TRUE(VLRenderEngine::DrawImageString(canvas.Dc(), {0, 0, 9, 9}, descriptor.c_str(), paint, nullptr));
        EXPECT_TRUE(Near(CellColour(3, 3), canvas.At(3, 3) & 0xFFFFFF, 2)) << pairs;
        // Cells meeting the paint rectangle are drawn whole.
        EXPECT_EQ(*pairs == 0, canvas.At(6, 6) == kBackground) << pairs;
    }
}

TEST_F(ImageDraw, CornersLargerThanTheSourceSkipTheirCells)
{
    // Source middle width 4 - 3 - 3 < 0: no mirrored middle or edges.
    Canvas canvas(30, 9, kBackground);
    ASSERT_TRUE(Draw(canvas, {0, 0, 30, 9}, L"file='" + cells_ + L"' source='0,0,4,9' corner='3,0,3,0'"));
    EXPECT_EQ(kBackground, canvas.At(15, 4));
    EXPECT_EQ(CellColour(0, 4), canvas.At(1, 4) & 0xFFFFFF);
    EXPECT_EQ(CellColour(0, 4), canvas.At(28, 4) & 0xFFFFFF); // source columns 1 to 3
    EXPECT_EQ(CellColour(3, 4), canvas.At(29, 4) & 0xFFFFFF);
}

TEST_F(ImageDraw, AlphaCloseSticksToTheCachedImage)
{
    const std::wstring path = Write(L"half.png", 1, 1, {255, 255, 255, 128});
    Canvas canvas(4, 4, 0xFF0000FF);
    ASSERT_TRUE(Draw(canvas, {0, 0, 4, 4}, L"file='" + path + L"'"));
    EXPECT_TRUE(Near(0xFF7F7FFF, canvas.At(1, 1), 2)) << std::hex << canvas.At(1, 1);
    ASSERT_TRUE(Draw(canvas, {0, 0, 4, 4}, L"file='" + path + L"' alphaClose='true' fade='10'"));
    EXPECT_EQ(0x808080u, canvas.At(1, 1) & 0xFFFFFF);
    canvas.Fill(0xFF0000FF);
    ASSERT_TRUE(Draw(canvas, {0, 0, 4, 4}, L"file='" + path + L"'"));
    EXPECT_EQ(0x808080u, canvas.At(1, 1) & 0xFFFFFF);
}

TEST_F(ImageDraw, IconFallbackJoinsTheCache)
{
    const std::wstring iconFile = VL_UI_FIXTURE_DIR L"\\half.ico";
    for (const std::wstring& named : {std::wstring(L"res='603' restype='ICOTEST'"), L"file='" + iconFile + L"'"}) {
        Canvas canvas(16, 16, kBackground);
        ASSERT_TRUE(Draw(canvas, {0, 0, 16, 16}, named + L" icon='true' iconsize='16'")) << named;
        EXPECT_EQ(kBackground, canvas.At(3, 8));
        EXPECT_TRUE(Near(0xFFFF0000, canvas.At(12, 8), 1)) << std::hex << canvas.At(12, 8);
    }
    VLImageInfo* cached = VLUIResources::Instance()->GetResourceImage(603, L"ICOTEST", 0);
    ASSERT_TRUE(cached);
    EXPECT_EQ(16, cached->width);
    EXPECT_TRUE(cached->hasAlpha);
    EXPECT_TRUE(VLUIResources::Instance()->GetFileImage(iconFile, 0, false));
    VLUIResources::Instance()->RemoveFileImage(iconFile);
    Canvas canvas(16, 16, kBackground);
    EXPECT_FALSE(Draw(canvas, {0, 0, 16, 16}, L"res='604' restype='ICOTEST' icon='true' iconsize='16'"));
}

TEST_F(ImageDraw, ReflectionFadesRowByRow)
{
    const std::wstring path = Write(L"white.png", 4, 10, Rgba(4 * 10 * 4, 255));
    for (int height : {10, 5}) {
        Canvas canvas(4, 10, 0xFF000000);
        ASSERT_TRUE(Draw(canvas, {0, 0, 4, height}, L"file='" + path + L"' reverse='true'"));
        const double q = (1 - 0.9) * height;
        for (int j = 0; j < height; ++j) {
            const int i = height - 1 - j;
            const int t = i < q ? 0 : int((i - q) * 229.5 / (0.9 * height));
            const uint32_t k = uint32_t(t * 255 * 229.5 / 65025);
            EXPECT_NEAR(int(k), int(canvas.At(2, j) & 0xFF), 1) << height << " row " << j;
        }
    }
}

TEST_F(ImageDraw, RotationTurnsAboutTheCentre)
{
    // Six wide, two high: red in the first column, green elsewhere.
    Rgba pixels;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x) pixels.insert(pixels.end(), {(unsigned char)(x ? 0 : 255), (unsigned char)(x ? 255 : 0), 0, 255});
    const std::wstring path = Write(L"bar.png", 6, 2, pixels);
    Canvas canvas(40, 40, kBackground);
    ASSERT_TRUE(Draw(canvas, {20, 20, 26, 22}, L"file='" + path + L"' rotate='90'"));
    EXPECT_TRUE(SameRect({22, 18, 24, 24}, Painted(canvas, 40, 40)));
    const bool redOnTop = (canvas.At(22, 18) & 0xFFFFFF) == 0xFF0000;
    const int redRow = redOnTop ? 18 : 23;
    for (int y = 18; y < 24; ++y) {
        for (int x = 22; x < 24; ++x)
            EXPECT_EQ(y == redRow ? 0xFF0000u : 0x00FF00u, canvas.At(x, y) & 0xFFFFFF) << x << "," << y;
    }
}

TEST_F(ImageDraw, RegionImageShowsOnlyItsPixelsUpright)
{
    Rgba region;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) region.insert(region.end(), {(unsigned char)(x < 4 ? 0 : 255), 255, 255, 255});
    const std::wstring mask = Write(L"region.png", 9, 9, region);
    Canvas canvas(9, 9, kBackground);
    const std::wstring descriptor = L"file='" + cells_ + L"' rgnimage='" + mask + L"' rgnmask='0xFF00FFFF'";
    ASSERT_TRUE(Draw(canvas, {0, 0, 9, 9}, descriptor));
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(kBackground, canvas.At(2, y));
        EXPECT_EQ(CellColour(6, y), canvas.At(6, y) & 0xFFFFFF) << y;
    }
    // A module bitmap (not a DIB section) works as the image too.
    canvas.Fill(kBackground);
    ASSERT_TRUE(Draw(canvas, {0, 0, 9, 9}, L"res='602' restype='BMP' rgnimage='" + mask + L"' rgnmask='0xFF00FFFF'"));
    EXPECT_EQ(kBackground, canvas.At(2, 8));
    EXPECT_EQ(CellColour(6, 8), canvas.At(6, 8) & 0xFFFFFF);
    // A region image of another size draws nothing.
    Canvas other(10, 10, kBackground);
    ASSERT_TRUE(Draw(other, {0, 0, 10, 10}, descriptor));
    EXPECT_TRUE(SameRect({}, Painted(other, 10, 10)));
}

} // namespace
