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

constexpr uint32_t kBack = 0xFF102030;

TEST(VLImageDescriptor, Grammar)
{
    EXPECT_EQ(L"skin\\bk.png", VLImageDescriptor(L"skin\\bk.png").name);
    const VLImageDescriptor noBlank(L"res='603' restype='PNG' source='206,0,309,41'corner='3,3,3,3'");
    EXPECT_EQ(L"603", noBlank.name);
    EXPECT_EQ(L"PNG", noBlank.resType);
    EXPECT_TRUE(SameRect({206, 0, 309, 41}, noBlank.source));
    EXPECT_TRUE(SameRect({}, noBlank.corner)); // the parse ended before it
    const VLImageDescriptor spaced(L"source='36, 0, 54, 100' dest='1,2' round='6'");
    EXPECT_TRUE(SameRect({36, 0, 54, 100}, spaced.source));
    EXPECT_TRUE(SameRect({1, 2, 0, 0}, spaced.dest));
    EXPECT_EQ(6, spaced.round.x);
    const VLImageDescriptor shared(L"file='a.png' res='b.png' fade='300' mask='#FF00FF' rgnmask='0xff000000'");
    EXPECT_EQ(L"b.png", shared.name);
    EXPECT_EQ(44, shared.fade);
    EXPECT_EQ(0xFF00FFu, shared.mask);
    EXPECT_EQ(0xFF000000u, shared.regionMask);
    // A second blank joins the next key; empty values, unknown keys and
    // "True" change nothing.
    const VLImageDescriptor odd(L"hole='true'  fade='10' file='' Hole='x' alphaClose='True' rotate='12.5' x");
    EXPECT_TRUE(odd.hole);
    EXPECT_EQ(255, odd.fade);
    EXPECT_EQ(0u, odd.name.find(L"hole="));
    EXPECT_FALSE(odd.alphaClose);
    EXPECT_EQ(12.5, odd.rotate);
    for (const wchar_t* text : {L"fade='10' ", L"fade='10'", L"fade=10", L"fade='10", L"fade"}) {
        VLImageDescriptor descriptor(L"");
        descriptor.Parse(text);
        EXPECT_EQ(std::wstring(text).find(L"'10'") != std::wstring::npos ? 10 : 255, descriptor.fade) << text;
    }
}

class ImageDraw : public ::testing::Test {
protected:
    void SetUp() override { cells_ = Write(L"cells.png", 9, 9, CellImage()); }
    void TearDown() override
    {
        for (const std::wstring& path : written_) VLUIResources::Instance()->RemoveFileImage(path);
    }
    std::wstring Write(const std::wstring& name, int width, int height, const Rgba& pixels)
    {
        written_.push_back(folder_ / name);
        EXPECT_TRUE(WriteFileBytes(written_.back(), Encode(Format::Png, width, height, pixels)));
        return written_.back();
    }
    bool Draw(Canvas& canvas, const RECT& control, const std::wstring& descriptor, RECT paint = {0, 0, 999, 999})
    {
        return VLRenderEngine::DrawImageString(canvas.Dc(), control, descriptor.c_str(), paint, nullptr);
    }
    std::wstring File(const std::wstring& path) { return L"file='" + path + L"'"; }

    TestFolder folder_;
    std::vector<std::wstring> written_;
    std::wstring cells_;
};

TEST_F(ImageDraw, NineGridCellsKeepTheirColours)
{
    auto cellOf = [](int d) { return d < 3 ? 0 : d < 27 ? 3 : 6; };
    for (const auto& [pairs, alpha, hole] : {std::tuple{L"", 255u, false}, {L"fade='128'", 128u, false},
                                            {L"hole='true'", 255u, true}}) {
        Canvas canvas(30, 30, kBack);
        ASSERT_TRUE(VLRenderEngine::DrawImageString(canvas.Dc(), {0, 0, 30, 30},
                                                    (File(cells_) + L" corner='3,3,3,3'").c_str(), {0, 0, 30, 30},
                                                    pairs));
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 30; ++x) {
                uint32_t expected = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t s = (CellColour(cellOf(x), cellOf(y)) >> shift) & 0xFF, d = (kBack >> shift) & 0xFF;
                    expected |= (s * alpha / 255 + d * (255 - alpha) / 255) << shift;
                }
                if (hole && cellOf(x) == 3 && cellOf(y) == 3) expected = kBack & 0xFFFFFF;
                ASSERT_TRUE(Near(expected, canvas.Rgb(x, y), alpha == 255 ? 0 : 1)) << x << "," << y << pairs;
            }
        }
    }
}

TEST_F(ImageDraw, DestinationGeometryAndPaintRectangle)
{
    const struct {
        const wchar_t* pairs;
        RECT painted;
    } cases[] = {
        {L" dest='0,0,18,18'", {10, 20, 28, 38}},
        {L" dest='0,0,18,18' right='true'", {92, 20, 110, 38}},
        {L" dest='5,3,18,0' right='true'", {}}, // no height
        {L" dest='10,5,0,0'", {20, 25, 110, 50}},
        {L" source='3,0,6,3'corner='3,3,3,3' dest='1,1,2,2'", {10, 20, 110, 50}}, // ends before corner
    };
    for (const auto& c : cases) {
        Canvas canvas(120, 60, kBack);
        ASSERT_TRUE(Draw(canvas, {10, 20, 110, 50}, File(cells_) + c.pairs));
        EXPECT_TRUE(SameRect(c.painted, canvas.Changed(kBack))) << c.pairs;
        if (wcsstr(c.pairs, L"source")) {
            EXPECT_EQ(CellColour(3, 0), canvas.Rgb(108, 48));
        }
    }
    // A control taller than any screen: its image is cut to what is seen.
    for (const wchar_t* pairs : {L"", L" fade='200'", L" corner='1,1,1,1'"}) {
        Canvas canvas(9, 9, kBack);
        ASSERT_TRUE(Draw(canvas, {0, 0, 9, 2147483596}, File(cells_) + pairs, {0, 0, 9, 9}));
        EXPECT_NE(kBack, canvas.At(4, 4)) << pairs;
    }
    // Only the same-size opaque copy is cut to the paint rectangle; cells
    // that meet it are drawn whole.
    for (const wchar_t* pairs : {L"", L" corner='1,1,1,1'", L" fade='254'"}) {
        Canvas canvas(9, 9, kBack);
        ASSERT_TRUE(Draw(canvas, {0, 0, 9, 9}, File(cells_) + pairs, {0, 0, 4, 4}));
        EXPECT_TRUE(Near(CellColour(3, 3), canvas.Rgb(3, 3), 2)) << pairs;
        EXPECT_EQ(*pairs == 0, canvas.At(6, 6) == kBack) << pairs;
    }
}

TEST_F(ImageDraw, NamesCachesAndFailures)
{
    Canvas canvas(9, 9, kBack);
    const RECT rect{0, 0, 9, 9};
    EXPECT_TRUE(Draw(canvas, rect, cells_)); // a bare name
    EXPECT_EQ(CellColour(8, 8), canvas.Rgb(8, 8));
    EXPECT_TRUE(Draw(canvas, rect, L"file='nothing.png' res='" + cells_ + L"'"));
    EXPECT_FALSE(Draw(canvas, rect, L"file='nothing.png'"));
    EXPECT_FALSE(Draw(canvas, rect, L"res='698' restype='NONE'"));
    EXPECT_TRUE(VLRenderEngine::DrawImageString(nullptr, rect, cells_.c_str(), rect, nullptr));
    // A file image and a resource share the name 601: restype tells them apart.
    auto solid = std::make_unique<VLImageInfo>();
    uint32_t* bits = nullptr;
    solid->bitmap = CreateDib32(1, 1, &bits);
    solid->width = solid->height = 1;
    *bits = 0xFF00FF00;
    written_.push_back(VLRenderEngine::AddFileImage(L"601", std::move(solid)));
    EXPECT_TRUE(Draw(canvas, rect, L"601"));
    EXPECT_EQ(0xFF00u, canvas.Rgb(0, 0));
    EXPECT_TRUE(Draw(canvas, rect, L"res='601' restype='PNG'"));
    EXPECT_EQ(CellColour(0, 0), canvas.Rgb(0, 0));
    // alphaClose clears the cached record's alpha for every later draw.
    const std::wstring half = File(Write(L"half.png", 1, 1, {255, 255, 255, 128}));
    for (const auto& [pairs, expected] : {std::pair{L"", 0x8080FFu}, {L" alphaClose='true' fade='10'", 0x808080u},
                                          {L"", 0x808080u}}) {
        canvas.Fill(0xFF0000FF);
        ASSERT_TRUE(Draw(canvas, rect, half + pairs));
        EXPECT_TRUE(Near(expected, canvas.Rgb(1, 1), 1)) << std::hex << canvas.At(1, 1);
    }
    // Source cells narrower than their corners are skipped, not mirrored.
    Canvas wide(30, 9, kBack);
    ASSERT_TRUE(Draw(wide, {0, 0, 30, 9}, File(cells_) + L" source='0,0,4,9' corner='3,0,3,0'"));
    EXPECT_EQ(kBack, wide.At(15, 4));
    EXPECT_EQ(CellColour(3, 4), wide.Rgb(29, 4));
}

TEST_F(ImageDraw, IconFallbackJoinsTheCache)
{
    const std::wstring iconFile = VL_UI_FIXTURE_DIR L"\\half.ico";
    written_.push_back(iconFile);
    for (const std::wstring& named : {std::wstring(L"res='603' restype='ICOTEST'"), File(iconFile)}) {
        Canvas canvas(16, 16, kBack);
        ASSERT_TRUE(Draw(canvas, {0, 0, 16, 16}, named + L" icon='true' iconsize='16'")) << named;
        EXPECT_EQ(kBack, canvas.At(3, 8));
        EXPECT_TRUE(Near(0xFF0000, canvas.Rgb(12, 8), 1)) << std::hex << canvas.At(12, 8);
        EXPECT_FALSE(Draw(canvas, {0, 0, 16, 16}, L"res='604' restype='ICOTEST' icon='true' iconsize='16'"));
    }
    VLImageInfo* cached = VLUIResources::Instance()->GetResourceImage(603, L"ICOTEST", 0);
    ASSERT_TRUE(cached);
    EXPECT_TRUE(cached->hasAlpha);
    EXPECT_TRUE(VLUIResources::Instance()->GetFileImage(iconFile, 0, false));
}

TEST_F(ImageDraw, DerivedBitmaps)
{
    // Reflection: row j of the strip is image row H-1-j scaled by f(n-1-j),
    // also when the rectangle is shorter than the image.
    const std::wstring white = File(Write(L"white.png", 4, 10, Rgba(160, 255)));
    for (int n : {10, 5}) {
        Canvas canvas(4, 10, 0xFF000000);
        ASSERT_TRUE(Draw(canvas, {0, 0, 4, n}, white + L" reverse='true'"));
        for (int j = 0; j < n; ++j) {
            const int i = n - 1 - j;
            const int t = i < (1 - 0.9) * n ? 0 : int((i - (1 - 0.9) * n) * 229.5 / (0.9 * n));
            EXPECT_NEAR(int(t * 255 * 229.5 / 65025), int(canvas.At(2, j) & 0xFF), 1) << n << " row " << j;
        }
    }
    // Rotation by 90 degrees of a 6 x 2 bar, red in its first column: a
    // 2 x 6 box centred on the bar, red along one end.
    Rgba bar;
    for (int i = 0; i < 12; ++i)
        bar.insert(bar.end(), {(unsigned char)(i % 6 ? 0 : 255), (unsigned char)(i % 6 ? 255 : 0), 0, 255});
    Canvas turned(40, 40, kBack);
    ASSERT_TRUE(Draw(turned, {20, 20, 26, 22}, File(Write(L"bar.png", 6, 2, bar)) + L" rotate='90'"));
    EXPECT_TRUE(SameRect({22, 18, 24, 24}, turned.Changed(kBack)));
    const int redRow = turned.Rgb(22, 18) == 0xFF0000 ? 18 : 23;
    for (int y = 18; y < 24; ++y)
        for (int x = 22; x < 24; ++x) EXPECT_EQ(y == redRow ? 0xFF0000u : 0x00FF00u, turned.Rgb(x, y)) << x << "," << y;
    // Region image: pixels of the mask colour hide the image, which stays
    // upright; a module bitmap works as the image; another size draws nothing.
    Rgba region;
    for (int i = 0; i < 81; ++i) region.insert(region.end(), {(unsigned char)(i % 9 < 4 ? 0 : 255), 255, 255, 255});
    const std::wstring masked = L" rgnimage='" + Write(L"region.png", 9, 9, region) + L"' rgnmask='0xFF00FFFF'";
    for (const std::wstring& image : {File(cells_), std::wstring(L"res='602' restype='BMP'")}) {
        Canvas canvas(10, 10, kBack);
        ASSERT_TRUE(Draw(canvas, {0, 0, 9, 9}, image + masked));
        for (int y = 0; y < 9; ++y) {
            EXPECT_EQ(kBack, canvas.At(2, y));
            EXPECT_EQ(CellColour(6, y), canvas.Rgb(6, y)) << y;
        }
        canvas.Fill(kBack);
        ASSERT_TRUE(Draw(canvas, {0, 0, 10, 10}, image + masked));
        EXPECT_TRUE(SameRect({}, canvas.Changed(kBack)));
    }
}

} // namespace
