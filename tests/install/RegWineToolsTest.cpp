// The reader, the writer and reg-probe checked against the system's own
// registry programs: regedit exports what we read, imports what we write, and
// reg query sees what we apply.
#include "base/Handles.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"
#include "install/RegParser.h"
#include "install/RegTextWriter.h"
#include "install/RegTransaction.h"
#include "tests/install/TestRegKey.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace Velora;
using Velora::Test::TestFolder;
using Velora::Test::WriteFileBytes;

namespace {

constexpr DWORD kNotRun = 0xFFFFFFFF;

std::wstring ReadOutput(const std::wstring& path);

// Runs a program and waits for it, at most a minute. The exit code, or kNotRun.
DWORD RunProgram(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring mutableLine = commandLine;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return kNotRun;
    }
    VLHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 5000);
        return kNotRun;
    }
    DWORD code = kNotRun;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

// reg query through the command interpreter, which puts its output in a file.
std::wstring RegQuery(const std::wstring& key, const std::wstring& value, const std::wstring& file)
{
    const DWORD code = RunProgram(L"C:\\windows\\system32\\cmd.exe /c \"reg.exe query \"" + key +
                                  L"\" /v \"" + value + L"\" > \"" + file + L"\"\"");
    EXPECT_EQ(code, 0u);
    return ReadOutput(file);
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

std::wstring RegProbe()
{
    std::wstring path = L"Z:" + ToWide(VL_REG_PROBE_PATH);
    ReplaceChar(path, L'/', L'\\');
    return Quoted(path);
}

// Program output as text, whether the program wrote UTF-16 or narrow text.
std::wstring ReadOutput(const std::wstring& path)
{
    VLBuffer<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes)) return std::wstring();
    if (bytes.size >= 2 && bytes.data[1] == 0) {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data), bytes.size / 2);
    }
    return ToWideString(std::string(reinterpret_cast<const char*>(bytes.data), bytes.size));
}

std::map<std::wstring, const VLRegValue*> ByName(const VLRegKey& key)
{
    std::map<std::wstring, const VLRegValue*> values;
    for (const VLRegValue& value : key.values) values[value.name] = &value;
    return values;
}

// The registry's values of the key at path equal the record's, type and bytes.
void ExpectRegistryHolds(const VLRegKey& expected)
{
    SCOPED_TRACE(testing::PrintToString(expected.path));
    VLRegKey live(expected.root, expected.path);
    ASSERT_NO_THROW(ReadRegKeyTree(live));
    const auto liveValues = ByName(live);
    ASSERT_EQ(liveValues.size(), expected.values.size());
    for (const VLRegValue& value : expected.values) {
        const auto found = liveValues.find(value.name);
        ASSERT_NE(found, liveValues.end()) << testing::PrintToString(value.name);
        EXPECT_EQ(found->second->type, value.type) << testing::PrintToString(value.name);
        EXPECT_EQ(RawBytes(*found->second), RawBytes(value)) << testing::PrintToString(value.name);
    }
    ASSERT_EQ(live.subkeys.size(), expected.subkeys.size());
    for (const VLRegKey& subkey : expected.subkeys) ExpectRegistryHolds(subkey);
}

VLRegValue Typed(uint32_t type, const std::wstring& name, const std::string& raw)
{
    VLRegValue value(type, name);
    value.SetRawData(reinterpret_cast<const unsigned char*>(raw.data()), uint32_t(raw.size()));
    return value;
}

// A tree with a value of every common kind, a long binary value and odd names.
VLRegKey SampleTree(const std::wstring& path)
{
    VLRegKey key(kRegRootCurrentUser, path);
    VLRegValue byDefault(REG_SZ);
    byDefault.text = L"default";
    key.values.push_back(byDefault);
    VLRegValue odd(REG_SZ, L"say \"hi\" \\");
    odd.text = L"C:\\dir\\ \"quoted\"";
    key.values.push_back(odd);
    VLRegValue dword(REG_DWORD, L"n");
    dword.dwordValue = 31;
    key.values.push_back(dword);
    std::string long_bytes;
    for (int i = 0; i < 100; ++i) long_bytes += char(i * 7);
    key.values.push_back(Typed(REG_BINARY, L"binary", long_bytes));
    VLRegValue multi(REG_MULTI_SZ, L"multi");
    multi.multiStrings = {L"a", L"bc"};
    key.values.push_back(multi);
    VLRegValue qword(REG_QWORD, L"qword");
    qword.qwordValue = 0x0102030405060708ull;
    key.values.push_back(qword);
    VLRegValue chinese(REG_SZ, L"\x4E2D");
    chinese.text = L"\x6587";
    key.values.push_back(chinese);
    VLRegKey child(kRegRootCurrentUser, path + L"\\sub key");
    VLRegValue inner(REG_SZ, L"v");
    inner.text = L"inner";
    child.values.push_back(inner);
    key.subkeys.push_back(child);
    return key;
}

void WriteTextFile(const std::wstring& path, const VLRegKeyList& keys)
{
    VLBuffer<unsigned char> text;
    VLRegTextWriter writer(text, L"\r\n");
    for (const VLRegKey& key : keys) writer.WriteKey(key);
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text)));
}

} // namespace

TEST(RegWineTools, RegeditExportReadsBackIntoTheSameKeys)
{
    TestRegKey test;
    TestFolder folder;
    const VLRegKey tree = SampleTree(test.Sub(L"exported"));
    WriteRegKeyTree(tree, true);
    PutString(test.Sub(L"exported"), L"expand", L"%TEMP%\\x", REG_EXPAND_SZ);

    const std::wstring file = folder / L"file.reg";
    ASSERT_EQ(RunProgram(L"C:\\windows\\regedit.exe /E " + Quoted(file) + L" " +
                  Quoted(test.FullName() + L"\\exported")),
              0u);
    VLRegParser parser;
    ASSERT_NO_THROW(parser.LoadFile(file));
    ASSERT_EQ(parser.keys.size(), 2u);
    EXPECT_EQ(parser.keys[0].path, test.Sub(L"exported"));
    EXPECT_EQ(parser.keys[1].path, test.Sub(L"exported\\sub key"));

    for (const VLRegKey& read : parser.keys) {
        VLRegKey live(kRegRootCurrentUser, read.path);
        ReadRegKeyTree(live);
        const auto readValues = ByName(read);
        ASSERT_EQ(readValues.size(), live.values.size()) << testing::PrintToString(read.path);
        for (const VLRegValue& value : live.values) {
            SCOPED_TRACE(testing::PrintToString(value.name));
            const auto found = readValues.find(value.name);
            ASSERT_NE(found, readValues.end());
            EXPECT_EQ(found->second->type, value.type);
            if (value.type == REG_EXPAND_SZ) {
                // hex(2) text keeps the terminator its bytes carry.
                EXPECT_EQ(found->second->text, value.text + L'\0');
            } else {
                EXPECT_EQ(RawBytes(*found->second), RawBytes(value));
            }
        }
    }
}

TEST(RegWineTools, WriterOutputImportsWithRegedit)
{
    TestRegKey test;
    TestFolder folder;
    VLRegKey tree = SampleTree(test.Sub(L"imported"));
    VLRegValue expand(REG_EXPAND_SZ, L"expand");
    expand.text = L"%TEMP%\\x";
    tree.values.push_back(expand);
    tree.values.push_back(Typed(REG_NONE, L"none", "\x01\x02"));

    const std::wstring file = folder / L"file.reg";
    WriteTextFile(file, VLRegKeyList{tree});
    ASSERT_EQ(RunProgram(L"C:\\windows\\regedit.exe /S " + Quoted(file)), 0u);
    ExpectRegistryHolds(tree);

    const std::wstring output = folder / L"output.txt";
    const std::wstring listing = RegQuery(L"HKCU\\" + test.Sub(L"imported"), L"n", output);
    EXPECT_NE(listing.find(L"REG_DWORD"), std::wstring::npos) << testing::PrintToString(listing);
    EXPECT_NE(listing.find(L"0x1f"), std::wstring::npos) << testing::PrintToString(listing);
}

TEST(RegWineTools, RegProbeImportsAndExports)
{
    TestRegKey test;
    TestFolder folder;
    const VLRegKey tree = SampleTree(test.Sub(L"probe"));
    const std::wstring input = folder / L"input.reg";
    WriteTextFile(input, VLRegKeyList{tree});

    EXPECT_EQ(RunProgram(RegProbe() + L" import " + Quoted(input)), 0u);
    ExpectRegistryHolds(tree);
    const std::wstring output = folder / L"output.txt";
    EXPECT_NE(RegQuery(L"HKCU\\" + test.Sub(L"probe\\sub key"), L"v", output).find(L"inner"),
              std::wstring::npos);

    const std::wstring exported = folder / L"exported.reg";
    ASSERT_EQ(RunProgram(RegProbe() + L" export " + Quoted(test.FullName() + L"\\probe") + L" " +
                  Quoted(exported)),
              0u);
    VLRegParser parser;
    ASSERT_NO_THROW(parser.LoadFile(exported));
    ASSERT_EQ(parser.keys.size(), 2u);
    EXPECT_EQ(ByName(parser.keys[0]).size(), tree.values.size());
    EXPECT_EQ(parser.keys[1].path, test.Sub(L"probe\\sub key"));
}

TEST(RegWineTools, RegProbeRollsBackAFailedImport)
{
    TestRegKey test;
    TestFolder folder;
    PutVolatileKey(test.Sub(L"volatile"));

    VLRegKey first(kRegRootCurrentUser, test.Sub(L"first"));
    VLRegValue value(REG_SZ, L"a");
    value.text = L"1";
    first.values.push_back(value);
    VLRegKey failing(kRegRootCurrentUser, test.Sub(L"volatile\\lasting"));
    const std::wstring input = folder / L"input.reg";
    WriteTextFile(input, VLRegKeyList{first, failing});

    EXPECT_EQ(RunProgram(RegProbe() + L" import " + Quoted(input)), 1u);
    EXPECT_FALSE(KeyExists(test.Sub(L"first")));

    // A value name the registry refuses fails the import; the longest one it
    // takes is written.
    for (const size_t length : {16384u, 16383u}) {
        value.name.assign(length, L'v');
        first.values = {value};
        WriteTextFile(input, VLRegKeyList{first});
        EXPECT_EQ(RunProgram(RegProbe() + L" import " + Quoted(input)), length > 16383 ? 1u : 0u);
        DWORD type = 0;
        std::string bytes;
        EXPECT_EQ(GetValue(first.path, value.name, type, bytes), length == 16383);
    }
    EXPECT_EQ(RunProgram(RegProbe() + L" import " + Quoted(input + L".absent")), 1u);
    EXPECT_EQ(RunProgram(RegProbe() + L" export HKEY_CLASSES_ROOT\\x " + Quoted(input)), 2u);
    EXPECT_EQ(RunProgram(RegProbe()), 2u);
}
