// Truncated, oversized and malformed image and skin files, generated from
// sound ones: every one loads as a failure, without a crash.
#include <gtest/gtest.h>

#include "base/File.h"
#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/SkinFile.h"
#include "ui/core/UIResources.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

struct Hostile {
    std::string name, bytes;
    bool enciphered = false;
};

// value written at byte at, width bytes, PNG's fields big-endian.
std::string Patched(std::string bytes, size_t at, uint64_t value, int width, bool bigEndian)
{
    for (int i = 0; i < width; ++i) bytes[at + i] = char(value >> 8 * (bigEndian ? width - 1 - i : i));
    return bytes;
}

TEST(HostileImages, LoadAsFailures)
{
    Rgba pixels;
    for (int i = 0; i < 16 * 12; ++i)
        pixels.insert(pixels.end(), {(unsigned char)(i * 7), (unsigned char)(i * 3), 90, 200});
    const std::string png = Encode(Format::Png, 16, 12, pixels), bmp = Encode(Format::Bmp, 16, 12, pixels);
    const std::string tga = Encode(Format::Tga, 16, 12, pixels), rle = Encode(Format::TgaRle, 16, 12, pixels);
    const std::string skin = EncipherSkin(png);
    std::vector<Hostile> cases;
    // Cut anywhere up to the last eight bytes (a PNG that lacks only its
    // last checksum still holds the whole image).
    for (const Hostile& base : {Hostile{"png", png}, {"bmp", bmp}, {"tga", tga}, {"rle", rle}, {"skin", skin, true}}) {
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
    } patches[] = {
        {"png signature", png, 1, 'Q', 1},           {"png width 0", png, 16, 0, 4},
        {"png height 0", png, 20, 0, 4},             {"png width 2^31-1", png, 16, 0x7FFFFFFF, 4},
        {"png width 2^32-1", png, 16, 0xFFFFFFFF, 4}, {"png width 20000", png, 16, 20000, 4},
        {"png 16384 square", png, 16, 0x400000004000, 8}, {"png 5000 square", png, 16, 0x138800001388, 8},
        {"png wider than its data", png, 16, 1000, 4}, {"png bit depth 7", png, 24, 7, 1},
        {"png colour type 5", png, 25, 5, 1},        {"png compression 1", png, 26, 1, 1},
        {"png interlace 2", png, 28, 2, 1},          {"png no IHDR", png, 12, 'X', 1},
        {"png broken stream", png, 41, 0xFFFFFFFF, 4}, {"bmp magic", bmp, 1, 'X', 1},
        {"bmp width 0", bmp, 18, 0, 4},              {"bmp height 0", bmp, 22, 0, 4},
        {"bmp width -16", bmp, 18, 0xFFFFFFF0, 4},   {"bmp height INT_MIN", bmp, 22, 0x80000000, 4},
        {"bmp width 20000", bmp, 18, 20000, 4},      {"bmp 16000 square", bmp, 18, 0x3E8000003E80, 8},
        {"bmp one row more", bmp, 22, 13, 4},        {"bmp offset beyond", bmp, 10, 0xFFFFFFF0, 4},
        {"bmp header size 1000", bmp, 14, 1000, 4},  {"bmp header size 0", bmp, 14, 0, 4},
        {"bmp 0 bits", bmp, 28, 0, 2},               {"bmp 64 bits", bmp, 28, 64, 2},
        {"bmp run-length", bmp, 30, 1, 4},           {"tga width 0", tga, 12, 0, 2},
        {"tga height 0", tga, 14, 0, 2},             {"tga 65535 square", tga, 12, 0xFFFFFFFF, 4},
        {"tga 5000 square", tga, 12, 0x13881388, 4}, {"tga type 7", tga, 2, 7, 1},
        {"tga 7 bits", tga, 16, 7, 1},               {"tga 64 bits", tga, 16, 64, 1},
        {"tga one row more", tga, 14, 13, 2},        {"rle one row more", rle, 14, 13, 2},
    };
    for (const auto& p : patches) cases.push_back({p.name, Patched(p.base, p.at, p.value, p.width, p.base == png)});
    for (size_t n = 0; n < 4; ++n) cases.push_back({"skin of " + std::to_string(n), skin.substr(0, n), true});
    cases.push_back({"plain png read as skin", png, true});
    // A whole 1 x 1 Photoshop image: no skin format.
    cases.push_back({"psd", std::string("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\1\0\0\0\1\0\x08\0\3", 26) +
                                std::string(14, '\0') + "\x10\x20\x30"});
    cases.push_back({"skin read as plain", skin, false});
    // Whole, but more pixels than any skin may hold: 4097 x 4097 in runs.
    std::string huge = Patched(Patched(rle.substr(0, 18), 12, 0x10011001, 4, false), 0, 0, 1, false);
    for (int i = 0; i < 4097 * 4097 / 128 + 1; ++i) huge += std::string("\xff\x10\x20\x30\xff", 5);
    cases.push_back({"tga 4097 square", huge});
    ASSERT_GE(cases.size(), 200u);

    TestFolder folder;
    const VLUIResources* resources = VLUIResources::Instance();
    const std::wstring path = folder / L"hostile.img";
    for (const Hostile& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        EXPECT_FALSE(resources->LoadFileImage(path, 0, c.enciphered)) << c.name;
    }
    // The sound files load, plain and enciphered, so each failure above is
    // the damage's doing; above the size cap they fail again.
    for (const std::string& good : {png, bmp, tga, rle}) {
        for (bool enciphered : {false, true}) {
            ASSERT_TRUE(WriteFileBytes(path, enciphered ? EncipherSkin(good) : good));
            EXPECT_TRUE(resources->LoadFileImage(path, 0, enciphered));
            VLFile file;
            ASSERT_TRUE(file.Open(path, GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
            ASSERT_TRUE(file.Seek(int64_t(kMaxSkinFileSize) + 1, FILE_BEGIN, nullptr));
            ASSERT_TRUE(SetEndOfFile(file.handle.Get()));
            file.Close();
            EXPECT_FALSE(resources->LoadFileImage(path, 0, enciphered));
            VLBuffer<unsigned char> buffer;
            EXPECT_FALSE(ReadSkinFile(path, buffer));
        }
    }
    // The same BMP stored top-down (negative height, top row first) is the
    // same picture.
    std::string topDown = Patched(bmp, 22, uint32_t(-12), 4, false);
    const size_t offset = uint8_t(bmp[10]) | uint8_t(bmp[11]) << 8, stride = 16 * 4;
    for (size_t row = 0; row < 12; ++row) topDown.replace(offset + row * stride, stride, bmp, offset + (11 - row) * stride, stride);
    std::vector<uint32_t> expected, actual;
    int width = 0, height = 0;
    const auto decode = [](const std::string& bytes) {
        return DecodeImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0);
    };
    const auto bottomUp = decode(bmp), topFirst = decode(topDown);
    ASSERT_TRUE(bottomUp && topFirst);
    ASSERT_TRUE(ReadBitmapPixels(bottomUp->bitmap.Get(), expected, width, height));
    ASSERT_TRUE(ReadBitmapPixels(topFirst->bitmap.Get(), actual, width, height));
    EXPECT_EQ(expected, actual);
}

} // namespace
