// The package's own acts on the files it shipped, through the package
// installer: its script's verbs, the programs its script starts, and what a
// failed install says about why it failed.
#include "install/DependSoftSfxInstaller.h"
#include "install/SfxInstall.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/TextConvert.h"
#include "install/ShellLink.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/install/TestRegKey.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <functional>

namespace Velora {
namespace {

using namespace Velora::Test;

class HeldFilesInstall : public ::testing::Test {
protected:
    // Installs the package through the package installer; answers whether it
    // succeeded, its log in log.
    bool InstallThrough(const PackageWriter& writer, const std::wstring& target)
    {
        const std::wstring package = target + L".vlz";
        EXPECT_TRUE(writer.WriteTo(package));
        VLDependSoftSfxInstaller installer;
        EXPECT_TRUE(installer.Install(40018, package.c_str(), target.c_str()));
        EXPECT_TRUE(installer.Wait(60000));
        log = installer.GetLog();
        rolledBack = installer.IsRolledBack();
        return installer.IsSucceeded();
    }

    std::string LogText() const { return ::testing::PrintToString(log); }

    TestFolder folder;
    TestRegKey key;
    std::vector<std::wstring> log;
    bool rolledBack = false;
};

TEST_F(HeldFilesInstall, ScriptVerbsActOnTheFilesThePackageShipped)
{
    std::string shippedLink;
    {
        VLComInit com;
        ASSERT_TRUE(MakeShellLinkBytes(L"", L"", L"C:\\windows\\notepad.exe", L"", 0, L"C:\\windows", shippedLink));
    }
    PackageWriter writer;
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"DeleteFile ##install##\\readme.txt\r\n"
                                                     L"DeleteFile ##install##\\docs\r\n"
                                                     L"ini WriteINIStr ##install##\\a.ini Main Path ##install##\r\n"
                                                     L"ini DeleteINIStr ##install##\\a.ini Main Old\r\n"
                                                     L"ini WriteINIStr ##install##\\ro.ini Main Path x\r\n"
                                                     L"CreateShortCut ##install##\\s.lnk ##install##\\a.ini\r\n")));
    writer.root.Add(File(L"readme.txt", "read me"));
    writer.root.Add(File(L"a.ini", "[Main]\r\nOld=1\r\nKept=2\r\n"));
    writer.root.Add(File(L"ro.ini", "[Main]\r\nOld=1\r\n")).attributes = FILE_ATTRIBUTE_READONLY;
    writer.root.Add(File(L"s.lnk", shippedLink));
    writer.root.Add(Folder(L"docs", {File(L"guide.txt", "guide", kMethodSolid)}));
    const std::wstring app = folder / L"app";
    ASSERT_TRUE(InstallThrough(writer, app)) << LogText();
    EXPECT_FALSE(Exists(app + L"\\readme.txt"));
    EXPECT_FALSE(Exists(app + L"\\docs"));
    EXPECT_EQ(ReadIni(app + L"\\a.ini", L"Main", L"Path"), app);
    EXPECT_EQ(ReadIni(app + L"\\a.ini", L"Main", L"Old"), L"");
    EXPECT_EQ(ReadIni(app + L"\\a.ini", L"Main", L"Kept"), L"2");
    EXPECT_EQ(ReadIni(app + L"\\ro.ini", L"Main", L"Path"), L"x");
    EXPECT_TRUE(GetFileAttributesW((app + L"\\ro.ini").c_str()) & FILE_ATTRIBUTE_READONLY);
    VLComInit com;
    VLShortcutInfo link;
    ASSERT_TRUE(ReadShellLink(link, app + L"\\s.lnk"));
    EXPECT_EQ(link.target, app + L"\\a.ini");
    EXPECT_TRUE(Exists(app + L"\\VLUnistall.dat"));
}

TEST_F(HeldFilesInstall, ProgramsTheScriptStartsUseTheirSiblings)
{
    const std::string program = ReadFileBytes(HelperProgram(L"vltest_siblings.exe"));
    const std::wstring batch = L"C:\\windows\\system32\\cmd.exe /c ##install##\\read.bat";
    const struct {
        std::wstring line;
        bool succeeds;
    } rows[] = {
        {L"run ##install##\\setup.exe", true},
        {L"runcheck 0 ##install##\\setup.exe", true},
        {L"runcheck 0 " + batch, true},
        // A program that did its work but answers otherwise: the rollback
        // still removes all the install made.
        {L"runcheck 1 ##install##\\setup.exe", false},
    };
    for (const auto& row : rows) {
        PackageWriter writer;
        writer.root.Add(File(L"##tasks##.txt", Utf16File(row.line)));
        writer.root.Add(File(L"setup.exe", program, kMethodLzma));
        writer.root.Add(File(L"data.txt", "data\r\n"));
        writer.root.Add(File(L"rewrite.txt", "as shipped"));
        writer.root.Add(File(L"rename.txt", "rename"));
        writer.root.Add(File(L"temp.cab", "cabinet", kMethodSolid));
        writer.root.Add(File(L"read.bat", "@echo off\r\nset /p x=<\"%~dp0data.txt\"\r\necho %x%>\"%~dp0out.txt\"\r\n"));
        const std::wstring app = folder / std::to_wstring(&row - rows);
        EXPECT_EQ(InstallThrough(writer, app), row.succeeds) << ToMultiByte(row.line) << LogText();
        if (!row.succeeds) {
            EXPECT_TRUE(rolledBack);
            EXPECT_FALSE(Exists(app));
            continue;
        }
        if (row.line.find(L"read.bat") != std::wstring::npos) {
            EXPECT_EQ(ReadFileBytes(app + L"\\out.txt"), "data\r\n") << ToMultiByte(row.line);
            continue;
        }
        EXPECT_EQ(ReadFileBytes(app + L"\\rewrite.txt"), "rewritten") << ToMultiByte(row.line);
        EXPECT_EQ(ReadFileBytes(app + L"\\renamed.txt"), "rename");
        EXPECT_FALSE(Exists(app + L"\\rename.txt"));
        EXPECT_FALSE(Exists(app + L"\\temp.cab"));
    }
}

TEST_F(HeldFilesInstall, ARollbackAfterAProgramRanDeletesOnlyWhatTheInstallMade)
{
    // The program moves one of the package's files away and puts another
    // file under its name; then it fails.
    const std::wstring sys = folder / L"sys";
    ASSERT_TRUE(CreateDirectories(sys));
    PackageWriter writer;
    writer.root.Add(File(L"##tasks##.txt",
                         Utf16File(L"runcheck 1 C:\\windows\\system32\\cmd.exe /c \"move " + sys + L"\\keep.dll " +
                                   sys + L"\\keep.old > nul && echo other> " + sys + L"\\keep.dll\"")));
    writer.root.Add(Folder(L"##system##", {File(L"lib.dll", "lib"), File(L"keep.dll", "keep")}));
    ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
    VLSfxInstall install(folder / L"p.vlz");
    install.GetKeywords().SetPath(L"system", sys);
    ASSERT_TRUE(install.Open());
    EXPECT_FALSE(install.Install(folder / L"app"));
    EXPECT_TRUE(install.IsRolledBack());
    EXPECT_FALSE(Exists(sys + L"\\lib.dll"));
    EXPECT_EQ(ReadFileBytes(sys + L"\\keep.dll"), "other\r\n");
    EXPECT_EQ(ReadFileBytes(sys + L"\\keep.old"), "keep");
}

TEST_F(HeldFilesInstall, AFailedInstallSaysWhyAndTouchesNothingOutside)
{
    const std::wstring outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside) && WriteFileBytes(outside + L"\\x.txt", "outside's"));
    const std::string listing = TreeListing(outside);
    const struct {
        const wchar_t* name; // of the obstacle in the install folder
        std::function<bool(const std::wstring& path)> obstacle;
        DWORD error;
    } rows[] = {
        {L"bin", [](const std::wstring& path) { return WriteFileBytes(path, "x"); }, ERROR_ALREADY_EXISTS},
        {L"bin", [&](const std::wstring& path) { return MakeHostLink(path, outside); }, kErrLinkInPath},
        {L"VLUnistall.dat", [&](const std::wstring& path) { return MakeHostLink(path, outside + L"\\x.txt"); },
         kErrLinkInPath},
        // A link that leads nowhere: nothing may be made where it leads.
        {L"VLUnistall.dat",
         [&](const std::wstring& path) {
             return WriteFileBytes(outside + L"\\gone", "") && MakeHostLink(path, outside + L"\\gone") &&
                    DeleteFileW((outside + L"\\gone").c_str());
         },
         kErrLinkInPath},
    };
    for (const auto& row : rows) {
        const std::wstring app = folder / std::to_wstring(&row - rows), path = app + L"\\" + row.name;
        ASSERT_TRUE(CreateDirectories(app) && row.obstacle(path));
        PackageWriter writer;
        writer.root.Add(File(L"##reg##.reg", Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n[" +
                                                       key.FullName() + L"\\Made]\r\n\"v\"=\"1\"\r\n")));
        writer.root.Add(File(L"first.txt", "1"));
        writer.root.Add(Folder(L"bin", {File(L"tool.dll", "tool")}));
        EXPECT_FALSE(InstallThrough(writer, app));
        EXPECT_TRUE(rolledBack);
        ASSERT_EQ(log.size(), 1u) << LogText();
        EXPECT_NE(log[0].find(L"\"" + path + L"\" (error " + std::to_wstring(row.error) + L")"), std::wstring::npos)
            << LogText();
        EXPECT_FALSE(Exists(app + L"\\first.txt"));
        EXPECT_FALSE(KeyExists(key.Sub(L"Made")));
        EXPECT_EQ(TreeListing(outside), listing);
    }
}

} // namespace
} // namespace Velora
