#include <gtest/gtest.h>

#include "base/Md5.h"

#include "tests/support/TestFolder.h"

#include <windows.h>

#include <cstring>
#include <string>

using namespace Velora;
using namespace Velora::Test;

namespace {

// Byte i of the test files; the digests below were taken with md5sum over
// files of this content.
unsigned char PatternByte(uint32_t i)
{
    return static_cast<unsigned char>(i * 131 + (i >> 8) * 7);
}

std::string Pattern(uint32_t size)
{
    std::string bytes(size, '\0');
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(PatternByte(i));
    return bytes;
}

TEST(Md5, Rfc1321Vectors)
{
    struct Case { const char* text; const wchar_t* digest; };
    const Case cases[] = {
        {"a", L"0CC175B9C0F1B6A831C399E269772661"},
        {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", L"C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         L"57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.digest, Md5BufferHex(c.text, int32_t(strlen(c.text)))) << c.text;
}

TEST(Md5, EmptyBlocksGiveZeros)
{
    const std::wstring zeros(32, L'0');
    EXPECT_EQ(zeros, Md5BufferHex(nullptr, 5));
    EXPECT_EQ(zeros, Md5BufferHex("abc", 0));
    EXPECT_EQ(zeros, Md5BufferHex("abc", -1));
}

TEST(Md5, UpdatesInPiecesEqualOneUpdate)
{
    const std::string bytes = Pattern(1000);
    uint8_t whole[16];
    Md5Buffer(bytes.data(), int32_t(bytes.size()), whole);
    for (size_t piece : {1u, 3u, 63u, 64u, 65u, 999u}) {
        VLMd5Context context;
        for (size_t at = 0; at < bytes.size(); at += piece)
            Md5Update(context, bytes.data() + at, std::min(piece, bytes.size() - at));
        uint8_t digest[16];
        Md5Final(context, digest);
        EXPECT_EQ(0, memcmp(whole, digest, 16)) << piece;
        EXPECT_EQ(0, memcmp(whole, context.digest, 16)) << piece;
    }
}

TEST(Md5, BitCountCarriesIntoTheHighWord)
{
    VLMd5Context context;
    context.count[0] = 0xFFFFFFF8u; // one byte short of 2^29 bytes
    const unsigned char byte = 0;
    Md5Update(context, &byte, 2);
    EXPECT_EQ(8u, context.count[0]);
    EXPECT_EQ(1u, context.count[1]);
}

TEST(Md5, HexIsUpperCase)
{
    const uint8_t digest[16] = {0x0a, 0xbc, 0xde, 0xf0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xff, 0x10, 0};
    EXPECT_EQ(L"0ABCDEF0010203040506070809FF1000", Md5ToHex(digest));
}

TEST(Md5File, MatchesMd5sum)
{
    struct Case { uint32_t size; const wchar_t* digest; };
    const Case cases[] = {
        {1, L"93B885ADFE0DA089CDF634904FD59F71"},      {55, L"94547360AFD92A27850D16E32D14C445"},
        {56, L"D8B26C30E907AE405B581A02E8A976E1"},     {63, L"95ED95025FC61E86816E873B2A15614B"},
        {64, L"543FAEACDA37EEF7BF1D36B5B1E602C3"},     {65, L"30B3B7BB110DE0C3F8F5054F841BF029"},
        {65536, L"C01C5CC0AD50054B093AFF8A4F237536"},  {65537, L"C401E2D296E350640C26DEC33E575998"},
        {100u << 20, L"E9A105E3313F2C20452ED12BEE50158D"},
    };
    TestFolder folder;
    for (const Case& c : cases) {
        const std::wstring path = folder / (std::to_wstring(c.size) + L".bin");
        WriteFileBytes(path, Pattern(c.size));
        EXPECT_EQ(c.digest, Md5FileHex(path)) << c.size;
        const std::string bytes = ReadFileBytes(path);
        if (c.size <= 65537) {
            EXPECT_EQ(c.digest, Md5BufferHex(bytes.data(), int32_t(bytes.size()))) << c.size;
        }
        DeleteFileW(path.c_str());
    }
}

TEST(Md5File, NoDigestForEmptyMissingOrLockedFiles)
{
    TestFolder folder;
    WriteFileBytes(folder / L"empty.bin", "");
    EXPECT_EQ(L"", Md5FileHex(folder / L"empty.bin"));
    EXPECT_EQ(L"", Md5FileHex(folder / L"missing.bin"));
    uint8_t digest[16];
    EXPECT_FALSE(Md5File(folder / L"missing.bin", digest));

    // A writer still holding the file: the digest is refused, not taken of
    // bytes that may still change.
    WriteFileBytes(folder / L"busy.bin", "abc");
    HANDLE writer = CreateFileW((folder / L"busy.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(L"", Md5FileHex(folder / L"busy.bin"));
    CloseHandle(writer);
    EXPECT_EQ(L"900150983CD24FB0D6963F7D28E17F72", Md5FileHex(folder / L"busy.bin"));
}

} // namespace
