#include "base/RegValue.h"
#include "base/RegValueText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Velora;

namespace {

// The raw bytes of a text with its terminator, as the registry stores REG_SZ.
std::string TextBytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
}

std::string RawBytes(const VLRegValue& value)
{
    VLBuffer<unsigned char> raw;
    value.GetRawData(raw);
    return std::string(reinterpret_cast<const char*>(raw.data), raw.size);
}

struct ParseCase {
    const wchar_t* text;
    uint32_t type;
    std::string raw; // GetRawData of the parsed record
};

} // namespace

TEST(RegValueText, ParseTextForms)
{
    const ParseCase cases[] = {
        {L"dword:0000001f", REG_DWORD, std::string("\x1f\0\0\0", 4)},
        {L"dword:FFFFFFFF", REG_DWORD, std::string("\xff\xff\xff\xff", 4)},
        // The DWORD text is read as it stands: a blank ends the digits.
        {L"dword: 0000001f", REG_DWORD, std::string(4, '\0')},
        {L"hex:01,ff", REG_BINARY, "\x01\xff"},
        {L"hex:01,,ff", REG_BINARY, std::string("\x01\0\xff", 3)},
        {L"hex:01,ff,", REG_BINARY, "\x01\xff"},
        // An empty list stays empty, as the writer puts an empty value.
        {L"hex:", REG_BINARY, ""},
        {L"hex:01,\\\r\n  02,\\\r\n  03", REG_BINARY, "\x01\x02\x03"},
        {L"hex(b):01,00,00,00,00,00,00,00", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {L"hex(b):ff,01", REG_QWORD, std::string("\xff\x01\0\0\0\0\0\0", 8)},
        // The terminator in the bytes stays in the text, so one more follows.
        {L"hex(2):61,00,00,00", REG_EXPAND_SZ, std::string("a\0\0\0\0\0", 6)},
        {L"hex(7):61,00,00,00,62,00,00,00,00,00", REG_MULTI_SZ,
         std::string("a\0\0\0b\0\0\0\0\0", 10)},
        // Empty strings inside the list are dropped, a final piece without
        // its zero as well.
        {L"hex(7):61,00,00,00,00,00,62,00,00,00,63,00", REG_MULTI_SZ,
         std::string("a\0\0\0b\0\0\0\0\0", 10)},
        {L"hex(6):01,02", 6, "\x01\x02"},
        {L"hex(10):aa", 10, "\xaa"}, // the number in brackets is decimal
        // Types with a typed form keep the bytes as given.
        {L"hex(1):61,00,62", REG_SZ, std::string("a\0b", 3)},
        {L"hex(4):01,02", REG_DWORD, "\x01\x02"},
        {L"hex(11):01,02", REG_QWORD, "\x01\x02"},
        {L"hex(0):", REG_NONE, ""},
        {L"\"a\\\\b\"", REG_SZ, std::string("a\0\\\0b\0\0\0", 8)},
        {L"\"say \\\"hi\\\"\"", REG_SZ, TextBytes(L"say \"hi\"")},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        VLRegValue value(REG_SZ, L"n");
        value.ParseText(c.text);
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(RawBytes(value), c.raw);
        EXPECT_FALSE(value.deleteValue);
    }
}

TEST(RegValueText, ParseTextFieldsOfTheTextForms)
{
    VLRegValue expand(REG_SZ);
    expand.ParseText(L"hex(2):61,00,00,00");
    EXPECT_EQ(expand.text, std::wstring(L"a\0", 2));

    VLRegValue multi(REG_SZ);
    multi.ParseText(L"hex(7):61,00,00,00,62,00,00,00,00,00");
    EXPECT_EQ(multi.multiStrings, (std::vector<std::wstring>{L"a", L"b"}));

    VLRegValue quoted(REG_SZ);
    quoted.ParseText(L"\"C:\\\\dir\\\\\"");
    EXPECT_EQ(quoted.text, L"C:\\dir\\");
}

TEST(RegValueText, ParseTextLeavesOtherTextsAlone)
{
    for (const wchar_t* text : {L"", L"garbage", L"Hex:01", L"DWORD:1", L"-1", L" \"x\""}) {
        VLRegValue value(REG_SZ, L"n");
        value.ParseText(text);
        EXPECT_EQ(value.type, uint32_t(REG_SZ)) << testing::PrintToString(std::wstring(text));
        EXPECT_EQ(value.text, L"");
        EXPECT_FALSE(value.deleteValue);
    }
    VLRegValue removed(REG_SZ, L"n");
    removed.ParseText(L"-");
    EXPECT_TRUE(removed.deleteValue);
}

TEST(RegValueText, FormatTextForms)
{
    struct Case {
        VLRegValue value;
        const wchar_t* text;
    };
    std::vector<Case> cases;
    auto add = [&](VLRegValue value, const wchar_t* text) { cases.push_back({value, text}); };
    auto bytes = [](uint32_t type, const std::string& raw) {
        VLRegValue value(type);
        value.SetRawData(reinterpret_cast<const unsigned char*>(raw.data()), uint32_t(raw.size()));
        return value;
    };

    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 255;
    add(dword, L"dword:000000FF");
    add(VLRegValue(REG_MULTI_SZ), L"hex(7):00,00");
    VLRegValue multi(REG_MULTI_SZ);
    multi.multiStrings = {L"a", L"", L"b"};
    add(multi, L"hex(7):61,00,00,00,62,00,00,00,00,00");
    add(VLRegValue(REG_EXPAND_SZ), L"hex(2):00,00");
    VLRegValue expand(REG_EXPAND_SZ);
    expand.text = L"%a";
    add(expand, L"hex(2):25,00,61,00,00,00");
    VLRegValue qword(REG_QWORD);
    qword.qwordValue = 1;
    add(qword, L"hex(b):01,00,00,00,00,00,00,00");
    qword.qwordValue = 0x0102030405060708ull;
    add(qword, L"hex(b):08,07,06,05,04,03,02,01");
    VLRegValue text(REG_SZ);
    text.text = L"\"\\";
    add(text, L"\"\\\"\\\\\"");
    add(bytes(REG_BINARY, "\x01\xff"), L"hex:01,FF");
    add(bytes(REG_BINARY, ""), L"hex:");
    add(bytes(REG_NONE, "\x7f"), L"hex(0):7F");
    add(bytes(REG_LINK, "\x0a"), L"hex(6):0A");
    add(bytes(REG_RESOURCE_REQUIREMENTS_LIST, "\x01\x02"), L"hex(10):01,02");
    add(bytes(20, "\x01"), L"hex(20):01");
    VLRegValue removed(REG_DWORD);
    removed.deleteValue = true;
    add(removed, L"-");

    for (const Case& c : cases) {
        std::wstring out = L"x=";
        EXPECT_TRUE(c.value.FormatText(out)) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(out, std::wstring(L"x=") + c.text);
    }
}

TEST(RegValueText, FormatTextRefusesBigEndianDword)
{
    VLRegValue value(REG_DWORD_BIG_ENDIAN);
    value.dwordValue = 1;
    std::wstring out = L"kept";
    EXPECT_FALSE(value.FormatText(out));
    EXPECT_EQ(out, L"kept");
}

TEST(RegValueText, StringsRoundTrip)
{
    const wchar_t* texts[] = {L"",          L"plain",       L"C:\\dir\\",      L"say \"hi\"",
                              L"\"\\",      L"\\\"",        L"\\\\\"",         L"a\\\\b\"\"c",
                              L"\\",        L"\"",          L"end\\\\",        L"\x4E2D\x6587"};
    for (const wchar_t* text : texts) {
        VLRegValue value(REG_SZ);
        value.text = text;
        std::wstring formatted;
        ASSERT_TRUE(value.FormatText(formatted));
        VLRegValue back(REG_NONE);
        back.ParseText(formatted);
        EXPECT_EQ(back.type, uint32_t(REG_SZ));
        EXPECT_EQ(back.text, text) << testing::PrintToString(formatted);
    }
}

TEST(RegValueText, BinaryFormsRoundTrip)
{
    VLRegValue multi(REG_MULTI_SZ);
    multi.multiStrings = {L"one", L"two"};
    VLRegValue qword(REG_QWORD);
    qword.qwordValue = 0xFEDCBA9876543210ull;
    VLRegValue binary(REG_BINARY);
    const unsigned char bytes[] = {0, 1, 0x7f, 0x80, 0xff};
    binary.SetRawData(bytes, sizeof(bytes));
    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 0xDEADBEEF;
    for (const VLRegValue* value : {&multi, &qword, &binary, &dword}) {
        std::wstring formatted;
        ASSERT_TRUE(value->FormatText(formatted));
        VLRegValue back(REG_SZ);
        back.ParseText(formatted);
        EXPECT_EQ(back.type, value->type) << testing::PrintToString(formatted);
        EXPECT_EQ(RawBytes(back), RawBytes(*value)) << testing::PrintToString(formatted);
    }
}

TEST(RegValueText, StripBlanksAndHexBytes)
{
    EXPECT_EQ(StripRegDataBlanks(L"01, 02,\\\r\n  03\r\n\n"), L"01,02,03");
    // A backslash that does not end a line stays.
    EXPECT_EQ(StripRegDataBlanks(L"a\\b"), L"a\\b");

    VLBuffer<unsigned char> out;
    ParseHexBytes(L"0,1ff,,Ab", out);
    ASSERT_EQ(out.size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data), 4), std::string("\x00\xff\x00\xab", 4));
    ParseHexBytes(L"", out);
    EXPECT_EQ(out.size, 0u);
}
