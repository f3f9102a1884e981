#include <gtest/gtest.h>

#include "base/StringUtil.h"

#include <string>
#include <vector>

using namespace Velora;

namespace {

TEST(Numbers, DecimalAndHexText)
{
    EXPECT_EQ(L"0", UInt64ToString(0));
    EXPECT_EQ(L"18446744073709551615", UInt64ToString(UINT64_MAX));
    EXPECT_EQ(L"4294967295", UIntToString(UINT32_MAX));
    EXPECT_EQ(L"00000000", UIntToHexString(0));
    EXPECT_EQ(L"000000FF", UIntToHexString(255));
    EXPECT_EQ(L"DEADBEEF", UIntToHexString(0xDEADBEEF));
}

TEST(Numbers, DecimalRespectsTheBufferSize)
{
    wchar_t exact[21];
    EXPECT_TRUE(UInt64ToDecimal(UINT64_MAX, exact, 21));
    EXPECT_STREQ(L"18446744073709551615", exact);
    wchar_t small[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_FALSE(UInt64ToDecimal(12345, small, 4));
    EXPECT_EQ(L'\0', small[0]);
    EXPECT_EQ(L'x', small[3]);
    wchar_t fits[4];
    EXPECT_TRUE(UInt64ToDecimal(123, fits, 4));
    EXPECT_STREQ(L"123", fits);
}

TEST(Numbers, StringToUInt64)
{
    struct Case { const wchar_t* text; uint64_t value; size_t stop; };
    const Case cases[] = {
        {L"123abc", 123, 3}, {L"-5", 0, 0}, {L" 7", 0, 0}, {L"", 0, 0}, {L"0042", 42, 4},
        {L"18446744073709551615", UINT64_MAX, 20},
        {L"18446744073709551616", 0, 20}, // wraps modulo 2^64
    };
    for (const Case& c : cases) {
        const wchar_t* stop = nullptr;
        EXPECT_EQ(c.value, StringToUInt64(c.text, &stop)) << c.text;
        EXPECT_EQ(c.stop, size_t(stop - c.text)) << c.text;
    }
}

TEST(Numbers, HexStringToUInt)
{
    struct Case { const wchar_t* text; uint32_t value; };
    const Case cases[] = {
        {L"0x1A", 26}, {L"0X1a", 26}, {L"1Ag", 26}, {L"123456789", 0x12345678}, {L"0xffffffff", 0xFFFFFFFF},
        {L"", 0}, {L"g", 0}, {L"0x", 0}, {L"x1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value, HexStringToUInt(c.text)) << c.text;
}

TEST(Compare, NoCase)
{
    EXPECT_EQ(0, CompareNoCase(L"Hello", L"hELLO"));
    EXPECT_EQ(0, CompareNoCase(L"", L""));
    EXPECT_NE(0, CompareNoCase(L"abc", L"abcd"));
    EXPECT_NE(0, CompareNoCase(L"abcd", L"abc"));
    EXPECT_NE(0, CompareNoCase(L"abc", L"abd"));
    EXPECT_EQ(0, CompareNoCaseN(L"abcX", L"ABCy", 3));
    EXPECT_EQ(int(L'X') - int(L'Y'), CompareNoCaseN(L"abcx", L"ABCy", 4));
    // Stops behind the first string's terminator.
    EXPECT_EQ(0, CompareNoCaseN(L"ab\0x", L"AB\0y", 4));
}

TEST(Compare, PrefixesAndSearch)
{
    EXPECT_TRUE(StartsWith(L"abcdef", L"abc"));
    EXPECT_FALSE(StartsWith(L"abcdef", L"ABC"));
    EXPECT_FALSE(StartsWith(L"ab", L"abc"));
    EXPECT_TRUE(StartsWithNoCase(L"abcdef", L"ABC"));
    EXPECT_FALSE(StartsWithNoCase(L"ab", L"ABC"));
    EXPECT_EQ(5u, FindNoCase(L"say HELLO", L"ello"));
    EXPECT_EQ(5u, FindNoCase(L"say HELLO", L"ello", 5));
    EXPECT_EQ(std::wstring::npos, FindNoCase(L"say HELLO", L"ello", 6));
    EXPECT_EQ(std::wstring::npos, FindNoCase(L"abc", L"x"));
    const std::vector<std::wstring> list = {L"a", L"B", L"c"};
    EXPECT_EQ(1, FindStringIndex(list, L"B"));
    EXPECT_EQ(-1, FindStringIndex(list, L"b"));
    EXPECT_EQ(-1, FindStringIndex({}, L"a"));
}

TEST(Edit, ReplaceAll)
{
    struct Case { const wchar_t* text; const wchar_t* from; const wchar_t* to; const wchar_t* result; };
    const Case cases[] = {
        {L"banana", L"a", L"aa", L"baanaanaa"}, // inserted text is not searched again
        {L"banana", L"an", L"", L"ba"},
        {L"aaa", L"aa", L"b", L"ba"},
        {L"abc", L"", L"x", L"abc"}, // empty search text: nothing (and no endless loop)
        {L"abc", nullptr, L"x", L"abc"},
        {L"abc", L"b", nullptr, L"abc"},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        ReplaceAll(text, c.from, c.to);
        EXPECT_EQ(c.result, text) << c.text;
    }
}

TEST(Edit, ReplaceAllNoCaseKeepsTheRest)
{
    std::wstring text = L"One ONE one Two";
    ReplaceAllNoCase(text, L"one", L"1");
    EXPECT_EQ(L"1 1 1 Two", text);
    text = L"aAa";
    ReplaceAllNoCase(text, L"A", L"aA");
    EXPECT_EQ(L"aAaAaA", text);
    ReplaceAllNoCase(text, L"", L"x");
    EXPECT_EQ(L"aAaAaA", text);
}

TEST(Edit, CharsTrimAndCase)
{
    std::wstring text = L"a/b/c";
    ReplaceChar(text, L'/', L'\\');
    EXPECT_EQ(L"a\\b\\c", text);

    text = L" \t xy \t ";
    TrimLeft(text, L" \t");
    EXPECT_EQ(L"xy \t ", text);
    TrimRight(text, L" \t");
    EXPECT_EQ(L"xy", text);
    TrimLeft(text, nullptr);
    EXPECT_EQ(L"xy", text);
    text = L"xxx";
    TrimRight(text, L"x");
    EXPECT_EQ(L"", text);

    text = L"MiXeD";
    MakeLower(text);
    EXPECT_EQ(L"mixed", text);
    MakeUpper(text);
    EXPECT_EQ(L"MIXED", text);
}

TEST(Edit, StripQuotes)
{
    struct Case { const wchar_t* text; const wchar_t* result; };
    const Case cases[] = {
        {L"\"a b\"", L"a b"}, {L"\"a", L"\"a"}, {L"a\"", L"a\""}, {L"\"", L"\""}, {L"\"\"", L""}, {L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        StripQuotes(text);
        EXPECT_EQ(c.result, text) << c.text;
    }
}

TEST(Edit, PopToken)
{
    std::wstring text = L"one two three";
    EXPECT_EQ(L"one", PopToken(text, L" "));
    EXPECT_EQ(L"two three", text);
    text = L"a::b";
    EXPECT_EQ(L"a", PopToken(text, L"::"));
    EXPECT_EQ(L"b", text);
    text = L"whole";
    EXPECT_EQ(L"whole", PopToken(text, L","));
    EXPECT_EQ(L"", text);
    text = L"a,b";
    EXPECT_EQ(L"", PopToken(text, L""));
    EXPECT_EQ(L"a,b", text);
}

TEST(Substrings, LeftRightMid)
{
    EXPECT_EQ(L"ab", Left(L"abc", 2));
    EXPECT_EQ(L"abc", Left(L"abc", 9));
    EXPECT_EQ(L"", Left(L"abc", -1));
    EXPECT_EQ(L"bc", Right(L"abc", 2));
    EXPECT_EQ(L"abc", Right(L"abc", 9));
    EXPECT_EQ(L"", Right(L"abc", -1));
    EXPECT_EQ(L"bc", Mid(L"abcd", 1, 2));
    EXPECT_EQ(L"bcd", Mid(L"abcd", 1, -1));
    EXPECT_EQ(L"bcd", Mid(L"abcd", 1, 99));
    EXPECT_EQ(L"", Mid(L"abcd", 4, 1));
    EXPECT_EQ(L"", Mid(L"abcd", -1, 1));
}

TEST(FormatText, WideMeaningOfConversions)
{
    std::wstring out;
    Format(out, L"%s|%d", L"\u5bbd", 7);
    EXPECT_EQ(L"\u5bbd|7", out);
    Format(out, L"%S-%05d-%c-%x", "narrow", 40018, L'w', 255u);
    EXPECT_EQ(L"narrow-40018-w-ff", out);
    Format(out, L"{c #487fb3}%s{/c}", L"text");
    EXPECT_EQ(L"{c #487fb3}text{/c}", out);
}

TEST(FormatText, LongResultsGrowTheBuffer)
{
    for (size_t length : {1023u, 1024u, 5000u, 70000u}) {
        const std::wstring piece(length, L'x');
        std::wstring out;
        Format(out, L"<%s>", piece.c_str());
        EXPECT_EQ(L"<" + piece + L">", out) << length;
    }
}

TEST(FormatText, BadOrEmptyFormats)
{
    std::wstring out = L"kept";
    Format(out, L"");
    EXPECT_EQ(L"kept", out);
    Format(out, nullptr);
    EXPECT_EQ(L"kept", out);
    Format(out, L"%y");
    EXPECT_EQ(L"", out);
}

TEST(FormatText, RunawayResultsStopEmpty)
{
    // Far beyond any text the program shows: refused rather than allocated
    // ever larger, and reported as no text.
    const std::wstring huge((size_t(1) << 24) + 10, L'z');
    std::wstring out = L"kept";
    Format(out, L"%s", huge.c_str());
    EXPECT_EQ(L"", out);
}

} // namespace
