#include "base/RegValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Velora;

namespace {

std::vector<unsigned char> Raw(const VLRegValue& value)
{
    VLBuffer<unsigned char> out;
    EXPECT_TRUE(value.GetRawData(out));
    return std::vector<unsigned char>(out.data, out.data + out.size);
}

std::vector<unsigned char> Units(const std::wstring& text)
{
    std::vector<unsigned char> bytes(text.size() * 2);
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

VLRegValue FromRaw(uint32_t type, const std::vector<unsigned char>& bytes)
{
    VLRegValue value(type, L"v");
    static const unsigned char empty = 0;
    EXPECT_TRUE(value.SetRawData(bytes.empty() ? &empty : bytes.data(), uint32_t(bytes.size())));
    return value;
}

} // namespace

TEST(RegValueTest, RawBytesPerType)
{
    VLRegValue text(REG_SZ);
    text.text = L"ab";
    EXPECT_EQ(Raw(text), (std::vector<unsigned char>{'a', 0, 'b', 0, 0, 0}));

    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 0x11223344;
    EXPECT_EQ(Raw(dword), (std::vector<unsigned char>{0x44, 0x33, 0x22, 0x11}));
    dword.type = REG_DWORD_BIG_ENDIAN;
    EXPECT_EQ(Raw(dword), (std::vector<unsigned char>{0x11, 0x22, 0x33, 0x44}));

    VLRegValue qword(REG_QWORD);
    qword.qwordValue = 0x0102030405060708ull;
    EXPECT_EQ(Raw(qword), (std::vector<unsigned char>{8, 7, 6, 5, 4, 3, 2, 1}));

    VLRegValue multi(REG_MULTI_SZ);
    multi.multiStrings = {L"a", L"", L"b"};
    EXPECT_EQ(Raw(multi), Units(std::wstring(L"a\0\0b\0\0", 6)));
    multi.multiStrings.clear();
    EXPECT_EQ(Raw(multi), Units(std::wstring(L"\0", 1)));
}

TEST(RegValueTest, EveryTypeRoundTrips)
{
    struct Case {
        uint32_t type;
        std::wstring text;
        uint32_t dword;
        uint64_t qword;
        std::vector<std::wstring> multi;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {REG_SZ, L"C:\\Program Files\\x", 0, 0, {}, {}},
        {REG_SZ, L"", 0, 0, {}, {}},
        {REG_EXPAND_SZ, L"%SystemRoot%\\x", 0, 0, {}, {}},
        {REG_DWORD, L"", 0xFFFFFFFE, 0, {}, {}},
        {REG_DWORD_BIG_ENDIAN, L"", 0x01020304, 0, {}, {}},
        {REG_QWORD, L"", 0, 0xFEDCBA9876543210ull, {}, {}},
        {REG_MULTI_SZ, L"", 0, 0, {L"one", L"", L"three"}, {}},
        {REG_MULTI_SZ, L"", 0, 0, {L"only"}, {}},
        {REG_MULTI_SZ, L"", 0, 0, {}, {}},
        {REG_MULTI_SZ, L"", 0, 0, {L"a", L""}, {}},
        {REG_NONE, L"", 0, 0, {}, {1, 2}},
        {REG_BINARY, L"", 0, 0, {}, {0, 0xFF, 7}},
        {REG_LINK, L"", 0, 0, {}, {'x', 0}},
        {REG_RESOURCE_LIST, L"", 0, 0, {}, {9}},
        {REG_FULL_RESOURCE_DESCRIPTOR, L"", 0, 0, {}, {1, 2, 3, 4, 5}},
        {REG_RESOURCE_REQUIREMENTS_LIST, L"", 0, 0, {}, {}},
        {42, L"", 0, 0, {}, {0xAB}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        VLRegValue original(c.type, L"name");
        original.text = c.text;
        original.dwordValue = c.dword;
        original.qwordValue = c.qword;
        original.multiStrings = c.multi;
        original.data.SetCapacity(uint32_t(c.bytes.size()));
        if (!c.bytes.empty()) std::memcpy(original.data.data, c.bytes.data(), c.bytes.size());
        original.data.size = uint32_t(c.bytes.size());

        const VLRegValue copy = FromRaw(c.type, Raw(original));
        EXPECT_EQ(copy.text, c.text);
        EXPECT_EQ(copy.dwordValue, c.dword);
        EXPECT_EQ(copy.qwordValue, c.qword);
        EXPECT_EQ(copy.multiStrings, c.multi);
        EXPECT_EQ(Raw(copy), Raw(original));
        EXPECT_FALSE(copy.deleteValue);
    }
}

TEST(RegValueTest, SetRawDataEdgeCases)
{
    // A DWORD of the wrong size keeps its bytes; its typed field keeps its value.
    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 7;
    const unsigned char three[3] = {1, 2, 3};
    EXPECT_TRUE(dword.SetRawData(three, 3));
    EXPECT_EQ(dword.dwordValue, 7u);
    dword.type = REG_DWORD_BIG_ENDIAN;
    EXPECT_TRUE(dword.SetRawData(three, 3));
    EXPECT_EQ(dword.dwordValue, 7u);
    EXPECT_EQ(Raw(dword), (std::vector<unsigned char>{1, 2, 3}));

    // A null pointer changes nothing and succeeds.
    VLRegValue text(REG_SZ);
    text.text = L"keep";
    EXPECT_TRUE(text.SetRawData(nullptr, 10));
    EXPECT_EQ(text.text, L"keep");

    // Text stored without its terminator keeps its last character; one byte
    // is no character at all.
    EXPECT_EQ(FromRaw(REG_SZ, Units(L"abc")).text, L"abc");
    EXPECT_EQ(FromRaw(REG_SZ, {'a'}).text, L"");

    // A list stored with a single terminator keeps its last string.
    EXPECT_EQ(FromRaw(REG_MULTI_SZ, Units(std::wstring(L"a\0b\0", 4))).multiStrings,
              (std::vector<std::wstring>{L"a", L"b"}));
    // A last piece without any terminator is dropped.
    EXPECT_EQ(FromRaw(REG_MULTI_SZ, Units(std::wstring(L"a\0b", 3))).multiStrings,
              (std::vector<std::wstring>{L"a"}));

    // Bytes past the eighth add nothing to a QWORD.
    EXPECT_EQ(FromRaw(REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0, 0xFF}).qwordValue, 1u);
    EXPECT_EQ(FromRaw(REG_QWORD, {2, 1}).qwordValue, 0x102u);

    // Every byte comes back as given, whatever the typed field makes of it,
    // and any type number is a type, never a deletion.
    for (const uint32_t type : {REG_SZ, REG_MULTI_SZ, REG_QWORD, REG_DWORD, 0xFF, 0x12345}) {
        const VLRegValue value = FromRaw(type, {'a', 0, 'b'});
        EXPECT_EQ(Raw(value), (std::vector<unsigned char>{'a', 0, 'b'})) << type;
        EXPECT_FALSE(value.deleteValue);
    }
    EXPECT_TRUE(Raw(FromRaw(REG_SZ, {})).empty());
    // Text changed since (keywords expanded in it) is written as it now says.
    VLRegValue changed = FromRaw(REG_EXPAND_SZ, Units(std::wstring(L"a\0", 2)));
    changed.type = REG_SZ;
    EXPECT_EQ(Raw(changed), Units(std::wstring(L"a\0", 2)));
    changed.text = L"b";
    EXPECT_EQ(Raw(changed), Units(std::wstring(L"b\0", 2)));
}

TEST(RegValueTest, CopiesAreDeep)
{
    VLRegValue original(REG_BINARY, L"b");
    original.SetRawData(reinterpret_cast<const unsigned char*>("xyz"), 3);
    VLRegValue copy(original);
    VLRegValue assigned;
    assigned = original;
    original.data.data[0] = 'q';
    EXPECT_EQ(copy.data.size, 3u);
    EXPECT_EQ(copy.data.data[0], 'x');
    EXPECT_EQ(assigned.data.data[0], 'x');
    EXPECT_EQ(assigned.name, L"b");
    EXPECT_EQ(assigned.type, uint32_t(REG_BINARY));
}
