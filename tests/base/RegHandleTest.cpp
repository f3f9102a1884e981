#include "base/RegHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Velora;

namespace {

// A private key under HKCU for one test, removed with its subtree afterwards.
class RegHandleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = L"Software\\VLTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount());
        ASSERT_TRUE(handle_.Create(HKEY_CURRENT_USER, path_));
    }
    void TearDown() override
    {
        handle_.Close();
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }

    void SetString(const wchar_t* name, const std::wstring& text)
    {
        VLRegValue value(REG_SZ);
        value.text = text;
        ASSERT_TRUE(handle_.SetValue(name, value));
    }

    std::wstring path_;
    VLRegHandle handle_;
};

} // namespace

TEST_F(RegHandleTest, CreateOpensAnExistingKey)
{
    SetString(L"kept", L"yes");
    VLRegHandle again;
    ASSERT_TRUE(again.Create(HKEY_CURRENT_USER, path_));
    std::wstring text;
    EXPECT_TRUE(again.QueryString(text, L"kept"));
    EXPECT_EQ(text, L"yes");
}

TEST_F(RegHandleTest, OpenNeverCreates)
{
    VLRegHandle missing;
    EXPECT_FALSE(missing.Open(HKEY_CURRENT_USER, path_ + L"\\absent", KEY_QUERY_VALUE));
    EXPECT_EQ(missing.lastError, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.key.Valid());
    HKEY probe = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (path_ + L"\\absent").c_str(), 0, KEY_READ, &probe),
              ERROR_SUCCESS);
}

TEST_F(RegHandleTest, QueryStringLimits)
{
    SetString(L"short", L"hello");
    SetString(L"max", std::wstring(511, L'x'));
    SetString(L"long", std::wstring(600, L'y'));

    std::wstring text = L"old";
    EXPECT_TRUE(handle_.QueryString(text, L"short"));
    EXPECT_EQ(text, L"hello");
    EXPECT_TRUE(handle_.QueryString(text, L"max"));
    EXPECT_EQ(text, std::wstring(511, L'x'));

    // Longer than the caller's buffer: a clean failure, nothing half-read.
    handle_.lastError = ERROR_SUCCESS;
    EXPECT_FALSE(handle_.QueryString(text, L"long"));
    EXPECT_EQ(handle_.lastError, ERROR_MORE_DATA);
    EXPECT_EQ(text, L"");

    text = L"old";
    EXPECT_FALSE(handle_.QueryString(text, L"missing"));
    EXPECT_EQ(handle_.lastError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(text, L"");
}

TEST_F(RegHandleTest, QueryStringReadsAnyTypeAsText)
{
    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 0x00620061; // "ab" in UTF-16 units
    ASSERT_TRUE(handle_.SetValue(L"d", dword));
    std::wstring text;
    EXPECT_TRUE(handle_.QueryString(text, L"d"));
    EXPECT_EQ(text, L"ab");

    // Bytes without a terminator are bounded by the size the registry answers.
    VLRegValue binary(REG_BINARY);
    binary.SetRawData(reinterpret_cast<const unsigned char*>(L"xy"), 4);
    ASSERT_TRUE(handle_.SetValue(L"b", binary));
    EXPECT_TRUE(handle_.QueryString(text, L"b"));
    EXPECT_EQ(text, L"xy");
}

TEST_F(RegHandleTest, QueryDword)
{
    VLRegValue dword(REG_DWORD);
    dword.dwordValue = 0xCAFEF00D;
    ASSERT_TRUE(handle_.SetValue(L"d", dword));
    SetString(L"long", L"too long for four bytes");

    DWORD out = 1;
    EXPECT_TRUE(handle_.QueryDword(out, L"d"));
    EXPECT_EQ(out, 0xCAFEF00Du);

    out = 1;
    EXPECT_FALSE(handle_.QueryDword(out, L"missing"));
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(handle_.lastError, ERROR_FILE_NOT_FOUND);

    out = 1;
    EXPECT_FALSE(handle_.QueryDword(out, L"long"));
    EXPECT_EQ(handle_.lastError, ERROR_MORE_DATA);
}

TEST_F(RegHandleTest, LastErrorKeptUntilTheNextFailure)
{
    DWORD out = 0;
    EXPECT_FALSE(handle_.QueryDword(out, L"missing"));
    VLRegValue value(REG_DWORD);
    EXPECT_TRUE(handle_.SetValue(L"d", value));
    EXPECT_EQ(handle_.lastError, ERROR_FILE_NOT_FOUND);

    // Writing through a closed handle fails with the registry's own code.
    handle_.Close();
    EXPECT_FALSE(handle_.SetValue(L"d", value));
    EXPECT_EQ(handle_.lastError, ERROR_INVALID_HANDLE);
}

TEST_F(RegHandleTest, ValuesRoundTripThroughTheRegistry)
{
    std::vector<VLRegValue> values;
    VLRegValue text(REG_EXPAND_SZ, L"e");
    text.text = L"%TEMP%\\a";
    values.push_back(text);
    VLRegValue multi(REG_MULTI_SZ, L"m");
    multi.multiStrings = {L"x", L"yy"};
    values.push_back(multi);
    VLRegValue qword(REG_QWORD, L"q");
    qword.qwordValue = 0x123456789ull;
    values.push_back(qword);
    VLRegValue binary(REG_BINARY, L"");
    binary.SetRawData(reinterpret_cast<const unsigned char*>("\x01\x00\x02"), 3);
    values.push_back(binary);

    for (const VLRegValue& value : values) ASSERT_TRUE(handle_.SetValue(value.name, value));
    for (const VLRegValue& value : values) {
        SCOPED_TRACE(value.type);
        VLRegValue read;
        ASSERT_TRUE(handle_.QueryValue(value.name, read));
        EXPECT_EQ(read.type, value.type);
        EXPECT_EQ(read.text, value.text);
        EXPECT_EQ(read.multiStrings, value.multiStrings);
        EXPECT_EQ(read.qwordValue, value.qwordValue);
        VLBuffer<unsigned char> readBytes, valueBytes;
        read.GetRawData(readBytes);
        value.GetRawData(valueBytes);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(readBytes.data), readBytes.size),
                  std::string(reinterpret_cast<char*>(valueBytes.data), valueBytes.size));
    }
    VLRegValue read;
    EXPECT_FALSE(handle_.QueryValue(L"missing", read));
    EXPECT_EQ(handle_.lastError, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegHandleTest, EnumerateEmptyKeyLeavesVectorsAlone)
{
    std::vector<std::wstring> values = {L"before"};
    std::vector<std::wstring> subkeys = {L"before"};
    EXPECT_TRUE(handle_.Enumerate(values, subkeys));
    EXPECT_EQ(values, std::vector<std::wstring>{L"before"});
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"before"});
}

TEST_F(RegHandleTest, EnumerateListsNames)
{
    VLRegHandle child;
    ASSERT_TRUE(child.Create(handle_.key.Get(), L"a long subkey name"));
    ASSERT_TRUE(child.Create(handle_.key.Get(), L"b"));
    SetString(L"v1", L"1");
    SetString(L"", L"default");

    std::vector<std::wstring> values = {L"stale"};
    std::vector<std::wstring> subkeys = {L"stale"};
    EXPECT_TRUE(handle_.Enumerate(values, subkeys));
    std::sort(values.begin(), values.end());
    std::sort(subkeys.begin(), subkeys.end());
    EXPECT_EQ(values, (std::vector<std::wstring>{L"", L"v1"}));
    EXPECT_EQ(subkeys, (std::vector<std::wstring>{L"a long subkey name", L"b"}));

    // Subkeys only: the value list keeps what it held.
    VLRegHandle parent;
    ASSERT_TRUE(parent.Create(handle_.key.Get(), L"b"));
    ASSERT_TRUE(child.Create(parent.key.Get(), L"c"));
    values = {L"stale"};
    EXPECT_TRUE(parent.Enumerate(values, subkeys));
    EXPECT_EQ(values, std::vector<std::wstring>{L"stale"});
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"c"});
}

TEST_F(RegHandleTest, EnumerateOnClosedHandleFails)
{
    handle_.Close();
    std::vector<std::wstring> values, subkeys;
    EXPECT_FALSE(handle_.Enumerate(values, subkeys));
    EXPECT_EQ(handle_.lastError, ERROR_INVALID_HANDLE);
}

TEST_F(RegHandleTest, NamesCompareAsTheRegistryMatchesThem)
{
    // Latin, Cyrillic, Greek and full-width letters fold; letters whose
    // capital is two letters, or another letter's, do not.
    const wchar_t* const pairs[][2] = {
        {L"Ärger", L"äRGER"}, {L"Жук", L"жУК"}, {L"Ωμέγα", L"ΩΜΈΓΑ"}, {L"ＡＢＣ", L"ａｂｃ"}, {L"\u212A", L"k"},
        {L"ß", L"SS"},        {L"Σ", L"ς"},     {L"ı", L"I"},         {L"µ", L"Μ"},         {L"a", L"ab"},
    };
    for (const auto& pair : pairs) {
        VLRegHandle made, found;
        ASSERT_TRUE(made.Create(handle_.key.Get(), pair[0]));
        EXPECT_EQ(CompareRegNames(pair[0], pair[1]) == 0, found.Open(handle_.key.Get(), pair[1], KEY_READ))
            << testing::PrintToString(std::wstring(pair[1]));
        EXPECT_NE(RegNameLess()(pair[0], pair[1]), RegNameLess()(pair[1], pair[0]) || found.key.Valid());
        RegDeleteKeyW(handle_.key.Get(), pair[0]);
    }
}
