// The skin cipher against known answers, and enciphered files read and drawn.
#include <gtest/gtest.h>

#include "tests/support/TestFolder.h"
#include "tests/ui/TestImages.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/SkinFile.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

std::string Transform(std::string bytes, bool encipher, const uint32_t* key)
{
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    EXPECT_TRUE(SkinCipherTransform(uint32_t(bytes.size()), key, data, data, encipher));
    return bytes;
}

TEST(SkinCipher, KnownAnswersAndShortInputs)
{
    uint32_t key[kSkinKeyWords]; // bytes 00 to 1F
    for (int i = 0; i < kSkinKeyWords; ++i) key[i] = 0x03020100u + 0x04040404u * uint32_t(i);
    const std::string zeros(8, '\0'), head("\x89PNG\r\n\x1a\n\x00\x01\x02\x03\x04", 13);
    EXPECT_EQ(std::string("\xf6\x14\xed\xa3\x73\x74\xcb\xeb", 8), Transform(zeros, true, key));
    EXPECT_EQ(std::string("\xd4\x2c\x68\x30\xa4\x9b\xda\xf0", 8), Transform(zeros, false, key));
    EXPECT_EQ(std::string("\x7e\x4d\x4a\x92\xeb\xbe\x7a\x25\x00\x01\x02\x03\x04", 13), Transform(head, true, key));
    unsigned char block[8] = {};
    SkinCipherEncryptBlock(block, key);
    SkinCipherDecryptBlock(block, key);
    EXPECT_EQ(zeros, std::string(reinterpret_cast<char*>(block), 8));
    for (size_t length = 4; length < 8; ++length)
        EXPECT_EQ(head.substr(0, length), Transform(head.substr(0, length), false, key));
    unsigned char bytes[8] = {};
    EXPECT_FALSE(SkinCipherTransform(3, key, bytes, bytes, false));
    EXPECT_FALSE(SkinCipherTransform(8, key, nullptr, bytes, false));
    EXPECT_FALSE(SkinCipherTransform(8, key, bytes, nullptr, false));
}

TEST(SkinCipher, FilesReadWholeAndDrawLikeThePlainImage)
{
    TestFolder folder;
    VLBuffer<unsigned char> out;
    const std::string head("\x89PNG\r\n\x1a\n\x00\x01\x02\x03\x04", 13);
    for (size_t length : {0, 3, 4, 13}) {
        ASSERT_TRUE(WriteFileBytes(folder / L"skin", EncipherSkin(head.substr(0, length))));
        ASSERT_EQ(length >= 4, ReadSkinFile(folder / L"skin", out)) << length;
        if (length >= 4) {
            EXPECT_EQ(head.substr(0, length), std::string(reinterpret_cast<char*>(out.data), out.capacity));
        }
    }
    EXPECT_FALSE(ReadSkinFile(folder / L"missing", out));

    const std::string png = Encode(Format::Png, 9, 9, CellImage());
    ASSERT_TRUE(WriteFileBytes(folder / L"plain.png", png));
    const std::wstring skin = folder / L"skin.bin";
    ASSERT_TRUE(WriteFileBytes(skin, EncipherSkin(png)));
    Canvas plain(20, 20), enciphered(20, 20);
    const RECT rect{0, 0, 20, 20};
    ASSERT_TRUE(VLRenderEngine::DrawImageString(plain.Dc(), rect, (folder / L"plain.png").c_str(), rect, nullptr));
    const std::wstring descriptor = L"file='" + skin + L"' encrypt='true'";
    ASSERT_TRUE(VLRenderEngine::DrawImageString(enciphered.Dc(), rect, descriptor.c_str(), rect, nullptr));
    for (int i = 0; i < 400; ++i) ASSERT_EQ(plain.At(i % 20, i / 20), enciphered.At(i % 20, i / 20)) << i;
    EXPECT_EQ(CellColour(8, 8), plain.Rgb(19, 19));
    VLUIResources::Instance()->RemoveFileImage(folder / L"plain.png");
    VLUIResources::Instance()->RemoveFileImage(skin);
}

} // namespace
