#include "install/RegKey.h"

#include "tests/install/TestRegKey.h"

#include <gtest/gtest.h>

#include <string>

using namespace Velora;

namespace {

std::string U32(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Units(const std::wstring& text)
{
    std::string out;
    for (wchar_t unit : text) out += std::string{char(unit), char(unit >> 8)};
    return out;
}

// A key with a subkey, a value of every kind the record holds, and a value
// flagged for deletion.
VLRegKey SampleTree()
{
    VLRegKey key(0x80000002, L"Software\\Sample");
    VLRegKey child(0x80000002, JoinRegPath(key.path, L"Child"));
    child.values.push_back(StringValue(L"", L"default"));
    child.deleteKey = true;
    key.subkeys.push_back(child);

    key.values.push_back(StringValue(L"text", L"a \"b\" \\c"));
    VLRegValue dword(REG_DWORD, L"dword");
    dword.dwordValue = 0x01020304;
    key.values.push_back(dword);
    VLRegValue big(REG_DWORD_BIG_ENDIAN, L"big");
    big.dwordValue = 0x0A0B0C0D;
    key.values.push_back(big);
    VLRegValue multi(REG_MULTI_SZ, L"multi");
    multi.multiStrings = {L"x", L"", L"y"};
    key.values.push_back(multi);
    VLRegValue qword(REG_QWORD, L"qword");
    qword.qwordValue = 0x1122334455667788ull;
    key.values.push_back(qword);
    VLRegValue link(REG_LINK, L"link");
    const unsigned char linkBytes[] = {'\\', 0, 'R', 0, 0xFF};
    link.SetRawData(linkBytes, sizeof(linkBytes));
    key.values.push_back(link);
    VLRegValue removed(REG_SZ, L"gone");
    removed.deleteValue = true;
    key.values.push_back(removed);
    return key;
}

void ExpectSameTree(const VLRegKey& actual, const VLRegKey& expected)
{
    EXPECT_EQ(actual.root, expected.root);
    EXPECT_EQ(actual.path, expected.path);
    EXPECT_EQ(actual.deleteKey, expected.deleteKey);
    ASSERT_EQ(actual.values.size(), expected.values.size());
    for (size_t i = 0; i < actual.values.size(); ++i) {
        const VLRegValue& a = actual.values[i];
        const VLRegValue& e = expected.values[i];
        EXPECT_EQ(a.name, e.name);
        EXPECT_EQ(a.deleteValue, e.deleteValue) << testing::PrintToString(e.name);
        if (e.deleteValue) continue;
        EXPECT_EQ(a.type, e.type) << testing::PrintToString(e.name);
        EXPECT_EQ(RawBytes(a), RawBytes(e)) << testing::PrintToString(e.name);
    }
    ASSERT_EQ(actual.subkeys.size(), expected.subkeys.size());
    for (size_t i = 0; i < actual.subkeys.size(); ++i) {
        ExpectSameTree(actual.subkeys[i], expected.subkeys[i]);
    }
}

} // namespace

TEST(RegKey, ParseNameFindsTheRoot)
{
    struct Case {
        const wchar_t* name;
        bool ok;
        uint32_t root;
        const wchar_t* path;
        bool deleteKey;
    };
    const Case cases[] = {
        {L"HKEY_LOCAL_MACHINE", true, 0x80000002, L"", false},
        {L"HKEY_LOCAL_MACHINE\\", true, 0x80000002, L"", false},
        {L"-HKEY_USERS\\S", true, 0x80000003, L"S", true},
        {L"HKEY_CURRENT_USER\\Software\\A B", true, 0x80000001, L"Software\\A B", false},
        {L"HKEY_CURRENT_CONFIG\\x", true, 0x80000005, L"x", false},
        {L"HKEY_PERFORMANCE_DATA", true, 0x80000004, L"", false},
        {L"HKEY_DYN_DATA\\z\\y", true, 0x80000006, L"z\\y", false},
        // A root name must end at a backslash or at the end of the name.
        {L"HKEY_USERSX\\y", false, 0x80000003, L"keep", false},
        {L"HKEY_CLASSES_ROOT\\x", false, 0x80000003, L"keep", false},
        {L"-HKEY_CLASSES_ROOT\\x", false, 0x80000003, L"keep", true},
        {L"hkey_users\\x", false, 0x80000003, L"keep", false},
        {L" HKEY_USERS\\x", false, 0x80000003, L"keep", false},
        {L"", false, 0x80000003, L"keep", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        VLRegKey key(0x80000003, L"keep");
        EXPECT_EQ(key.ParseName(c.name), c.ok);
        EXPECT_EQ(key.root, c.root);
        EXPECT_EQ(key.path, c.path);
        EXPECT_EQ(key.deleteKey, c.deleteKey);
    }
}

TEST(RegKey, FromNameOfAnUnknownRootHasNoTarget)
{
    const VLRegKey known = VLRegKey::FromName(L"-HKEY_USERS\\S");
    EXPECT_TRUE(known.HasTarget());
    EXPECT_TRUE(known.deleteKey);

    const VLRegKey unknown = VLRegKey::FromName(L"HKEY_CLASSES_ROOT\\x");
    EXPECT_EQ(unknown.root, kRegRootCurrentUser);
    EXPECT_EQ(unknown.path, L"");
    EXPECT_FALSE(unknown.HasTarget());
    EXPECT_FALSE(VLRegKey(0x80000000, L"x").HasTarget());
    EXPECT_FALSE(VLRegKey(0x80000002, L"").HasTarget());
}

TEST(RegKey, FullNames)
{
    VLRegKey key(0x80000001, L"Software\\A");
    EXPECT_EQ(key.GetFullName(true), L"HKEY_CURRENT_USER\\Software\\A");
    key.deleteKey = true;
    EXPECT_EQ(key.GetFullName(true), L"-HKEY_CURRENT_USER\\Software\\A");
    EXPECT_EQ(key.GetFullName(false), L"HKEY_CURRENT_USER\\Software\\A");
    EXPECT_EQ(VLRegKey(0x80000004, L"").GetFullName(true), L"HKEY_PERFORMANCE_DATA");
    EXPECT_EQ(VLRegKey(0x80000000, L"x").GetFullName(true), L"");

    EXPECT_EQ(JoinRegPath(L"a", L"b"), L"a\\b");
    EXPECT_EQ(JoinRegPath(L"a\\", L"b"), L"a\\b");
}

TEST(RegKey, RecordBytesOfOneKeyWithOneString)
{
    VLRegKey key(0x80000001, L"S");
    key.values.push_back(StringValue(L"v", L"x"));

    const std::string expected = U32(19) + Units(L"HKEY_CURRENT_USER\\S") + U32(0) + U32(1) +
                                 U32(1) + Units(L"v") + std::string("\x01\x00", 2) + U32(4) +
                                 Units(std::wstring(L"x\0", 2));
    ASSERT_EQ(expected.size(), 66u);
    EXPECT_EQ(key.GetSerializedSize(), 66u);
    VLBuffer<unsigned char> record;
    key.Serialize(record);
    EXPECT_EQ(Bytes(record), expected);

    VLRegKeyList keys{key};
    VLBuffer<unsigned char> blob;
    SerializeRegKeys(keys, blob);
    EXPECT_EQ(Bytes(blob), U32(1) + U32(70) + U32(66) + expected);
}

TEST(RegKey, RecordCarriesFullSubkeyPathsAndDeleteType)
{
    const VLRegKey key = SampleTree();
    VLBuffer<unsigned char> record;
    key.Serialize(record);
    const std::string bytes = Bytes(record);
    EXPECT_EQ(bytes.size(), key.GetSerializedSize());
    EXPECT_NE(bytes.find(Units(L"-HKEY_LOCAL_MACHINE\\Software\\Sample\\Child")), std::string::npos);
    // The type field is 16 bits; a value to delete is stored as 0x00FF.
    EXPECT_NE(bytes.find(Units(L"gone") + std::string("\xFF\x00", 2)), std::string::npos);

    VLRegKey back;
    ASSERT_TRUE(back.Deserialize(record.data, record.size));
    ExpectSameTree(back, key);
}

TEST(RegKey, StoredValuesKeepTheirBytesButForTheDeleteMark)
{
    // Values come back byte for byte as the registry holds them, but type
    // 0xFF is the record's delete mark and its type field has 16 bits.
    const unsigned char odd[] = {'a', 0, 'b'};
    VLRegKey key(kRegRootCurrentUser, L"S"), back;
    for (const uint32_t type : {REG_SZ, REG_MULTI_SZ, REG_QWORD, REG_DWORD, 0x12345, 0xFF}) {
        key.values.emplace_back(type, L"v");
        key.values.back().SetRawData(odd, 3);
    }
    VLBuffer<unsigned char> record;
    key.Serialize(record);
    ASSERT_TRUE(back.Deserialize(record.data, record.size));
    ASSERT_EQ(back.values.size(), 6u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(RawBytes(back.values[i]), std::string("a\0b", 3)) << i;
    EXPECT_EQ(back.values[4].type, 0x2345u);
    EXPECT_TRUE(back.values[5].deleteValue);
}

TEST(RegKey, DeserializeRefusesEveryTruncation)
{
    VLBuffer<unsigned char> record;
    SampleTree().Serialize(record);
    for (uint32_t length = 0; length < record.size; ++length) {
        VLRegKey key;
        EXPECT_FALSE(key.Deserialize(record.data, length)) << "length " << length;
    }
}

TEST(RegKey, DeserializeRefusesLyingCounts)
{
    const std::string name = U32(19) + Units(L"HKEY_CURRENT_USER\\S");
    const std::string value = U32(1) + Units(L"v") + std::string("\x03\x00", 2);
    const std::string lies[] = {
        U32(0x7FFFFFFF) + Units(L"HKEY_CURRENT_USER\\S") + U32(0) + U32(0),
        name + U32(1) + U32(0xFFFFFFF0) + U32(0),
        // Two subkeys announced, one present.
        name + U32(2) + U32(uint32_t(name.size()) + 8) + name + U32(0) + U32(0),
        name + U32(0) + U32(0xFFFFFFFF),
        name + U32(0) + U32(1) + value + U32(0xFFFFFFFC) + "ab",
        name + U32(0) + U32(1) + U32(0x40000000) + Units(L"v"),
        // A record naming a root outside the table.
        U32(19) + Units(L"HKEY_CLASSES_ROOT\\S") + U32(0) + U32(0),
    };
    for (const std::string& lie : lies) {
        VLRegKey key;
        EXPECT_FALSE(key.Deserialize(reinterpret_cast<const unsigned char*>(lie.data()),
                                     uint32_t(lie.size())))
            << testing::PrintToString(lie);
    }
}

TEST(RegKey, DeserializeRefusesHostileNesting)
{
    VLRegKey deep(0x80000001, L"n");
    for (int level = 0; level < 600; ++level) {
        VLRegKey parent(0x80000001, L"n");
        parent.subkeys.push_back(deep);
        deep = parent;
    }
    VLBuffer<unsigned char> record;
    deep.Serialize(record);
    VLRegKey key;
    EXPECT_FALSE(key.Deserialize(record.data, record.size));
}

// The backup of a deleted chain deeper than any recursion would survive: each
// key's record nests in its parent's, ahead of the parent's values.
TEST(RegKey, ADeepChainIsWrittenWhole)
{
    constexpr uint32_t kDepth = 6000;
    VLRegKey top(kRegRootCurrentUser, L"d");
    VLRegKey* key = &top;
    for (uint32_t level = 0; level <= kDepth; ++level) {
        VLRegValue value(REG_DWORD, L"n");
        value.dwordValue = level;
        key->values.push_back(value);
        if (level == kDepth) break;
        key->subkeys.emplace_back(kRegRootCurrentUser, key->path + L"\\a");
        key = &key->subkeys.back();
    }
    VLBuffer<unsigned char> record;
    top.Serialize(record);
    ASSERT_EQ(record.size, top.GetSerializedSize());

    const std::string bytes = Bytes(record);
    size_t at = 0;
    std::wstring name = L"HKEY_CURRENT_USER\\d";
    for (uint32_t level = 0; level <= kDepth; ++level, name += L"\\a") {
        std::string head = U32(uint32_t(name.size())) + Units(name) + U32(level < kDepth);
        if (level < kDepth) head += U32(uint32_t(bytes.size() - at - head.size() - 4 - (level + 1) * 20));
        ASSERT_EQ(bytes.compare(at, head.size(), head), 0) << "level " << level;
        at += head.size();
    }
    for (uint32_t level = kDepth + 1; level-- > 0; at += 20) {
        const std::string values = U32(1) + U32(1) + Units(L"n") + std::string("\x04\x00", 2) + U32(4) + U32(level);
        ASSERT_EQ(bytes.compare(at, 20, values), 0) << "values of level " << level;
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(RegKey, KeyBlobs)
{
    VLBuffer<unsigned char> blob;
    VLRegKeyList keys{VLRegKey(0x80000001, L"left")};

    SetBytes(blob, std::string(7, '\0'));
    EXPECT_FALSE(DeserializeRegKeys(blob, keys));
    EXPECT_TRUE(keys.empty());

    SetBytes(blob, U32(0) + U32(0));
    EXPECT_TRUE(DeserializeRegKeys(blob, keys));
    EXPECT_TRUE(keys.empty());

    // A body longer than the blob.
    SetBytes(blob, U32(1) + U32(100) + U32(0));
    EXPECT_FALSE(DeserializeRegKeys(blob, keys));

    // A record running past the end keeps the keys read before it.
    VLBuffer<unsigned char> record;
    VLRegKey good(0x80000001, L"good");
    good.Serialize(record);
    const std::string goodRecord = U32(record.size) + Bytes(record);
    SetBytes(blob, U32(2) + U32(0) + goodRecord + U32(1000) + "xx");
    EXPECT_FALSE(DeserializeRegKeys(blob, keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, L"good");

    // A key under an unknown root is dropped and the blob refused, never
    // turned into a key at the root of HKEY_CURRENT_USER.
    const std::string unknown = U32(19) + Units(L"HKEY_CLASSES_ROOT\\S") + U32(0) + U32(0);
    SetBytes(blob, U32(2) + U32(0) + goodRecord + U32(uint32_t(unknown.size())) + unknown);
    EXPECT_FALSE(DeserializeRegKeys(blob, keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, L"good");
}

TEST(RegKey, KeyBlobRoundTrip)
{
    VLRegKeyList keys{SampleTree(), VLRegKey(0x80000003, L"S-1"), VLRegKey::FromName(L"-HKEY_USERS\\x")};
    VLBuffer<unsigned char> blob;
    SerializeRegKeys(keys, blob);
    VLRegKeyList back;
    ASSERT_TRUE(DeserializeRegKeys(blob, back));
    ASSERT_EQ(back.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) ExpectSameTree(back[i], keys[i]);
}

TEST(RegKey, MergeBackupsPutsTheEarlierKeysFirst)
{
    VLBuffer<unsigned char> target, earlier;
    SerializeRegKeys(VLRegKeyList{VLRegKey(0x80000001, L"A")}, target);
    SerializeRegKeys(VLRegKeyList{VLRegKey(0x80000001, L"B"), VLRegKey(0x80000001, L"C")}, earlier);
    MergeRegBackups(target, earlier);
    VLRegKeyList merged;
    ASSERT_TRUE(DeserializeRegKeys(target, merged));
    ASSERT_EQ(merged.size(), 3u);
    EXPECT_EQ(merged[0].path, L"B");
    EXPECT_EQ(merged[1].path, L"C");
    EXPECT_EQ(merged[2].path, L"A");
}
