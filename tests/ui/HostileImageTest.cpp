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
    const std::string psd = ReadFileBytes(VL_UI_FIXTURE_DIR L"\\cells.psd");
    const std::string psdRle = ReadFileBytes(VL_UI_FIXTURE_DIR L"\\cells-rle.psd");
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
        {"psd 16 bits, half the data", psd, 22, 16, 2}, {"psd run-length 16 bits", psdRle, 22, 16, 2},
        {"psd one row more", psd, 14, 10, 4},        {"psd run-length one row more", psdRle, 14, 10, 4},
        {"psd 5 channels", psd, 12, 5, 2},           {"psd run-length 5 channels", psdRle, 12, 5, 2},
        {"psd colour data beyond", psd, 26, 0xFFFFFFF0, 4}, {"psd row counted beyond", psdRle, 40, 0xFFFF, 2},
        {"psd 20000 wide", psd, 18, 20000, 4},       {"psd 0 channels", psd, 12, 0, 2},
        {"psd RGB in 1 channel", psd, 12, 1, 2},
    };
    for (const auto& p : patches)
        cases.push_back({p.name, Patched(p.base, p.at, p.value, p.width, p.base == png || p.base[0] == '8')});
    for (size_t n = 0; n < 4; ++n) cases.push_back({"skin of " + std::to_string(n), skin.substr(0, n), true});
    cases.push_back({"plain png read as skin", png, true});
    cases.push_back({"skin read as plain", skin, false});
    // Cut, with a table that counts too few bytes to tell.
    cases.push_back(
        {"psd run-length cut, rows undercounted", Patched(psdRle, 40, 0, 2, true).substr(0, psdRle.size() - 1)});
    // Whole, but the first row runs on one pixel into the second: the first
    // packets (each a run of 3) of rows 0 and 1 become runs of 4 and 2.
    std::string shifted = psdRle;
    shifted.at(94) = char(253);
    shifted.at(100) = char(255);
    cases.push_back({"psd run-length rows of 10 and 8", shifted});
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
    for (const std::string& good : {png, bmp, tga, rle, psd, psdRle}) {
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

std::vector<uint32_t> DecodedPixels(const std::string& bytes)
{
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    const auto image = DecodeImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0);
    if (image) {
        EXPECT_TRUE(ReadBitmapPixels(image->bitmap.Get(), pixels, width, height));
    }
    return pixels;
}

// Photoshop images from another writer, raw and run-length, draw their
// pixels; a JPEG draws the same with bytes after its end marker and with
// fill bytes before it; cut anywhere, each is refused, also one whose scan
// holds stuffed bytes and one with restart markers.
TEST(HostileImages, PhotoshopAndPaddedJpeg)
{
    std::vector<uint32_t> cells;
    for (int i = 0; i < 81; ++i) cells.push_back(0xFF000000 | CellColour(i % 9, i / 9));
    const std::string psd = ReadFileBytes(VL_UI_FIXTURE_DIR L"\\cells.psd");
    const std::string psdRle = ReadFileBytes(VL_UI_FIXTURE_DIR L"\\cells-rle.psd");
    EXPECT_EQ(cells, DecodedPixels(psd));
    EXPECT_EQ(cells, DecodedPixels(psdRle));

    Rgba noise;
    for (int i = 0; i < 16 * 12; ++i)
        noise.insert(noise.end(), {(unsigned char)(i * 37), (unsigned char)(i * 11), (unsigned char)(i * i), 255});
    const std::string jpeg = Encode(Format::Jpeg, 16, 12, noise), end("\xFF\xD9");
    ASSERT_NE(std::string::npos, jpeg.find(std::string("\xFF\0", 2), jpeg.find("\xFF\xDA")));
    const std::vector<uint32_t> plain = DecodedPixels(jpeg);
    ASSERT_EQ(16u * 12u, plain.size());
    const std::string filled = jpeg.substr(0, jpeg.size() - 2) + "\xFF\xFF" + end;
    for (const std::string& same : {jpeg + std::string(16, '\0'), jpeg + std::string(16, '\xFF'),
                                    jpeg + "\xFF\xD8\xFF\xE0 and 12 more", filled})
        EXPECT_EQ(plain, DecodedPixels(same));
    // One solid 8 x 8 block coded twice, a restart marker between: the
    // restart resets the coding, so both are coded alike.
    std::string block = Encode(Format::Jpeg, 8, 8, Rgba(8 * 8 * 4, 200));
    const size_t sof = block.find("\xFF\xC0"), sos = block.find("\xFF\xDA");
    const size_t scan = sos + 2 + (uint8_t(block[sos + 2]) << 8 | uint8_t(block[sos + 3]));
    const std::string coded = block.substr(scan, block.size() - 2 - scan);
    std::string restarts = block.substr(0, sos) + std::string("\xFF\xDD\0\4\0\1", 6) +
                           block.substr(sos, scan - sos) + coded + "\xFF\xD0" + coded + end;
    restarts[sof + 8] = 16; // twice as wide
    EXPECT_EQ(std::vector<uint32_t>(16 * 8, DecodedPixels(block).at(0)), DecodedPixels(restarts));

    for (const std::string& whole : {psd, psdRle, jpeg, restarts}) {
        for (size_t n = 0; n < whole.size(); ++n) EXPECT_TRUE(DecodedPixels(whole.substr(0, n)).empty()) << n;
    }
}

} // namespace
