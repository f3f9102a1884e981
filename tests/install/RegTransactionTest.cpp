#include "base/StringUtil.h"
#include "install/RegParser.h"
#include "install/RegTextWriter.h"
#include "install/RegTransaction.h"
#include "install/SfxInstall.h"
#include "install/TextWriter.h"
#include "tests/install/TestRegKey.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

using namespace Velora;

namespace {

VLRegValue DwordValue(const std::wstring& name, uint32_t number)
{
    VLRegValue value(REG_DWORD, name);
    value.dwordValue = number;
    return value;
}

std::string DwordBytes(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A key below which the registry refuses to create lasting keys: children of
// a volatile key must be volatile, so applying a new key there fails.
std::wstring MakeVolatileKey(const TestRegKey& test)
{
    PutVolatileKey(test.Sub(L"volatile"));
    return test.Sub(L"volatile");
}

VLRegKey Key(const std::wstring& path)
{
    return VLRegKey(kRegRootCurrentUser, path);
}

// The key tree as the ".reg" writer exports it; empty when the key is gone.
std::string Export(const std::wstring& path)
{
    VLRegKey key = Key(path);
    try {
        ReadRegKeyTree(key);
    } catch (const VLRegException&) {
        return std::string();
    }
    VLBuffer<unsigned char> text;
    VLRegTextWriter writer(text, L"\r\n");
    writer.WriteKey(key);
    return Bytes(text);
}

// ".reg" lines read as a package's registry text; $ stands for the test key.
VLRegKeyList ParseLines(const TestRegKey& test, std::wstring lines)
{
    ReplaceAll(lines, L"$", test.FullName().c_str());
    VLBuffer<unsigned char> bytes;
    SetBytes(bytes, Test::Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n" + lines));
    VLRegParser parser;
    parser.Parse(bytes);
    return parser.keys;
}

// The tree the import tables work on: values of every kind on keys at
// three levels.
void PutTree(const TestRegKey& test)
{
    const unsigned char bytes[] = {1, 0, 0xFF};
    const uint64_t quad = 0x0102030405060708ull;
    const wchar_t multi[] = L"a\0\0b\0";
    PutString(test.Path(), L"v", L"old");
    PutString(test.Path(), L"", L"default");
    PutString(test.Path(), L"e", L"%TEMP%\\x", REG_EXPAND_SZ);
    PutValue(test.Path(), L"m", REG_MULTI_SZ, multi, sizeof(multi));
    PutDword(test.Sub(L"old"), L"a", 1);
    PutValue(test.Sub(L"old"), L"q", REG_QWORD, &quad, sizeof(quad));
    PutValue(test.Sub(L"old"), L"b", REG_BINARY, bytes, sizeof(bytes));
    PutValue(test.Sub(L"old"), L"n", REG_NONE, nullptr, 0);
    PutString(test.Sub(L"old\\sub"), L"c", L"x");
    PutValue(test.Sub(L"old\\sub"), L"s", REG_SZ, nullptr, 0);
    PutValue(test.Sub(L"old\\sub\\leaf"), L"b", REG_BINARY, nullptr, 0);
    PutString(test.Sub(L"old\\sub2"), L"e", L"", REG_EXPAND_SZ);
}

// Records nested as a package's binary registry data may nest them: the
// record at level d + 1 is a subkey record of the last one at level d.
VLRegKey NestFrom(const VLRegKeyList& flat, const std::string& levels, size_t& at)
{
    VLRegKey key = flat[at];
    const char level = levels[at++];
    while (at < flat.size() && levels[at] == level + 1) key.subkeys.push_back(NestFrom(flat, levels, at));
    return key;
}

VLRegKeyList Nest(const VLRegKeyList& flat, const std::string& levels)
{
    VLRegKeyList nested;
    for (size_t at = 0; at < flat.size();) nested.push_back(NestFrom(flat, levels, at));
    return nested;
}

// Gives the key the access list of an SDDL text ("D:" lets no one in).
void SetAccess(const std::wstring& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    RegCloseKey(key);
    LocalFree(descriptor);
}

// What the import rows below overwrite or delete and then fail on: names
// outside ASCII, values no typed form holds, volatile keys (one with a subkey
// of the probe's name), keys with access lists of their own or with class
// names.
void PutTable(const TestRegKey& test)
{
    for (const wchar_t* name : {L"Ärger", L"Жук", L"Ωμέγα", L"ＡＢＣ", L"Val"}) PutString(test.Path(), name, L"old");
    PutString(test.Sub(L"Äste"), L"Blatt", L"1");
    PutString(test.Sub(L"Ελλάδα\\Αθήνα"), L"", L"x");
    PutString(test.Sub(L"ＫＥＹ"), L"ｖ", L"w");
    const std::wstring shapes = test.Sub(L"Shapes");
    PutValue(shapes, L"ff", 0xFF, "\x01\x02", 2);
    PutValue(shapes, L"unknown", 0x12345, "\x03", 1);
    PutValue(shapes, L"multi", REG_MULTI_SZ, L"a\0b", 8);
    PutValue(shapes, L"qword", REG_QWORD, "\x01\x02", 2);
    PutValue(shapes, L"odd", REG_SZ, "a\0b\0c", 5);
    PutValue(shapes, L"empty", REG_SZ, "", 0);
    PutValue(shapes, L"binary", REG_BINARY, "", 0);
    PutValue(shapes, L"dword", REG_DWORD, "\x01\x02\x03", 3);
    PutString(test.Sub(L"A\\L"), L"l", L"1");
    for (const wchar_t* key : {L"Волна", L"A\\V", L"A\\V\\W", L"P", L"P\\VLVolatileProbe"})
        PutVolatileKey(test.Sub(key));
    PutString(test.Sub(L"A\\V"), L"v", L"2");
    PutString(test.Sub(L"K\\C"), L"c", L"1");
    SetAccess(test.Sub(L"K"), L"D:P(A;OICI;KA;;;WD)(A;;KR;;;BU)");
    SetAccess(test.Sub(L"K\\C"), L"D:P(A;;KA;;;WD)(A;;KR;;;SY)");
    PutClassKey(test.Sub(L"Cls"), L"Klasse");
    PutClassKey(test.Sub(L"Cls\\Ünter"), L"Ωclass");
    PutString(test.Sub(L"Cls\\Ünter"), L"u", L"1");
    PutVolatileKey(test.Sub(L"Cls\\Vol"));
}

// ".reg" lines nested by levels, as a package's binary data may; rows with
// subkey records name a key they make and one they remove.
struct ImportRow {
    const wchar_t* lines;
    const char* levels;
    const wchar_t *made = nullptr, *gone = nullptr;
};

const ImportRow kImportRows[] = {
    // Names outside ASCII, written in another case.
    {L"[$]\r\n\"ärger\"=\"new\"\r\n\"жук\"=\"x\"\r\n\"ωμέγα\"=dword:00000001\r\n\"ａｂｃ\"=\"x\"\r\n", "0"},
    {L"[$]\r\n\"ÄRGER\"=-\r\n\"ЖУК\"=-\r\n\"ΩΜΈΓΑ\"=-\r\n\"ａｂｃ\"=-\r\n", "0"},
    {L"[-$\\äSTE]\r\n[-$\\вОЛНА]\r\n[-$\\ελλάδα]\r\n[-$\\ｋｅｙ]\r\n", "0000"},
    {L"[$\\ΕΛΛΆΔΑ]\r\n\"n\"=\"1\"\r\n[-$\\ελλάδα\\ΑΘΉΝΑ]\r\n[$\\ｋｅｙ]\r\n\"Ｖ\"=\"z\"\r\n", "011"},
    // Every shape of value overwritten, deleted, and deleted with its key.
    {L"[$\\shapes]\r\n\"FF\"=\"x\"\r\n\"Unknown\"=\"x\"\r\n\"MULTI\"=\"x\"\r\n\"QWord\"=\"x\"\r\n"
     L"\"ODD\"=\"x\"\r\n\"EMPTY\"=\"x\"\r\n\"BINARY\"=\"x\"\r\n\"DWORD\"=\"x\"\r\n", "0"},
    {L"[$\\SHAPES]\r\n\"ff\"=-\r\n\"unknown\"=-\r\n\"multi\"=-\r\n\"qword\"=-\r\n\"odd\"=-\r\n\"empty\"=-\r\n"
     L"\"binary\"=-\r\n\"dword\"=-\r\n", "0"},
    {L"[-$\\sHAPES]\r\n", "0"},
    // A volatile key's record deletes a lasting key above it; the probe's
    // own name is taken by a key that is there.
    {L"[$\\A\\V]\r\n[-$\\A]\r\n", "01"},
    {L"[$\\A\\V]\r\n\"v\"=\"new\"\r\n[-$\\A]\r\n", "01"},
    {L"[$\\A\\V\\W]\r\n[-$\\A]\r\n", "01"},
    {L"[$\\A\\V]\r\n[$\\A\\V\\W]\r\n[-$\\a]\r\n", "012"},
    {L"[$\\P]\r\n[-$\\P]\r\n", "01"},
    // Keys with their own access lists.
    {L"[-$\\K]\r\n", "0"},
    {L"[-$\\k\\c]\r\n", "0"},
    {L"[$\\K]\r\n[-$\\K]\r\n", "01"},
    // A key deleted and records below it, deletions below a key the import
    // made, and one key written and then deleted by two subkey records.
    {L"[-$\\A\\L]\r\n[$\\F]\r\n\"x\"=\"1\"\r\n", "01", L"F", L"A\\L"},
    {L"[-$\\Ελλάδα]\r\n[$\\Ελλάδα\\G]\r\n\"x\"=\"1\"\r\n", "01", L"Ελλάδα\\G", L"Ελλάδα\\Αθήνα"},
    {L"[-$\\Ghost]\r\n[$\\F]\r\n", "01", L"F", L"Ghost"},
    {L"[$\\N]\r\n[$\\N\\Q]\r\n\"x\"=\"1\"\r\n[-$\\N\\Q]\r\n", "011", L"N", L"N\\Q"},
    {L"[$\\N]\r\n[$\\N\\Q\\R]\r\n[-$\\N\\Q]\r\n[$\\N\\Q]\r\n", "0111", L"N\\Q", L"N\\Q\\R"},
    {L"[$\\A]\r\n[$\\Äste]\r\n\"Blatt\"=\"2\"\r\n[-$\\äste]\r\n", "011", L"A", L"Äste"},
    {L"[$\\N]\r\n[$\\Äste]\r\n\"Blatt\"=\"2\"\r\n[-$\\äste]\r\n", "011", L"N", L"Äste"},
    // Values deleted and set again under another spelling, once or more.
    {L"[$]\r\n\"Val\"=-\r\n\"VAL\"=\"new\"\r\n", "0"},
    {L"[$]\r\n\"ärger\"=-\r\n\"ÄRGER\"=\"new2\"\r\n\"жук\"=-\r\n\"ЖУК\"=-\r\n\"Жук\"=\"x\"\r\n", "0"},
    {L"[$]\r\n\"Val\"=-\r\n\"VAL\"=\"a\"\r\n\"vAL\"=-\r\n\"val\"=\"b\"\r\n", "0"},
    {L"[$\\N]\r\n[-$\\Äste]\r\n[$]\r\n\"VAL\"=-\r\n\"vaL\"=\"new\"\r\n", "011", L"N", L"Äste"},
    // Keys with class names.
    {L"[-$\\cls]\r\n", "0"},
    {L"[$\\Cls]\r\n[-$\\cls\\ÜNTER]\r\n", "01"},
    {L"[-$\\cls\\vol]\r\n", "0"},
};

} // namespace

TEST(RegTransaction, NewTreeAndItsBackupRemovesItWhole)
{
    TestRegKey test;
    VLRegKey key = Key(test.Sub(L"new"));
    key.values.push_back(StringValue(L"", L"default"));
    key.values.push_back(DwordValue(L"n", 7));
    VLRegKey child = Key(test.Sub(L"new\\child"));
    child.values.push_back(StringValue(L"c", L"x"));
    VLRegKey grandchild = Key(test.Sub(L"new\\child\\deeper"));
    grandchild.values.push_back(StringValue(L"g", L"y"));
    child.subkeys.push_back(grandchild);
    key.subkeys.push_back(child);

    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(VLRegKeyList{key}));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Sub(L"new"), L"n", type, bytes));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(bytes, DwordBytes(7));
    ASSERT_TRUE(GetValue(test.Sub(L"new\\child\\deeper"), L"g", type, bytes));
    EXPECT_EQ(bytes, TextBytes(L"y"));

    ASSERT_EQ(transaction.backups.size(), 1u);
    const VLRegKey& backup = transaction.backups[0];
    EXPECT_TRUE(backup.deleteKey);
    EXPECT_EQ(backup.path, test.Sub(L"new"));
    EXPECT_TRUE(backup.values.empty());

    WriteRegKeyTree(backup, true);
    EXPECT_FALSE(KeyExists(test.Sub(L"new")));
    EXPECT_TRUE(KeyExists(test.Path()));
}

TEST(RegTransaction, OverwrittenValuesComeBackWithTheirTypes)
{
    TestRegKey test;
    PutDword(test.Path(), L"typed", 5);
    PutString(test.Path(), L"expand", L"%TEMP%\\x", REG_EXPAND_SZ);
    // Stored without a terminator by some other program: no character of it
    // may be lost on the way through the backup.
    PutValue(test.Path(), L"bare", REG_SZ, L"abc", 6);

    VLRegKey key = Key(test.Path());
    key.values.push_back(StringValue(L"typed", L"now text"));
    key.values.push_back(DwordValue(L"expand", 1));
    key.values.push_back(StringValue(L"bare", L"replaced"));
    key.values.push_back(StringValue(L"fresh", L"new"));
    VLRegValue absent(REG_SZ, L"absent");
    absent.deleteValue = true;
    key.values.push_back(absent);

    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(VLRegKeyList{key}));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Path(), L"typed", type, bytes));
    EXPECT_EQ(type, DWORD(REG_SZ));

    const VLRegKey& backup = transaction.backups[0];
    EXPECT_FALSE(backup.deleteKey);
    ASSERT_EQ(backup.values.size(), 5u);
    EXPECT_EQ(backup.values[0].type, uint32_t(REG_DWORD));
    EXPECT_EQ(backup.values[0].dwordValue, 5u);
    EXPECT_EQ(backup.values[1].type, uint32_t(REG_EXPAND_SZ));
    EXPECT_EQ(backup.values[2].text, L"abc");
    EXPECT_TRUE(backup.values[3].deleteValue);
    EXPECT_EQ(backup.values[3].name, L"fresh");
    EXPECT_TRUE(backup.values[4].deleteValue);

    WriteRegKeyTree(backup, true);
    ASSERT_TRUE(GetValue(test.Path(), L"typed", type, bytes));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(bytes, DwordBytes(5));
    ASSERT_TRUE(GetValue(test.Path(), L"expand", type, bytes));
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(bytes, TextBytes(L"%TEMP%\\x"));
    ASSERT_TRUE(GetValue(test.Path(), L"bare", type, bytes));
    EXPECT_EQ(bytes.substr(0, 6), std::string("a\0b\0c\0", 6));
    EXPECT_FALSE(GetValue(test.Path(), L"fresh", type, bytes));
}

TEST(RegTransaction, DeletingKeys)
{
    TestRegKey test;
    PutString(test.Sub(L"old"), L"a", L"1");
    PutDword(test.Sub(L"old"), L"b", 2);
    PutString(test.Sub(L"old\\sub"), L"c", L"3");

    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(VLRegKeyList{VLRegKey::FromName(L"-" + test.FullName() + L"\\old"),
                                               VLRegKey::FromName(L"-" + test.FullName() + L"\\none")}));
    EXPECT_FALSE(KeyExists(test.Sub(L"old")));
    EXPECT_TRUE(KeyExists(test.Path()));

    ASSERT_EQ(transaction.backups.size(), 2u);
    const VLRegKey& backup = transaction.backups[0];
    EXPECT_FALSE(backup.deleteKey);
    EXPECT_EQ(backup.values.size(), 2u);
    ASSERT_EQ(backup.subkeys.size(), 1u);
    EXPECT_EQ(backup.subkeys[0].path, test.Sub(L"old\\sub"));
    // A key that did not exist is restored by its absence.
    const VLRegKey& none = transaction.backups[1];
    EXPECT_EQ(none.path, test.Sub(L"none"));
    EXPECT_TRUE(none.deleteKey);
    EXPECT_TRUE(none.values.empty());
    EXPECT_FALSE(KeyExists(test.Sub(L"none")));
    WriteRegKeyTree(none, true);
    EXPECT_FALSE(KeyExists(test.Sub(L"none")));

    WriteRegKeyTree(backup, true);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Sub(L"old"), L"b", type, bytes));
    EXPECT_EQ(bytes, DwordBytes(2));
    ASSERT_TRUE(GetValue(test.Sub(L"old\\sub"), L"c", type, bytes));
    EXPECT_EQ(bytes, TextBytes(L"3"));
}

TEST(RegTransaction, FailureAtTheThirdKeyRollsBackInReverse)
{
    TestRegKey test;
    const std::wstring volatileKey = MakeVolatileKey(test);
    PutDword(test.Path(), L"v", 0);

    VLRegKey first = Key(test.Path());
    first.values.push_back(DwordValue(L"v", 1));
    VLRegKey second = Key(test.Path());
    second.values.push_back(DwordValue(L"v", 2));
    VLRegKey created = Key(test.Sub(L"made"));
    second.subkeys.push_back(created);
    VLRegKey third = Key(volatileKey + L"\\lasting");

    VLRegTransaction transaction;
    EXPECT_FALSE(transaction.Apply(VLRegKeyList{first, second, third}));
    // Written back second first: v is 1 after it and 0 after the first.
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Path(), L"v", type, bytes));
    EXPECT_EQ(bytes, DwordBytes(0));
    EXPECT_FALSE(KeyExists(test.Sub(L"made")));

    const VLRegException error = transaction.GetLastError();
    EXPECT_EQ(error.errorCode, uint32_t(ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_TRUE(error.openFailed);
    EXPECT_EQ(error.keyName, test.FullName() + L"\\volatile\\lasting");
    EXPECT_EQ(error.valueName, L"");
    EXPECT_STREQ(error.what(), "Operate registry failed");
    EXPECT_STREQ(VLRegException().what(), "Operate registry failed");
}

TEST(RegTransaction, TheFailingKeyIsRolledBackAsFarAsItGot)
{
    TestRegKey test;
    const std::wstring volatileKey = MakeVolatileKey(test);
    PutString(test.Sub(L"k"), L"keep", L"old");

    // An existing key: its subkeys are applied first, the first one works and
    // the second fails.
    VLRegKey key = Key(test.Sub(L"k"));
    key.subkeys.push_back(Key(test.Sub(L"k\\made")));
    key.subkeys.push_back(Key(volatileKey + L"\\lasting"));
    key.values.push_back(StringValue(L"keep", L"new"));
    // A new key: its own subtree fails half-way through, after a key
    // elsewhere that its record names was deleted.
    PutString(test.Sub(L"elsewhere\\below"), L"e", L"kept");
    VLRegKey fresh = Key(test.Sub(L"fresh"));
    fresh.values.push_back(StringValue(L"a", L"1"));
    fresh.subkeys.push_back(Key(test.Sub(L"fresh\\one")));
    fresh.subkeys.push_back(VLRegKey::FromName(L"-" + test.FullName() + L"\\elsewhere"));
    fresh.subkeys.push_back(Key(volatileKey + L"\\lasting"));

    for (const VLRegKey& failing : {key, fresh}) {
        VLRegTransaction transaction;
        EXPECT_FALSE(transaction.Apply(VLRegKeyList{failing}));
        EXPECT_FALSE(KeyExists(test.Sub(L"k\\made")));
        EXPECT_FALSE(KeyExists(test.Sub(L"fresh")));
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(GetValue(test.Sub(L"k"), L"keep", type, bytes));
        EXPECT_EQ(bytes, TextBytes(L"old"));
        EXPECT_TRUE(GetValue(test.Sub(L"elsewhere\\below"), L"e", type, bytes));
    }
}

TEST(RegTransaction, ValueNamesMatchWithoutRegardToCase)
{
    TestRegKey test;
    const std::wstring volatileKey = MakeVolatileKey(test);
    PutString(test.Path(), L"Path", L"C:\\orig", REG_EXPAND_SZ);

    VLRegKey key = Key(test.Path());
    key.values.push_back(StringValue(L"path", L"C:\\new"));
    VLRegTransaction applied;
    ASSERT_TRUE(applied.Apply(VLRegKeyList{key}));
    ASSERT_EQ(applied.backups[0].values.size(), 1u);
    EXPECT_EQ(applied.backups[0].values[0].name, L"Path");
    EXPECT_FALSE(applied.backups[0].values[0].deleteValue);
    EXPECT_EQ(applied.backups[0].values[0].type, uint32_t(REG_EXPAND_SZ));

    // The same apply failing later: the original comes back instead of being deleted.
    WriteRegKeyTree(applied.backups[0], true);
    VLRegTransaction failed;
    EXPECT_FALSE(failed.Apply(VLRegKeyList{key, Key(volatileKey + L"\\lasting")}));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Path(), L"Path", type, bytes));
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(bytes, TextBytes(L"C:\\orig"));
}

TEST(RegTransaction, AValueOfAnyShapeIsBackedUpAndOverwritten)
{
    TestRegKey test;
    PutValue(test.Path(), L"odd", REG_DWORD, "abc", 3);
    PutString(test.Path(), L"first", L"old");

    VLRegKey key = Key(test.Path());
    key.values.push_back(StringValue(L"first", L"new"));
    key.values.push_back(StringValue(L"odd", L"text"));
    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(VLRegKeyList{key}));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(test.Path(), L"odd", type, bytes));
    EXPECT_EQ(bytes, TextBytes(L"text"));

    WriteRegKeyTree(transaction.backups[0], true);
    ASSERT_TRUE(GetValue(test.Path(), L"odd", type, bytes));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(bytes, "abc");
    ASSERT_TRUE(GetValue(test.Path(), L"first", type, bytes));
    EXPECT_EQ(bytes, TextBytes(L"old"));
}

TEST(RegTransaction, NothingHappensAtARootOrAnUnknownRoot)
{
    TestRegKey test;
    const std::wstring marker = L"VLTestMarker-" + std::to_wstring(GetCurrentProcessId());

    VLRegParser parser;
    std::wstring text = L"Windows Registry Editor Version 5.00\r\n"
                        L"[HKEY_CLASSES_ROOT\\VLTest]\r\n\"" + marker + L"\"=\"x\"\r\n"
                        L"[-HKEY_CLASSES_ROOT\\VLTestNone]\r\n"
                        L"[HKEY_USERSX\\y]\r\n\"" + marker + L"\"=\"y\"\r\n"
                        L"[" + test.FullName() + L"]\r\n\"kept\"=\"z\"\r\n";
    VLBuffer<unsigned char> bytes;
    VLTextWriter(bytes, L"\r\n").Write(text, false);
    parser.Parse(bytes);

    // Keys built by other callers at a bare root, or with a root outside the table.
    VLRegKey atRoot(kRegRootCurrentUser, L"");
    atRoot.values.push_back(StringValue(marker, L"root"));
    VLRegKey classes(0x80000000, test.Path());
    classes.values.push_back(StringValue(marker, L"classes"));
    VLRegKeyList keys = parser.keys;
    keys.push_back(atRoot);
    keys.push_back(classes);

    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(keys));
    EXPECT_TRUE(KeyExists(L"Software"));
    DWORD type = 0;
    std::string value;
    EXPECT_FALSE(GetValue(L"", marker, type, value));
    EXPECT_FALSE(GetValue(test.Path(), marker, type, value));
    EXPECT_TRUE(GetValue(test.Path(), L"kept", type, value));
    for (const VLRegKey& backup : transaction.backups) WriteRegKeyTree(backup, true);
    EXPECT_TRUE(KeyExists(L"Software"));
    EXPECT_FALSE(GetValue(test.Path(), L"kept", type, value));

    VLRegKey rootRead(kRegRootCurrentUser, L"");
    EXPECT_THROW(ReadRegKeyTree(rootRead), VLRegException);
    EXPECT_TRUE(rootRead.subkeys.empty());
}

TEST(RegTransaction, ReadTreeThrowsForAMissingKey)
{
    TestRegKey test;
    VLRegKey missing = Key(test.Sub(L"absent"));
    try {
        ReadRegKeyTree(missing);
        ADD_FAILURE() << "a missing key was read";
    } catch (const VLRegException& error) {
        EXPECT_EQ(error.errorCode, uint32_t(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(error.openFailed);
        EXPECT_EQ(error.keyName, test.FullName() + L"\\absent");
    }
}

TEST(RegTransaction, AFailedImportLeavesTheTreeExactlyAsItWas)
{
    // Each import ends with a key that fails: below the volatile key, or
    // where # or % stands, a key name or value name the registry refuses.
    const wchar_t* const cases[] = {
        L"[$]\r\n\"v\"=\"1\"\r\n\"v\"=\"2\"\r\n",
        L"[$]\r\n\"v\"=\"1\"\r\n[$]\r\n\"v\"=\"2\"\r\n",
        L"[$]\r\n\"new\"=\"1\"\r\n\"NEW\"=dword:00000002\r\n",
        L"[$]\r\n\"v\"=\"1\"\r\n\"v\"=-\r\n",
        L"[$]\r\n\"v\"=\"1\"\r\n[$]\r\n\"v\"=-\r\n",
        L"[$]\r\n\"v\"=-\r\n\"v\"=\"1\"\r\n",
        L"[$]\r\n\"v\"=-\r\n[$]\r\n\"v\"=\"1\"\r\n",
        L"[$\\new1\\new2\\new3]\r\n\"x\"=\"1\"\r\n[$\\old\\new4\\new5]\r\n",
        L"[-$\\ghost]\r\n[-$\\ghost\\deeper]\r\n[-$\\old\\ghost]\r\n",
        L"[-$\\old]\r\n[$\\old]\r\n\"a\"=dword:00000002\r\n",
        L"[$\\old]\r\n\"a\"=dword:00000002\r\n[-$\\old]\r\n",
        L"[$\\made]\r\n\"x\"=\"1\"\r\n[-$\\made]\r\n[$\\made\\again]\r\n",
        // The deleted key comes back as the parent of a key written below it.
        L"[-$\\old]\r\n[$\\old\\new]\r\n\"x\"=\"1\"\r\n",
        L"[-$\\old]\r\n[$\\old\\sub\\new]\r\n\"c\"=\"y\"\r\n[$\\old\\sub]\r\n\"c\"=\"z\"\r\n",
        L"[-$\\old\\sub]\r\n[-$\\old]\r\n[$\\old\\sub\\leaf\\new]\r\n",
        L"[-$\\old]\r\n[$\\old\\x]\r\n[-$\\old]\r\n[$\\old\\y\\z]\r\n",
        L"[-$]\r\n[$\\old\\new]\r\n\"x\"=\"1\"\r\n[$\\ghost\\#]\r\n",
        // The key that fails is itself below the deleted key.
        L"[-$]\r\n[$\\#]\r\n",
        L"[-$\\old]\r\n[$\\old\\#]\r\n",
        L"[-$\\old\\sub]\r\n[-$\\old]\r\n[-$\\old]\r\n[$\\old\\sub\\#]\r\n",
        // Deleted after the import changed or created keys below it.
        L"[$\\old\\sub]\r\n\"c\"=\"y\"\r\n\"d\"=\"1\"\r\n[-$\\old]\r\n",
        L"[$\\old\\new\\deeper]\r\n[-$\\old]\r\n[$\\old\\new]\r\n",
        L"[$\\old\\sub]\r\n\"c\"=\"y\"\r\n[-$\\old\\sub]\r\n[-$]\r\n[$\\#]\r\n",
        // Deleted under another spelling, it comes back under its own.
        L"[-$\\OLD]\r\n[$\\Old\\New]\r\n",
        // Refused names below keys that exist.
        L"[$\\old\\#]\r\n",
        L"[-$\\old\\sub]\r\n[$\\old\\#]\r\n",
        L"[$\\old]\r\n\"%\"=\"1\"\r\n",
        L"[-$\\old\\sub]\r\n[$\\old\\sub2]\r\n\"a\"=\"1\"\r\n\"%\"=dword:00000001\r\n",
    };
    for (const wchar_t* row : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row)));
        TestRegKey test;
        MakeVolatileKey(test);
        PutTree(test);
        const std::string before = Export(test.Path());

        std::wstring lines = row;
        const bool tooLong = lines.find_first_of(L"#%") != std::wstring::npos;
        ReplaceAll(lines, L"#", std::wstring(300, L'x').c_str());
        ReplaceAll(lines, L"%", std::wstring(16384, L'v').c_str());
        if (!tooLong) lines += L"[$\\volatile\\lasting]\r\n\"x\"=\"1\"\r\n";
        VLRegTransaction transaction;
        EXPECT_FALSE(transaction.Apply(ParseLines(test, lines)));
        EXPECT_EQ(transaction.GetLastError().errorCode,
                  uint32_t(tooLong ? ERROR_INVALID_PARAMETER : ERROR_CHILD_MUST_BE_VOLATILE));
        EXPECT_TRUE(transaction.IsRolledBack());
        EXPECT_EQ(Export(test.Path()), before);
    }
}

TEST(RegTransaction, DeletingAndMakingAgainStillApplyAndUndo)
{
    const struct {
        const wchar_t* lines;
        bool oldRemains;
    } cases[] = {
        {L"[-$\\old]\r\n[-$\\ghost]\r\n", false},
        {L"[-$\\old]\r\n[$\\old]\r\n\"a\"=dword:00000002\r\n", true},
        {L"[-$\\old]\r\n[$\\old\\sub]\r\n\"c\"=\"y\"\r\n", true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.lines)));
        TestRegKey test;
        PutTree(test);
        const std::string before = Export(test.Path());

        VLRegTransaction transaction;
        ASSERT_TRUE(transaction.Apply(ParseLines(test, row.lines)));
        EXPECT_EQ(KeyExists(test.Sub(L"old")), row.oldRemains);
        EXPECT_FALSE(KeyExists(test.Sub(L"old\\sub\\leaf")));
        DWORD type = 0;
        std::string bytes;
        EXPECT_FALSE(GetValue(test.Sub(L"old"), L"q", type, bytes));
        // An uninstall writes the backups back newest first.
        for (auto backup = transaction.backups.rbegin(); backup != transaction.backups.rend(); ++backup)
            WriteRegKeyTree(*backup, true);
        EXPECT_EQ(Export(test.Path()), before);
    }
}

// A chain of keys deeper than any recursion of the thread's stack would
// survive: deleted by an import that then fails, it comes back whole.
TEST(RegTransaction, ADeepChainComesBackWhole)
{
    TestRegKey test;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, test.Sub(L"deep").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    for (DWORD level = 0; level < 1500; ++level) {
        RegSetValueExW(key, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof(level));
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExW(key, L"a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
        key = child;
    }
    RegCloseKey(key);
    const std::string before = Export(test.Path());

    VLRegTransaction transaction;
    EXPECT_FALSE(transaction.Apply(ParseLines(test, L"[-$\\deep]\r\n[$\\deep\\" + std::wstring(300, L'x') + L"]\r\n")));
    EXPECT_TRUE(transaction.IsRolledBack());
    EXPECT_EQ(Export(test.Path()), before);
}

TEST(RegTransaction, AVolatileKeyComesBackVolatile)
{
    TestRegKey test;
    const std::wstring volatileKey = MakeVolatileKey(test);
    PutVolatileKey(volatileKey + L"\\gone");
    PutString(volatileKey + L"\\gone", L"c", L"x");
    PutString(test.Path(), L"v", L"old");
    const std::string before = Export(test.Path());

    // A lasting key may not be made below a volatile one: the deleted key
    // comes back only when it comes back volatile, and so it does with its
    // volatile parent.
    HKEY child = nullptr;
    for (const wchar_t* deleted : {L"volatile\\gone", L"volatile"}) {
        VLRegTransaction transaction;
        EXPECT_FALSE(transaction.Apply(ParseLines(test, L"[$]\r\n\"v\"=\"new\"\r\n[-$\\" + std::wstring(deleted) +
                                                        L"]\r\n[$\\" + std::wstring(300, L'x') + L"]\r\n")));
        EXPECT_TRUE(transaction.IsRolledBack());
        EXPECT_EQ(Export(test.Path()), before);
        EXPECT_NE(RegCreateKeyExW(HKEY_CURRENT_USER, (volatileKey + L"\\gone\\lasting").c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
    }
}

TEST(RegTransaction, AReplayedNewKeyPutsBackTheKeysItsRecordDeleted)
{
    TestRegKey test;
    PutTree(test);
    const std::string before = Export(test.Path());
    VLRegTransaction transaction;
    ASSERT_TRUE(transaction.Apply(Nest(ParseLines(test, L"[$\\new]\r\n[-$\\old\\sub]\r\n"), "01")));
    EXPECT_FALSE(KeyExists(test.Sub(L"old\\sub")));
    WriteRegKeyTree(transaction.backups[0], true);
    EXPECT_EQ(Export(test.Path()), before);
}

TEST(RegTransaction, NestedRecordsLeaveTheTreeExactlyAsItWas)
{
    // Records and their levels; each import, nested and flat, ends with a
    // key that fails.
    const struct {
        const wchar_t* lines;
        const char* levels;
    } cases[] = {
        {L"[$\\old]\r\n[-$\\old\\sub]\r\n[-$\\old]\r\n[$\\old\\new]\r\n\"x\"=\"1\"\r\n", "0111"},
        {L"[$\\old\\sub]\r\n\"c\"=\"y\"\r\n[-$\\old]\r\n[$\\old\\sub\\new]\r\n", "011"},
        // Under another spelling, the key itself or an ancestor.
        {L"[$\\Old\\Sub]\r\n[-$\\Old\\Sub]\r\n", "01"},
        {L"[$\\OLD\\sub]\r\n\"c\"=\"z\"\r\n[-$\\Old]\r\n", "01"},
        {L"[$\\old]\r\n\"a\"=dword:00000009\r\n[$\\old\\sub]\r\n\"c\"=\"z\"\r\n[-$\\old]\r\n"
         L"[$\\old\\sub\\leaf\\x]\r\n\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n",
         "0122"},
        // Deletes across records.
        {L"[$\\old\\sub2]\r\n[-$\\old\\sub]\r\n[$\\old]\r\n\"a\"=dword:00000003\r\n[-$\\old\\sub2]\r\n"
         L"[$\\old\\sub\\y]\r\n",
         "01011"},
        // A record deleting its own key, which has values to write.
        {L"[$\\old\\sub]\r\n\"c\"=\"new\"\r\n[-$\\old\\sub]\r\n", "01"},
        {L"[$\\old]\r\n\"b\"=hex:02\r\n[-$\\old]\r\n[$\\old\\sub]\r\n\"c\"=\"w\"\r\n", "011"},
        {L"[$\\fresh]\r\n\"x\"=\"1\"\r\n[-$\\fresh]\r\n[$\\fresh\\y]\r\n", "011"},
    };
    for (const auto& row : cases) {
        for (const bool nested : {true, false}) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(row.lines)) + (nested ? " nested" : " flat"));
            TestRegKey test;
            MakeVolatileKey(test);
            PutTree(test);
            const std::string before = Export(test.Path());

            const VLRegKeyList records = ParseLines(test, row.lines);
            VLRegKeyList keys = nested ? Nest(records, row.levels) : records;
            keys.push_back(Key(test.Sub(L"volatile\\lasting")));
            VLRegTransaction transaction;
            EXPECT_FALSE(transaction.Apply(keys));
            EXPECT_EQ(transaction.GetLastError().errorCode, uint32_t(ERROR_CHILD_MUST_BE_VOLATILE));
            EXPECT_TRUE(transaction.IsRolledBack());
            EXPECT_EQ(Export(test.Path()), before);
        }
    }
}

TEST(RegTransaction, EveryRollbackStepIsTriedAndAFailedOneReported)
{
    TestRegKey test;
    PutTree(test);
    VLRegTransaction applied;
    ASSERT_TRUE(applied.Apply(ParseLines(test, L"[$\\made]\r\n[$\\old]\r\n\"a\"=dword:00000007\r\n")));
    // What the installer script did after the import: the old value cannot
    // be written back, nor the made key removed with a key below it that may
    // not be listed. Both are tried; the first failure is reported.
    PutString(test.Sub(L"made\\hidden\\below"), L"h", L"1");
    SetAccess(test.Sub(L"old"), L"D:(A;;KR;;;WD)");
    SetAccess(test.Sub(L"made\\hidden"), L"D:");
    EXPECT_FALSE(applied.Rollback());
    EXPECT_FALSE(applied.IsRolledBack());
    const VLRegException undo = applied.GetRollbackError();
    EXPECT_EQ(undo.errorCode, uint32_t(ERROR_ACCESS_DENIED));
    EXPECT_EQ(undo.keyName, test.FullName() + L"\\old");
    EXPECT_TRUE(KeyExists(test.Sub(L"made")));
    SetAccess(test.Sub(L"old"), L"D:(A;;KA;;;WD)");
    SetAccess(test.Sub(L"made\\hidden"), L"D:(A;;KA;;;WD)");
}

// Each row, followed by a key the registry refuses, fails as nested key
// records and as a package's ".reg" text; a row with subkey records also
// succeeds, and its backups replayed newest first as an uninstall reads them.
// Each leaves the tree exactly as it was.
TEST(RegTransaction, AFailedImportOrAReplayedBackupPutsBackEveryNameByteVolatilityAndAccessList)
{
    Velora::Test::TestFolder folder;
    for (const ImportRow& row : kImportRows) {
        for (const std::string how : {"nested", "in a package", "replayed"}) {
            if (how == "replayed" && !row.made) continue;
            SCOPED_TRACE(testing::PrintToString(std::wstring(row.lines)) + how);
            TestRegKey test;
            PutTable(test);
            const std::wstring before = Snapshot(test.Path());
            std::wstring lines = row.lines + std::wstring(L"[$\\") + std::wstring(300, L'x') + L"]\r\n";
            VLRegTransaction transaction;
            if (how == "nested") {
                EXPECT_FALSE(transaction.Apply(Nest(ParseLines(test, lines), std::string(row.levels) + "0")));
                EXPECT_TRUE(transaction.IsRolledBack());
            } else if (how == "in a package") {
                ReplaceAll(lines, L"$", test.FullName().c_str());
                Velora::Test::PackageWriter writer;
                writer.root.Add(Velora::Test::File(L"##reg##.reg", Velora::Test::Utf16File(L"REGEDIT4\r\n" + lines)));
                ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
                VLSfxInstall install(folder / L"p.vlz");
                ASSERT_TRUE(install.Open());
                EXPECT_FALSE(install.Install(folder / L"app"));
            } else {
                ASSERT_TRUE(transaction.Apply(Nest(ParseLines(test, row.lines), row.levels)));
                EXPECT_TRUE(KeyExists(test.Sub(row.made)));
                EXPECT_FALSE(KeyExists(test.Sub(row.gone)));
                VLBuffer<unsigned char> record;
                SerializeRegKeys(transaction.backups, record);
                VLRegKeyList stored;
                ASSERT_TRUE(DeserializeRegKeys(record, stored));
                for (auto backup = stored.rbegin(); backup != stored.rend(); ++backup) WriteRegKeyTree(*backup, true);
            }
            EXPECT_EQ(Snapshot(test.Path()), before);
        }
    }
}

// A subkey the import may not read is not deleted, as it could not come back.
// Keys it may read and delete but not make subkeys in are deleted and come
// back volatile below a volatile key, else lasting: nothing else tells.
TEST(RegTransaction, AKeyItMayNotReadIsNotDeletedOneItMayNotMakeKeysBelowIs)
{
    const struct {
        const wchar_t *key, *access;
        bool isVolatile, deleted, comesBackLasting;
    } rows[] = {{L"K\\S", L"D:", true, false, false},
                {L"K", L"D:(A;;KRSDWD;;;WD)", true, true, true},
                {L"K\\S", L"D:P(A;;KRSD;;;WD)", true, true, false},
                {L"K\\S", L"D:P(A;;KRSD;;;WD)", false, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.key) + row.access) + (row.isVolatile ? " volatile" : ""));
        TestRegKey test;
        for (const wchar_t* key : {L"K", L"K\\S"}) {
            if (row.isVolatile) PutVolatileKey(test.Sub(key));
            PutString(test.Sub(key), L"v", L"1");
        }
        SetAccess(test.Sub(row.key), row.access);
        std::wstring before = Snapshot(test.Path());
        if (row.comesBackLasting) ReplaceAll(before, L"\\K volatile ", L"\\K ");
        VLRegTransaction transaction;
        EXPECT_EQ(transaction.Apply(ParseLines(test, L"[-$\\K]\r\n")), row.deleted);
        EXPECT_EQ(KeyExists(test.Sub(L"K")), !row.deleted);
        if (row.deleted) EXPECT_TRUE(transaction.Rollback());
        else EXPECT_EQ(transaction.GetLastError().errorCode, uint32_t(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(transaction.IsRolledBack());
        EXPECT_EQ(Snapshot(test.Path()), before);
        SetAccess(test.Sub(row.key), L"D:(A;;KA;;;WD)");
    }
}

TEST(RegTransaction, AVolatileKeyIsMadeBelowLastingOnes)
{
    TestRegKey test;
    VLRegKey key = Key(test.Sub(L"made\\volatile"));
    key.volatileKey = true;
    WriteRegKeyTree(key, true);
    EXPECT_TRUE(IsVolatileKey(test.Sub(L"made\\volatile")));
    EXPECT_FALSE(IsVolatileKey(test.Sub(L"made")));
}
