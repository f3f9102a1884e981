// The image caches and loaders, and the string table.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/UIResources.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

std::vector<uint32_t> Pixels(const VLImageInfo& image)
{
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    EXPECT_TRUE(ReadBitmapPixels(image.bitmap.Get(), pixels, width, height));
    return pixels;
}

TEST(VLUIResources, PremultipliesWithTruncationThenAppliesTheMask)
{
    // Premultiplied words: 0xFFFF00FF (opaque magenta), 0x80808080, 0x00000000,
    // 0x03010000 (red 128 at alpha 3: 1.5 truncated).
    const Rgba rgba = {255, 0, 255, 255, 255, 255, 255, 128, 0, 0, 0, 0, 128, 0, 0, 3};
    const struct {
        uint32_t mask;
        std::vector<uint32_t> expected;
    } cases[] = {
        {0xFF00FF, {0xFFFF00FF, 0x80808080, 0, 0x03010000}},   // six digits never match an opaque pixel
        {0xFFFF00FF, {0, 0x80808080, 0, 0x03010000}},
        {0x03010000, {0xFFFF00FF, 0x80808080, 0, 0}},          // the premultiplied word is compared
    };
    for (const auto& c : cases) {
        const std::string png = EncodePng(4, 1, rgba);
        auto image = DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(), c.mask);
        ASSERT_TRUE(image);
        EXPECT_TRUE(image->hasAlpha);
        EXPECT_EQ(c.expected, Pixels(*image)) << std::hex << c.mask;
    }
    const std::string opaque = EncodePng(9, 9, CellImage());
    auto image = DecodeImage(reinterpret_cast<const unsigned char*>(opaque.data()), opaque.size(), 0);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasAlpha);
    EXPECT_EQ(0xFF000000 | CellColour(4, 7), Pixels(*image)[7 * 9 + 4]);
}

TEST(VLUIResources, FileCacheKeysOnThePathAloneAndEvictsLeastRecentlyUsed)
{
    TestFolder folder;
    VLUIResources* resources = VLUIResources::Instance();
    const std::string png = EncodePng(1, 1, {255, 0, 255, 255});
    auto path = [&](int i) { return folder / (L"img" + std::to_wstring(i) + L".png"); };
    for (int i = 0; i <= int(VLUIResources::kMaxFileImages); ++i) ASSERT_TRUE(WriteFileBytes(path(i), png));

    VLImageInfo* first = resources->GetFileImage(path(0), 0xFFFF00FF, false);
    ASSERT_TRUE(first);
    EXPECT_EQ(first, resources->GetFileImage(path(0), 0, false)); // the first mask stays
    EXPECT_EQ(0u, Pixels(*first)[0]);
    for (int i = 1; i < int(VLUIResources::kMaxFileImages); ++i) ASSERT_TRUE(resources->GetFileImage(path(i), 0, false));
    // A hit on the oldest saves it; the next miss evicts path 1 instead.
    ASSERT_EQ(first, resources->GetFileImage(path(0), 0, false));
    ASSERT_TRUE(resources->GetFileImage(path(1000), 0, false));
    // A new load takes the mask asked for now, a cached record keeps its own.
    EXPECT_EQ(0u, Pixels(*resources->GetFileImage(path(1), 0xFFFF00FF, false))[0]);
    EXPECT_EQ(0xFFFF00FFu, Pixels(*resources->GetFileImage(path(999), 0xFFFF00FF, false))[0]);
    EXPECT_EQ(0u, Pixels(*resources->GetFileImage(path(2), 0xFFFF00FF, false))[0]); // evicted by path 1
    for (int i = 0; i <= int(VLUIResources::kMaxFileImages); ++i) resources->RemoveFileImage(path(i));
    EXPECT_FALSE(resources->GetFileImage(folder / L"missing.png", 0, false));
}

TEST(VLUIResources, ReplacedEntriesFreeTheirBitmap)
{
    VLUIResources* resources = VLUIResources::Instance();
    auto make = [] {
        auto image = std::make_unique<VLImageInfo>();
        uint32_t* bits = nullptr;
        image->bitmap = CreateDib32(2, 2, &bits);
        return image;
    };
    auto first = make();
    const HBITMAP old = first->bitmap.Get();
    const std::wstring name = resources->AddFileImage(L"", std::move(first));
    EXPECT_FALSE(name.empty());
    resources->AddFileImage(name, make());
    BITMAP object;
    EXPECT_EQ(0, GetObjectW(old, sizeof(object), &object));
    const int id = resources->AddResourceImage(0, make());
    const HBITMAP oldResource = resources->GetResourceImage(id, L"PNG", 0)->bitmap.Get();
    resources->AddResourceImage(id, make());
    EXPECT_EQ(0, GetObjectW(oldResource, sizeof(object), &object));
    EXPECT_NE(name, resources->AddFileImage(L"", make()));
    resources->RemoveFileImage(name);
}

TEST(VLUIResources, ModuleResources)
{
    VLUIResources* resources = VLUIResources::Instance();
    VLImageInfo* png = resources->GetResourceImage(601, L"PNG", 0);
    ASSERT_TRUE(png);
    EXPECT_EQ(9, png->width);
    EXPECT_EQ(0xFF000000 | CellColour(8, 0), Pixels(*png)[8]);
    // The cache key is the id alone: another type finds the same record.
    EXPECT_EQ(png, resources->GetResourceImage(601, L"JPG", 0xFF000000));
    VLImageInfo* bmp = resources->GetResourceImage(602, L"BMP", 0);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(9, bmp->height);
    EXPECT_FALSE(bmp->hasAlpha);
    EXPECT_EQ(CellColour(1, 8), Pixels(*bmp)[8 * 9 + 1] & 0xFFFFFF);
    EXPECT_FALSE(resources->GetResourceImage(699, L"PNG", 0));
    EXPECT_FALSE(resources->GetResourceImage(699, L"BMP", 0));
}

TEST(VLUIResources, FilesMissingAsGivenAreLookedUpInTheResourceFolder)
{
    TestFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / L"skin.png", EncodePng(9, 9, CellImage())));
    VLUIResources* resources = VLUIResources::Instance();
    resources->SetResourceFolder(folder.Path() + L"\\");
    auto image = resources->LoadFileImage(L"skin.png", 0, false);
    resources->SetResourceFolder(L"");
    ASSERT_TRUE(image);
    EXPECT_EQ(9, image->width);
}

TEST(VLUIResources, LoadString)
{
    const VLUIResources* resources = VLUIResources::Instance();
    EXPECT_EQ(L"", resources->LoadString(0));
    EXPECT_EQ(L"first", resources->LoadString(1330));
    EXPECT_EQ(L"second", resources->LoadString(1332));
    EXPECT_EQ(L"", resources->LoadString(1331)); // its block exists
    EXPECT_EQ(L"1399", resources->LoadString(1399));
}

} // namespace
