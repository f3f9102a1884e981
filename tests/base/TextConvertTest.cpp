#include <gtest/gtest.h>

#include "base/TextConvert.h"

#include <string>

using namespace Velora;

namespace {

// U+0E01 (Thai) is in neither code page 936 nor 1252.
const wchar_t kNoAnsi[] = L"a\u0E01b";

TEST(TextConvert, TestsRunInTheChineseCodePage)
{
    EXPECT_EQ(936u, GetACP());
}

TEST(TextConvert, AnsiRoundTrip)
{
    // "宽" in GBK.
    const std::string gbk = "\xBF\xED";
    EXPECT_EQ(L"\u5bbd", ToWideString(gbk));
    EXPECT_EQ(L"\u5bbd", ToWide(gbk.c_str()));
    EXPECT_EQ(gbk, ToMultiByte(L"\u5bbd"));
}

TEST(TextConvert, LengthsAndTerminators)
{
    bool ok = false;
    // Up to the terminator: the terminator is not part of the result.
    EXPECT_EQ(std::wstring(L"abc"), MultiByteToWideCP("abc", -1, CP_ACP, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(3u, ToWide("abc").size());
    EXPECT_EQ(L"ab", MultiByteToWide("abc", 2));
    // Embedded zero bytes of a counted text are kept.
    EXPECT_EQ(std::wstring(L"a\0b", 3), ToWideString(std::string("a\0b", 3)));
}

TEST(TextConvert, EmptyAndNullInputs)
{
    bool ok = false;
    EXPECT_EQ(L"", MultiByteToWideCP(nullptr, -1, CP_ACP, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(L"", ToWide(nullptr));
    ok = true;
    EXPECT_EQ("", WideToMultiByteCP(L"", CP_ACP, '_', nullptr, &ok));
    EXPECT_FALSE(ok);
}

TEST(TextConvert, UnrepresentableCharactersBecomeTheDefault)
{
    EXPECT_EQ("a_b", ToMultiByte(kNoAnsi));
    bool usedDefault = false;
    bool ok = false;
    EXPECT_EQ("a?b", WideToMultiByte(kNoAnsi, '?', &usedDefault, &ok));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ("ab", WideToMultiByte(L"ab", '?', &usedDefault, &ok));
    EXPECT_FALSE(usedDefault);
}

TEST(TextConvert, ExplicitCodePage)
{
    bool ok = false;
    EXPECT_EQ("\xE5\xAE\xBD", WideToMultiByteCP(L"\u5bbd", CP_UTF8, 0, nullptr, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(L"\u5bbd", MultiByteToWideCP("\xE5\xAE\xBD", 3, CP_UTF8, &ok));
    EXPECT_TRUE(ok);
}

TEST(TextConvert, SystemErrorTextHasNoLineEndAndNamesUnknownCodes)
{
    const std::string known = SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(known.empty());
    EXPECT_EQ(std::string("\r\n ").find(known.back()), std::string::npos) << known;
    EXPECT_EQ("system error 805306367", SystemErrorText(0x2FFFFFFF));
}

} // namespace
