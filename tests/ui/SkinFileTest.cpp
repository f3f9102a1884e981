// The skin cipher against known answers, its edge lengths, and enciphered
// files drawn like the plain ones.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/SkinFile.h"

#include <cstring>

using namespace Velora;
using namespace Velora::Test;

namespace {

// Key bytes 00 to 1F, read as little-endian words.
void CountingKey(uint32_t key[kSkinKeyWords])
{
    for (int i = 0; i < kSkinKeyWords; ++i) key[i] = 0x03020100u + 0x04040404u * uint32_t(i);
}

std::string Transform(std::string bytes, bool encipher, const uint32_t* key)
{
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    EXPECT_TRUE(SkinCipherTransform(uint32_t(bytes.size()), key, data, data, encipher));
    return bytes;
}

TEST(SkinCipher, KnownAnswers)
{
    uint32_t key[kSkinKeyWords];
    CountingKey(key);
    const std::string zeros(8, '\0');
    EXPECT_EQ(std::string("\xf6\x14\xed\xa3\x73\x74\xcb\xeb", 8), Transform(zeros, true, key));
    EXPECT_EQ(std::string("\xd4\x2c\x68\x30\xa4\x9b\xda\xf0", 8), Transform(zeros, false, key));
    // Thirteen bytes: one block enciphered, the five after it kept.
    EXPECT_EQ(std::string("\x7e\x4d\x4a\x92\xeb\xbe\x7a\x25\x00\x01\x02\x03\x04", 13),
              Transform(std::string("\x89PNG\r\n\x1a\n\x00\x01\x02\x03\x04", 13), true, key));
    unsigned char block[8] = {};
    SkinCipherEncryptBlock(block, key);
    EXPECT_EQ(0, std::memcmp(block, "\xf6\x14\xed\xa3\x73\x74\xcb\xeb", 8));
    SkinCipherDecryptBlock(block, key);
    EXPECT_EQ(0, std::memcmp(block, zeros.data(), 8));
}

TEST(SkinCipher, ShortInputsAndRoundTrip)
{
    uint32_t key[kSkinKeyWords];
    BuildSkinKey(key);
    unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_FALSE(SkinCipherTransform(3, key, bytes, bytes, false));
    EXPECT_FALSE(SkinCipherTransform(8, key, nullptr, bytes, false));
    EXPECT_FALSE(SkinCipherTransform(8, key, bytes, nullptr, false));
    for (size_t length = 4; length < 8; ++length)
        EXPECT_EQ(std::string("\1\2\3\4\5\6\7", length), Transform(std::string("\1\2\3\4\5\6\7", length), false, key));
    std::string sample;
    for (int i = 0; i < 1001; ++i) sample += char(i * 37 + 11);
    const std::string cipher = Transform(sample, true, key);
    EXPECT_NE(sample.substr(0, 1000), cipher.substr(0, 1000));
    EXPECT_EQ(sample.back(), cipher.back());
    EXPECT_EQ(sample, Transform(cipher, false, key));
}

TEST(ReadSkinFile, WholeFilesOnly)
{
    TestFolder folder;
    VLBuffer<unsigned char> out;
    const struct {
        size_t length;
        bool accepted;
    } cases[] = {{0, false}, {3, false}, {4, true}, {13, true}};
    for (const auto& c : cases) {
        const std::string plain = std::string("\x89PNG\r\n\x1a\n\x00\x01\x02\x03\x04", 13).substr(0, c.length);
        const std::wstring path = folder / (L"skin" + std::to_wstring(c.length));
        ASSERT_TRUE(WriteFileBytes(path, EncipherSkin(plain)));
        ASSERT_EQ(c.accepted, ReadSkinFile(path, out)) << c.length;
        if (c.accepted) {
            EXPECT_EQ(plain, std::string(reinterpret_cast<char*>(out.data), out.capacity));
        }
    }
    EXPECT_FALSE(ReadSkinFile(folder / L"missing", out));
}

TEST(ReadSkinFile, EncipheredPngDrawsLikeThePlainFile)
{
    TestFolder folder;
    const std::string png = EncodePng(9, 9, CellImage());
    ASSERT_TRUE(WriteFileBytes(folder / L"plain.png", png));
    ASSERT_TRUE(WriteFileBytes(folder / L"skin.bin", EncipherSkin(png)));
    Canvas plain(20, 20), enciphered(20, 20);
    const RECT rect{0, 0, 20, 20};
    ASSERT_TRUE(VLRenderEngine::DrawImageString(plain.Dc(), rect, (folder / L"plain.png").c_str(), rect, nullptr));
    const std::wstring descriptor = L"file='" + (folder / L"skin.bin") + L"' encrypt='true'";
    ASSERT_TRUE(VLRenderEngine::DrawImageString(enciphered.Dc(), rect, descriptor.c_str(), rect, nullptr));
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) ASSERT_EQ(plain.At(x, y), enciphered.At(x, y)) << x << "," << y;
    }
    EXPECT_EQ(0xFF000000 | CellColour(8, 8), plain.At(19, 19));
}

} // namespace
