// The image caches and loaders, and the string table.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/UIResources.h"

#include <algorithm>

using namespace Velora;
using namespace Velora::Test;

namespace {

std::vector<uint32_t> Pixels(const VLImageInfo* image)
{
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    EXPECT_TRUE(image && ReadBitmapPixels(image->bitmap.Get(), pixels, width, height));
    return pixels;
}

TEST(VLUIResources, PremultipliesWithTruncationThenAppliesTheMask)
{
    // Opaque magenta, white at 128, transparent black, red 128 at alpha 3
    // (1.5 truncated to 1).
    const std::string png = Encode(Format::Png, 4, 1, {255, 0, 255, 255, 255, 255, 255, 128, 0, 0, 0, 0, 128, 0, 0, 3});
    for (const auto& [mask, expected] : {
             std::pair{0xFF00FFu, std::vector<uint32_t>{0xFFFF00FF, 0x80808080, 0, 0x03010000}}, // six digits: no match
             {0xFFFF00FFu, {0, 0x80808080, 0, 0x03010000}},
             {0x03010000u, {0xFFFF00FF, 0x80808080, 0, 0}}}) { // the premultiplied word is compared
        auto image = DecodeImage(reinterpret_cast<const unsigned char*>(png.data()), png.size(), mask);
        EXPECT_TRUE(image && image->hasAlpha);
        EXPECT_EQ(expected, Pixels(image.get())) << std::hex << mask;
    }
}

TEST(VLUIResources, FileCacheKeysOnThePathAloneAndEvictsLeastRecentlyUsed)
{
    TestFolder folder;
    VLUIResources* resources = VLUIResources::Instance();
    const int limit = int(VLUIResources::kMaxFileImages);
    auto path = [&](int i) { return folder / (std::to_wstring(i) + L".png"); };
    const std::string magenta = Encode(Format::Png, 1, 1, {255, 0, 255, 255});
    for (int i = 0; i <= limit; ++i) ASSERT_TRUE(WriteFileBytes(path(i), magenta));
    // Loaded with the mask, path 0 keeps it whatever is asked later; a new
    // load takes the mask asked for now.
    auto pixel = [&](int i, uint32_t mask) { return Pixels(resources->GetFileImage(path(i), mask, false))[0]; };
    EXPECT_EQ(0u, pixel(0, 0xFFFF00FF));
    EXPECT_EQ(0u, pixel(0, 0));
    for (int i = 1; i < limit; ++i) ASSERT_TRUE(resources->GetFileImage(path(i), 0, false));
    pixel(0, 0);         // the oldest is saved by a hit
    pixel(limit, 0);     // and path 1 goes instead
    EXPECT_EQ(0u, pixel(1, 0xFFFF00FF));            // a new load (evicting path 2)
    EXPECT_EQ(0xFFFF00FFu, pixel(limit - 1, 0xFFFF00FF)); // still cached
    EXPECT_EQ(0u, pixel(2, 0xFFFF00FF));
    EXPECT_EQ(0u, pixel(0, 0));
    for (int i = 0; i <= limit; ++i) resources->RemoveFileImage(path(i));
    EXPECT_FALSE(resources->GetFileImage(folder / L"missing.png", 0, false));
}

// Every spelling of one file finds one record; distinct large files are
// bounded by their decoded bytes.
TEST(VLUIResources, FileCacheKeysOnTheFileAndBoundsItsBytes)
{
    TestFolder folder;
    VLUIResources* resources = VLUIResources::Instance();
    const int side = 2048, files = int(VLUIResources::kMaxFileImageBytes / (size_t(side) * side * 4)) + 1;
    Rgba magenta;
    for (int i = 0; i < side * side; ++i) magenta.insert(magenta.end(), {255, 0, 255, 255});
    const std::string png = Encode(Format::Png, side, side, magenta);
    auto path = [&](int i) { return folder / (std::to_wstring(i) + L".png"); };
    for (int i = 0; i < files; ++i) ASSERT_TRUE(WriteFileBytes(path(i), png));
    VLImageInfo* first = resources->GetFileImage(path(0), 0xFFFF00FF, false);
    ASSERT_TRUE(first);
    std::wstring slashes = path(0);
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    for (const std::wstring& spelling : {folder.Path() + L"\\.\\0.png", folder.Path() + L"\\x\\..\\0.png", slashes,
                                         folder.Path() + L"\\0.PNG", folder.Path() + L"\\\\0.png"})
        EXPECT_EQ(first, resources->GetFileImage(spelling, 0, false)) << spelling;
    for (int i = 1; i < files; ++i) ASSERT_TRUE(resources->GetFileImage(path(i), 0, false));
    // The first file was evicted by bytes, not by count: loaded anew, it
    // takes the mask asked for now.
    EXPECT_EQ(0xFFFF00FFu, Pixels(resources->GetFileImage(slashes, 0, false))[0]);
    for (int i = 0; i < files; ++i) resources->RemoveFileImage(path(i));
}

TEST(VLUIResources, AddedEntriesReplaceAndFreeTheOldRecord)
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
    EXPECT_NE(name, resources->AddFileImage(L"", make()));
    resources->AddFileImage(name, make());
    BITMAP object;
    EXPECT_EQ(0, GetObjectW(old, sizeof(object), &object));
    const int id = resources->AddResourceImage(0, make());
    const HBITMAP oldResource = resources->GetResourceImage(id, L"PNG", 0)->bitmap.Get();
    resources->AddResourceImage(id, make());
    EXPECT_EQ(0, GetObjectW(oldResource, sizeof(object), &object));
    resources->RemoveFileImage(name);
}

TEST(VLUIResources, ModuleResourcesFolderAndStrings)
{
    VLUIResources* resources = VLUIResources::Instance();
    VLImageInfo* png = resources->GetResourceImage(601, L"PNG", 0);
    EXPECT_EQ(0xFF000000 | CellColour(8, 0), Pixels(png)[8]);
    EXPECT_FALSE(png->hasAlpha);
    EXPECT_EQ(png, resources->GetResourceImage(601, L"JPG", 0xFF000000)); // keyed by the id alone
    VLImageInfo* bmp = resources->GetResourceImage(602, L"BMP", 0);
    EXPECT_EQ(CellColour(1, 8), Pixels(bmp)[8 * 9 + 1] & 0xFFFFFF);
    EXPECT_FALSE(bmp->hasAlpha);
    EXPECT_FALSE(resources->GetResourceImage(699, L"PNG", 0));
    EXPECT_FALSE(resources->GetResourceImage(699, L"BMP", 0));

    TestFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / L"skin.png", Encode(Format::Png, 9, 9, CellImage())));
    resources->SetResourceFolder(folder.Path() + L"\\");
    EXPECT_TRUE(resources->LoadFileImage(L"skin.png", 0, false));
    resources->SetResourceFolder(L"");

    EXPECT_EQ(L"", resources->LoadString(0));
    EXPECT_EQ(L"first", resources->LoadString(1330));
    EXPECT_EQ(L"", resources->LoadString(1331)); // its block exists
    EXPECT_EQ(L"1399", resources->LoadString(1399));
}

} // namespace
