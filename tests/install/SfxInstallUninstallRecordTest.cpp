// The meta map, the install folder it names, and the uninstall record an
// install leaves, read back independently and by the record reader.
#include "install/SfxInstall.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "install/ShellLink.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Velora {
namespace {

using namespace Velora::Test;

std::string U32(uint32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

std::string Block(const std::string& bytes)
{
    return U32(uint32_t(bytes.size())) + bytes;
}

std::string PathItem(const std::wstring& path)
{
    return U32(uint32_t(path.size() * 2)) + std::string(reinterpret_cast<const char*>(path.data()), path.size() * 2);
}

std::string MetaBytes(const std::map<std::wstring, std::wstring>& meta)
{
    VLBufferWriter writer;
    writer.WriteStringMap(meta);
    return std::string(reinterpret_cast<const char*>(writer.target->data), writer.target->size);
}

struct RecordContents {
    std::vector<std::wstring> paths;
    VLBuffer<unsigned char> backup;
    std::map<std::wstring, std::wstring> meta;
    std::vector<std::wstring> lines;
    VLBuffer<unsigned char> text;
};

bool ReadRecord(const std::wstring& path, RecordContents& out)
{
    return VLSfxInstall::ReadUninstallRecord(path, out.paths, out.backup, out.meta, out.lines, out.text);
}

TEST(UninstallRecord, ReaderAcceptsWhatTheFormatAllowsOnly)
{
    TestFolder folder;
    const std::string items = PathItem(L"bin") + PathItem(L"bin\\a.exe");
    const std::string big(0xA00000 - 4, 'x');
    const struct {
        const char* what;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"version 1", "VLUT\x01" + Block(items) + Block("xyz"), true},
        {"version 0", std::string("VLUT\0", 5) + Block(items) + Block("xyz"), false},
        {"other magic", "VLUX\x02" + Block(items) + Block(""), false},
        {"largest block", "VLUT\x01" + Block(U32(uint32_t(big.size())) + big) + Block(""), true},
        {"block too large", "VLUT\x01" + Block(U32(uint32_t(big.size() + 1)) + big + "x") + Block(""), false},
        {"item past its block", "VLUT\x01" + Block(U32(100) + "short") + Block(""), false},
        {"short file", "VLUT\x02" + Block(items) + U32(9), false},
    };
    for (const auto& each : cases) {
        const std::wstring path = folder / L"VLUnistall.dat";
        ASSERT_TRUE(WriteFileBytes(path, each.bytes));
        RecordContents record;
        EXPECT_EQ(ReadRecord(path, record), each.valid) << each.what;
    }

    RecordContents record;
    ASSERT_TRUE(WriteFileBytes(folder / L"v1.dat", "VLUT\x01" + Block(items) + Block("xyz")));
    ASSERT_TRUE(ReadRecord(folder / L"v1.dat", record));
    EXPECT_EQ(record.paths, (std::vector<std::wstring>{L"bin", L"bin\\a.exe"}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.backup.data), record.backup.size), "xyz");
    EXPECT_TRUE(record.lines.empty());
    EXPECT_TRUE(record.meta.empty());
    EXPECT_EQ(record.text.size, 0u);

    // A script block whose count promises more strings than it holds.
    ASSERT_TRUE(WriteFileBytes(folder / L"lying.dat",
                               "VLUT\x02" + Block(items) + Block("") + Block(U32(1000)) + Block("") + Block("")));
    RecordContents lying;
    EXPECT_THROW(ReadRecord(folder / L"lying.dat", lying), std::exception);
}

class MetaInstall : public ::testing::Test {
protected:
    std::wstring Package(PackageWriter& writer, const wchar_t* name = L"p.vlz")
    {
        const std::wstring path = folder / name;
        EXPECT_TRUE(writer.WriteTo(path));
        return path;
    }

    TestFolder folder;
};

TEST_F(MetaInstall, RecordOfAPlainPackage)
{
    PackageWriter writer;
    writer.root.Add(Folder(L"bin", {File(L"a.exe", "MZ")}));
    const std::wstring target = folder / L"target";
    VLSfxInstall install(Package(writer));
    ASSERT_TRUE(install.Open());
    EXPECT_FALSE(install.HasMeta(L"vlfolder"));
    ASSERT_TRUE(install.Install(target + L"\\"));
    EXPECT_EQ(install.GetInstallFolder(), target);
    const std::string bytes = ReadFileBytes(target + L"\\VLUnistall.dat");
    EXPECT_EQ(bytes, "VLUT\x02" + Block(PathItem(L"") + PathItem(L"bin") + PathItem(L"bin\\a.exe")) +
                         Block(U32(0) + U32(0)) + Block(U32(0)) + Block("") + Block(MetaBytes({{L"vlfolder", L""}})));
    RecordContents record;
    ASSERT_TRUE(ReadRecord(target + L"\\VLUnistall.dat", record));
    EXPECT_EQ(record.meta, (std::map<std::wstring, std::wstring>{{L"vlfolder", L""}}));
}

TEST_F(MetaInstall, VlfolderNamesTheInstallFolder)
{
    const std::wstring absolute = folder / L"elsewhere";
    const struct {
        std::wstring vlfolder;
        std::wstring target;
        std::wstring expected;
    } cases[] = {
        {L"Sub", folder / L"t1\\", folder / L"t1\\Sub"},
        {absolute, folder / L"t2", absolute},
        {L"##install##x", folder / L"t3", folder / L"t3\\##install##x"},
    };
    for (const auto& each : cases) {
        PackageWriter writer;
        writer.root.Add(Inline(L"vlmeta", MetaBytes({{L"vlfolder", each.vlfolder}})));
        writer.root.Add(File(L"f.txt", "f"));
        VLSfxInstall install(Package(writer));
        ASSERT_TRUE(install.Open());
        ASSERT_TRUE(install.Install(each.target));
        EXPECT_EQ(install.GetInstallFolder(), each.expected);
        EXPECT_TRUE(FileExists(each.expected + L"\\f.txt"));
    }
}

TEST_F(MetaInstall, MemoryMetaIsReadAtOpenAndBadMetaRefused)
{
    PackageWriter memory;
    memory.root.Add(
        Memory(L"vlmeta", MetaBytes({{L"vlexe", L"##install##\\run.exe"}, {L"vlargs", L"/q"}}), kMethodZlib));
    memory.root.Add(File(L"f.txt", "f"));
    VLSfxInstall install(Package(memory));
    ASSERT_TRUE(install.Open());
    EXPECT_TRUE(install.HasMeta(L"vlexe"));
    EXPECT_EQ(install.GetMeta(L"vlargs"), L"/q");
    EXPECT_FALSE(install.HasMeta(L"absent"));
    EXPECT_EQ(install.GetMeta(L"absent"), L"");
    EXPECT_TRUE(install.HasMeta(L"absent"));
    ASSERT_TRUE(install.Install(folder / L"t"));
    EXPECT_EQ(install.GetMeta(L"vlexe"), (folder / L"t") + L"\\run.exe");

    PackageWriter lying;
    lying.root.Add(Inline(L"vlmeta", U32(3) + U32(1) + "a\0"));
    VLSfxInstall refused(Package(lying, L"lying.vlz"));
    EXPECT_FALSE(refused.Open());
}

TEST_F(MetaInstall, OnlyKnownTopLevelKeywordsMapFolders)
{
    PackageWriter writer;
    writer.root.Add(Folder(L"##install##", {File(L"top.txt", "t")}));
    writer.root.Add(Folder(L"##nokey##", {File(L"n.txt", "n")}));
    writer.root.Add(Folder(L"sub", {Folder(L"##install##", {File(L"deep.txt", "d")})}));
    const std::wstring target = folder / L"t";
    VLSfxInstall install(Package(writer));
    ASSERT_TRUE(install.Open());
    ASSERT_TRUE(install.Install(target));
    EXPECT_TRUE(FileExists(target + L"\\top.txt"));
    EXPECT_TRUE(FileExists(target + L"\\##nokey##\\n.txt"));
    EXPECT_TRUE(FileExists(target + L"\\sub\\##install##\\deep.txt"));
}

TEST_F(MetaInstall, ShortcutsIntoThePlaceholderFolderAreRewritten)
{
    std::string appLink, otherLink;
    {
        VLComInit com;
        ASSERT_TRUE(
            MakeShellLinkBytes(L"", L"", L"Z:\\##install##\\bin\\app.exe", L"", 0, L"Z:\\##install##\\bin", appLink));
        ASSERT_TRUE(
            MakeShellLinkBytes(L"", L"", L"C:\\other\\Z:\\##install##\\x.exe", L"", -1, L"C:\\other", otherLink));
        VLShortcutInfo raw;
        ASSERT_TRUE(ReadShellLinkBytes(raw, appLink));
        ASSERT_EQ(raw.target, L"Z:\\##install##\\bin\\app.exe") << "this shell keeps link targets as written";
    }
    PackageWriter writer;
    writer.root.Add(File(L"app.lnk", appLink));
    writer.root.Add(File(L"other.lnk", otherLink));
    const std::wstring target = folder / L"t";
    VLSfxInstall install(Package(writer));
    ASSERT_TRUE(install.Open());
    ASSERT_TRUE(install.Install(target));
    VLComInit com;
    VLShortcutInfo app, other;
    ASSERT_TRUE(ReadShellLink(app, target + L"\\app.lnk"));
    EXPECT_EQ(app.target, target + L"\\bin\\app.exe");
    EXPECT_EQ(app.workingFolder, target + L"\\bin");
    ASSERT_TRUE(ReadShellLink(other, target + L"\\other.lnk"));
    EXPECT_EQ(other.target, L"C:\\other\\Z:\\##install##\\x.exe");
}

TEST_F(MetaInstall, ReinstallNeedsTheEarlierRecord)
{
    PackageWriter first;
    first.root.Add(Inline(L"vlmeta", MetaBytes({{L"kept", L"old"}})));
    first.root.Add(File(L"one.txt", "1"));
    PackageWriter second;
    second.root.Add(File(L"two.txt", "2"));
    const std::wstring target = folder / L"t";

    VLSfxInstall fresh(Package(second, L"second.vlz"));
    ASSERT_TRUE(fresh.Open());
    // Without one it fails, and is undone as every failed install is.
    EXPECT_FALSE(fresh.Reinstall(folder / L"fresh"));
    EXPECT_FALSE(PathExists(folder / L"fresh"));

    VLSfxInstall install(Package(first, L"first.vlz"));
    ASSERT_TRUE(install.Open());
    ASSERT_TRUE(install.Install(target));
    VLSfxInstall again(folder / L"second.vlz");
    ASSERT_TRUE(again.Open());
    ASSERT_TRUE(again.Reinstall(target));
    RecordContents record;
    ASSERT_TRUE(ReadRecord(target + L"\\VLUnistall.dat", record));
    EXPECT_EQ(record.paths, (std::vector<std::wstring>{L"two.txt", L"", L"one.txt"}));
    EXPECT_EQ(record.meta.at(L"kept"), L"old");
    // One that fails at its record (held by another program) leaves the
    // install before it, and the user's files in its folder, as they were.
    ASSERT_TRUE(WriteFileBytes(target + L"\\save.txt", "user's"));
    PackageWriter third;
    third.root.Add(File(L"three.txt", "3"));
    VLSfxInstall failing(Package(third, L"third.vlz"));
    ASSERT_TRUE(failing.Open());
    VLHandle held(CreateFileW((target + L"\\VLUnistall.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(failing.Reinstall(target));
    EXPECT_TRUE(PathExists(target + L"\\one.txt") && PathExists(target + L"\\save.txt"));
    EXPECT_FALSE(PathExists(target + L"\\three.txt"));
}

} // namespace
} // namespace Velora
