// Truncated, oversized and malformed image and skin files, generated from
// sound ones: each must load as a failure, without a crash.
#include <gtest/gtest.h>

#include "base/File.h"
#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/SkinFile.h"
#include "ui/core/UIResources.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

struct Hostile {
    std::string name;
    std::string bytes;
    bool enciphered = false;
};

std::string Patched(std::string bytes, size_t at, uint64_t value, int width, bool bigEndian)
{
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (bigEndian ? width - 1 - i : i);
        bytes[at + i] = char(value >> shift);
    }
    return bytes;
}

std::vector<Hostile> HostileCases()
{
    Rgba pixels;
    for (int i = 0; i < 16 * 12; ++i) pixels.insert(pixels.end(), {(unsigned char)(i * 7), (unsigned char)(i * 3), 90, 200});
    const std::string png = EncodePng(16, 12, pixels), bmp = EncodeBmp(16, 12, pixels);
    const std::string tga = EncodeTga(16, 12, pixels, false), rle = EncodeTga(16, 12, pixels, true);
    const std::string skin = EncipherSkin(png);
    std::vector<Hostile> cases;
    // Cut anywhere up to the last eight bytes (a PNG without its final
    // checksum still holds the whole image).
    for (const Hostile& base : {Hostile{"png", png}, Hostile{"bmp", bmp}, Hostile{"tga", tga},
                                Hostile{"tga-rle", rle}, Hostile{"skin", skin, true}}) {
        for (size_t k = 0; k < 40; ++k) {
            const size_t cut = (base.bytes.size() - 8) * k / 40;
            cases.push_back({base.name + " cut " + std::to_string(cut), base.bytes.substr(0, cut), base.enciphered});
        }
    }
    const struct {
        const char* name;
        const std::string& base;
        size_t at;
        uint64_t value;
        int width;
        bool bigEndian;
    } patches[] = {
        {"png signature", png, 1, 'Q', 1, true},
        {"png width 0", png, 16, 0, 4, true},
        {"png height 0", png, 20, 0, 4, true},
        {"png width 2^31-1", png, 16, 0x7FFFFFFF, 4, true},
        {"png width 4 GiB-1", png, 16, 0xFFFFFFFF, 4, true},
        {"png width 20000", png, 16, 20000, 4, true},
        {"png 16384 square", png, 16, 0x0000400000004000ull, 8, true},
        {"png 5000 square", png, 16, 0x0000138800001388ull, 8, true},
        {"png wider than its data", png, 16, 1000, 4, true},
        {"png bit depth 7", png, 24, 7, 1, true},
        {"png colour type 5", png, 25, 5, 1, true},
        {"png compression 1", png, 26, 1, 1, true},
        {"png filter 1", png, 27, 1, 1, true},
        {"png interlace 2", png, 28, 2, 1, true},
        {"png no IHDR", png, 12, 'X', 1, true},
        {"png broken stream", png, 41, 0xFFFFFFFF, 4, true},
        {"bmp magic", bmp, 1, 'X', 1, false},
        {"bmp width 0", bmp, 18, 0, 4, false},
        {"bmp height 0", bmp, 22, 0, 4, false},
        {"bmp width negative", bmp, 18, uint32_t(-16), 4, false},
        {"bmp height INT_MIN", bmp, 22, 0x80000000u, 4, false},
        {"bmp width 20000", bmp, 18, 20000, 4, false},
        {"bmp 16000 square", bmp, 18, 0x00003E8000003E80ull, 8, false},
        {"bmp one row more", bmp, 22, 13, 4, false},
        {"bmp offset beyond", bmp, 10, 0xFFFFFFF0u, 4, false},
        {"bmp header size 1000", bmp, 14, 1000, 4, false},
        {"bmp header size 0", bmp, 14, 0, 4, false},
        {"bmp 0 bits", bmp, 28, 0, 2, false},
        {"bmp 64 bits", bmp, 28, 64, 2, false},
        {"bmp run-length", bmp, 30, 1, 4, false},
        {"tga width 0", tga, 12, 0, 2, false},
        {"tga height 0", tga, 14, 0, 2, false},
        {"tga 65535 square", tga, 12, 0xFFFFFFFF, 4, false},
        {"tga 5000 square", tga, 12, 0x13881388, 4, false},
        {"tga type 7", tga, 2, 7, 1, false},
        {"tga 7 bits", tga, 16, 7, 1, false},
        {"tga 64 bits", tga, 16, 64, 1, false},
        {"tga one row more", tga, 14, 13, 2, false},
        {"tga rle one row more", rle, 14, 13, 2, false},
    };
    for (const auto& p : patches) cases.push_back({p.name, Patched(p.base, p.at, p.value, p.width, p.bigEndian)});
    for (size_t length = 0; length < 4; ++length) cases.push_back({"skin of " + std::to_string(length), skin.substr(0, length), true});
    cases.push_back({"plain png read as skin", png, true});
    cases.push_back({"skin read as plain", skin, false});
    return cases;
}

TEST(HostileImages, LoadAsFailures)
{
    TestFolder folder;
    const VLUIResources* resources = VLUIResources::Instance();
    const std::vector<Hostile> cases = HostileCases();
    ASSERT_GE(cases.size(), 200u);
    const std::wstring path = folder / L"hostile.img";
    for (const Hostile& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        EXPECT_FALSE(resources->LoadFileImage(path, 0, c.enciphered)) << c.name;
    }
    // The sound files load, so each failure above is the damage's doing.
    Rgba pixels(16 * 12 * 4, 200);
    for (const auto& good : {EncodePng(16, 12, pixels), EncodeBmp(16, 12, pixels), EncodeTga(16, 12, pixels, false),
                             EncodeTga(16, 12, pixels, true)}) {
        ASSERT_TRUE(WriteFileBytes(path, good));
        EXPECT_TRUE(resources->LoadFileImage(path, 0, false));
        ASSERT_TRUE(WriteFileBytes(path, EncipherSkin(good)));
        EXPECT_TRUE(resources->LoadFileImage(path, 0, true));
    }
}

TEST(HostileImages, FilesAboveTheSizeCapAreRefused)
{
    TestFolder folder;
    const std::wstring path = folder / L"large.png";
    const std::string png = EncodePng(4, 4, Rgba(64, 255));
    for (bool enciphered : {false, true}) {
        ASSERT_TRUE(WriteFileBytes(path, enciphered ? EncipherSkin(png) : png));
        ASSERT_TRUE(VLUIResources::Instance()->LoadFileImage(path, 0, enciphered));
        VLFile file;
        ASSERT_TRUE(file.Open(path, GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        ASSERT_TRUE(file.Seek(int64_t(kMaxSkinFileSize) + 1, FILE_BEGIN, nullptr));
        ASSERT_TRUE(SetEndOfFile(file.handle.Get()));
        file.Close();
        EXPECT_FALSE(VLUIResources::Instance()->LoadFileImage(path, 0, enciphered));
    }
}

} // namespace
