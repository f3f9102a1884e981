// The package's own acts on the files it shipped, through the package
// installer: its script's verbs, the programs its script starts, and what a
// failed install says about why it failed.
#include "install/DependSoftSfxInstaller.h"
#include "install/SfxInstall.h"

#include "base/Buffer.h"
#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/TextConvert.h"
#include "install/HeldFiles.h"
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

    // The events of what a rollback left, as "\"path\" from \"original\" (error n)".
    static std::vector<std::wstring> Left(const EventLog& sink)
    {
        std::vector<std::wstring> left;
        for (const SeenEvent& event : sink.events)
            if (event.code == kEventDeleteFailed)
                left.push_back(L"\"" + event.text1 + L"\"" +
                               (event.original.empty() ? L"" : L" from \"" + event.original + L"\"") + L" (error " +
                               std::to_wstring(event.error) + L")");
        return left;
    }

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
                                                     L"CreateShortCut ##install##\\s.lnk ##install##\\a.ini\r\n"
                                                     L"ini WriteINIStr ##install##\\user.ini main path x\r\n")));
    writer.root.Add(File(L"readme.txt", "read me"));
    writer.root.Add(File(L"a.ini", "[Main]\r\nOld=1\r\nKept=2\r\n"));
    writer.root.Add(File(L"ro.ini", "[Main]\r\nOld=1\r\n")).attributes = FILE_ATTRIBUTE_READONLY;
    writer.root.Add(File(L"s.lnk", shippedLink));
    writer.root.Add(Folder(L"docs", {File(L"guide.txt", "guide", kMethodSolid)}));
    const std::wstring app = folder / L"app";
    // A file of the user's: every line the edit does not touch stays as it was.
    ASSERT_TRUE(CreateDirectories(app) &&
                WriteFileBytes(app + L"\\user.ini", "; user's\r\n[Main]\r\nKey = 1 \r\n\r\n[Other]\nA=1"));
    ASSERT_TRUE(InstallThrough(writer, app)) << LogText();
    EXPECT_EQ(ReadFileBytes(app + L"\\user.ini"), "; user's\r\n[Main]\r\nKey = 1 \r\npath=x\r\n\r\n[Other]\nA=1");
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

// What a batch of the package does with the folders of its files, judged by
// the system: on a copy of the same tree with nothing installing, the same
// batch stops at the same step (its exit code) and leaves the same tree.
TEST_F(HeldFilesInstall, AProgramDoesWithItsFoldersWhatItDoesWithNothingInstalling)
{
    const struct {
        std::vector<std::string> steps;
        int failed;  // the judge's step that fails, 0 for none
        bool before; // "tmp" is there before the install, with a file of the user's
    } rows[] = {
        {{"rd /s /q tmp", "md tmp", "copy tidy.bat tmp\\new.txt > nul"}, 0, false},
        {{"rd /s /q tmp", "md tmp", "copy tidy.bat tmp\\new.txt > nul"}, 0, true},
        {{"rd /s /q data"}, 0, false},
        {{"rd /s /q tmp", "copy tidy.bat tmp\\new.txt > nul"}, 2, false},
        {{"ren sub old", "copy tidy.bat old\\new.txt > nul", "ren old sub"}, 0, false},
    };
    for (const auto& row : rows) {
        std::string batch = "@echo off\r\ncd /d \"%~dp0\"\r\n";
        for (size_t step = 0; step < row.steps.size(); ++step)
            batch += row.steps[step] + "\r\nif errorlevel 1 exit /b " + std::to_string(step + 1) + "\r\n";
        PackageWriter writer;
        writer.root.Add(File(L"tidy.bat", batch));
        writer.root.Add(Folder(L"tmp", {File(L"t.txt", "t")}));
        writer.root.Add(Folder(L"data", {Folder(L"inner", {File(L"i.txt", "i")})}));
        writer.root.Add(Folder(L"sub", {File(L"s.txt", "s")}));
        const std::wstring judge = folder / (std::to_wstring(&row - rows) + L"j"),
                           app = folder / std::to_wstring(&row - rows);
        for (const std::wstring& tree : {judge, app})
            ASSERT_TRUE(!row.before ||
                        (CreateDirectories(tree + L"\\tmp") && WriteFileBytes(tree + L"\\tmp\\u.txt", "u")));
        // The judge's copy is the package installed without a script.
        ASSERT_TRUE(InstallThrough(writer, judge)) << LogText();
        EXPECT_EQ(_wsystem((judge + L"\\tidy.bat").c_str()), row.failed) << row.steps[0];
        writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck " + std::to_wstring(row.failed) +
                                                         L" C:\\windows\\system32\\cmd.exe /c ##install##\\tidy.bat")));
        EXPECT_TRUE(InstallThrough(writer, app)) << row.steps[0] << LogText();
        for (const std::wstring& tree : {judge, app}) DeleteFileW((tree + L"\\VLUnistall.dat").c_str());
        EXPECT_EQ(TreeListing(app), TreeListing(judge)) << row.steps[0];
    }
}

// The rows run in three parts, side by side.
class HeldFilesRollback : public HeldFilesInstall, public ::testing::WithParamInterface<int> {};

TEST_P(HeldFilesRollback, AfterAProgramRanDeletesOnlyWhatTheInstallMadeAndNamesWhatItLeaves)
{
    const std::wstring sys = folder / L"sys", move = L"move /y ";
    const std::wstring keep = L"\"" + sys + L"\\keep.dll\"", replaced = keep + L" (error 1006)";
    constexpr int kLibraries = 30;
    std::vector<std::wstring> everyLibrary;
    for (int i = kLibraries; i-- > 0;)
        everyLibrary.push_back(L"\"" + sys + L"\\r" + std::to_wstring(i) + L".dll\" (error 1006)");
    // "user" is a folder of the user's beside the install folder, there before it.
    const std::wstring install = L"##install##\\", side = folder / L"side", root = L"C:\\" + UniqueName(),
                       user = folder / L"user";
    const std::wstring save =
        L"echo 1> " + install + L"cfg.tmp && " + move + install + L"cfg.tmp " + install + L"cfg.ini > nul";
    const auto moved = [&](const std::wstring& at, const std::wstring& was) {
        return L"\"" + at + L"\" from \"" + was + L"\" (error 2)";
    };
    const struct {
        std::wstring act;                  // the program's, before it fails
        std::vector<std::wstring> left;    // the events of what stays
        std::wstring app = std::wstring(); // the install folder, when not the row's own below the test's
    } rows[] = {
        // One of the package's files moved away, another file put under its name.
        {move + sys + L"\\keep.dll " + sys + L"\\keep.old > nul && echo other> " + sys + L"\\keep.dll",
         {replaced, L"\"" + sys + L"\\keep.old\" from " + keep + L" (error 2)"}},
        // A library replaced through a temporary file.
        {L"echo > " + sys + L"\\new.tmp && " + move + sys + L"\\new.tmp " + sys + L"\\keep.dll", {replaced}},
        // A file of the install folder moved into the system folder.
        {move + L"##install##\\tool.dat " + sys,
         {L"\"" + sys + L"\\tool.dat\" from \"" + folder / L"2\\tool.dat\" (error 2)"}},
        // The program's temporary file deleted and its log written: nothing stays.
        {L"del ##install##\\setup.tmp && echo log> ##install##\\setup.log", {}},
        // Every library replaced through a temporary file, which may take the
        // identity of the library replaced before it.
        {L"for %f in (" + sys + L"\\r*.dll) do @(echo new> %f.tmp && " + move + L"%f.tmp %f > nul )", everyLibrary},
        // A file renamed and then written to, and a file touched (written
        // again with the bytes it had) and then renamed: each stays where
        // it went, under its new name.
        {move + L"##install##\\b.dat ##install##\\b2.dat > nul && echo line>> ##install##\\b2.dat",
         {L"\"" + folder / L"5\\b2.dat\" from \"" + folder / L"5\\b.dat\" (error 2)"}},
        {L"echo c> ##install##\\c.dat && " + move + L"##install##\\c.dat ##install##\\c2.dat > nul",
         {L"\"" + folder / L"6\\c2.dat\" from \"" + folder / L"6\\c.dat\" (error 2)"}},
        // A file renamed, then deleted, and a new file made under the new
        // name, which may take the deleted one's identity: none is named.
        {move + L"##install##\\b.dat ##install##\\b2.dat > nul && del ##install##\\b2.dat && echo new> "
                L"##install##\\b2.dat",
         {}},
        // A folder of the package's files renamed, with a file in it then
        // written, or renamed; a folder moved into another.
        {move + L"##install##\\sub ##install##\\old > nul",
         {L"\"" + folder / L"8\\old\\s.dat\" from \"" + folder / L"8\\sub\\s.dat\" (error 2)"}},
        {move + L"##install##\\sub ##install##\\old > nul && echo line>> ##install##\\old\\s.dat",
         {L"\"" + folder / L"9\\old\\s.dat\" from \"" + folder / L"9\\sub\\s.dat\" (error 2)"}},
        {move + L"##install##\\sub ##install##\\old > nul && " + move +
             L"##install##\\old\\s.dat ##install##\\old\\t.dat",
         {L"\"" + folder / L"10\\old\\t.dat\" from \"" + folder / L"10\\sub\\s.dat\" (error 2)"}},
        {move + L"##install##\\sub " + sys + L"\\sub > nul",
         {L"\"" + sys + L"\\sub\\s.dat\" from \"" + folder / L"11\\sub\\s.dat\" (error 2)"}},
        // A file of a renamed folder deleted, and a new one made under its
        // name, which may take its identity: none is named.
        {move + L"##install##\\sub ##install##\\old > nul && del ##install##\\old\\s.dat && echo new> "
                L"##install##\\old\\s.dat",
         {}},
        // A file renamed and written, while another is saved twice through a
        // temporary file, in the install folder, or by another program in a
        // folder beside it.
        {save + L" && " + move + install + L"b.dat " + install + L"b2.dat > nul && echo line>> " + install +
             L"b2.dat && " + save,
         {moved(folder / L"13\\b2.dat", folder / L"13\\b.dat")}},
        {L"md " + side + L" && start /b /wait cmd /c \"echo 1> " + side + L"\\c.tmp & " + move + side + L"\\c.tmp " +
             side + L"\\c.ini & echo 2> " + side + L"\\c.tmp & " + move + side + L"\\c.tmp " + side + L"\\c.ini\" && " +
             move + install + L"b.dat " + install + L"b2.dat > nul && echo line>> " + install + L"b2.dat",
         {moved(folder / L"14\\b2.dat", folder / L"14\\b.dat")}},
        // A backup, written to, and a new file under the old name.
        {move + install + L"b.dat " + install + L"b.bak > nul && echo line>> " + install + L"b.bak && echo new> " +
             install + L"b.dat",
         {L"\"" + folder / L"15\\b.dat\" (error 1006)", moved(folder / L"15\\b.bak", folder / L"15\\b.dat")}},
        // A folder kept under another name and made again: its files are
        // named where they are, changed or not.
        {move + install + L"sub " + install + L"sub_old > nul && md " + install + L"sub && echo x> " + install +
             L"sub\\new.txt",
         {moved(folder / L"16\\sub_old\\s.dat", folder / L"16\\sub\\s.dat")}},
        {move + install + L"sub " + install + L"sub_old > nul && md " + install + L"sub && echo x>> " + install +
             L"sub_old\\s.dat",
         {moved(folder / L"17\\sub_old\\s.dat", folder / L"17\\sub\\s.dat")}},
        // An install folder right below a drive's root.
        {move + install + L"b.dat " + install + L"b2.dat > nul && echo line>> " + install + L"b2.dat",
         {moved(root + L"\\b2.dat", root + L"\\b.dat")},
         root},
        // A failed install where nothing of the package stays says only
        // that it failed: a file saved through a temporary name and deleted,
        // a temporary folder with a save in it removed, a folder replaced by
        // a new one and its old tree removed, another program keeping its
        // folder beside and making it again.
        {L"echo x> " + install + L"t.tmp && " + move + install + L"t.tmp " + install + L"t2.dat > nul && del " +
             install + L"t2.dat && del " + install + L"b.dat",
         {}},
        {L"md " + install + L"tmp && echo 1> " + install + L"tmp\\c.tmp && " + move + install + L"tmp\\c.tmp " +
             install + L"tmp\\c.ini > nul && rd /s /q " + install + L"tmp && del " + install + L"b.dat",
         {}},
        {move + install + L"sub " + install + L"sub.bak > nul && md " + install + L"sub && echo x> " + install +
             L"sub\\s.dat && rd /s /q " + install + L"sub.bak",
         {}},
        {L"md " + side + L"\\o && start /b /wait cmd /c \"" + move + side + L"\\o " + side + L"\\o2 > nul & md " +
             side + L"\\o\" && del " + install + L"b.dat",
         {}},
        // Two folders swapped through a third name, then a file saved over:
        // the package's folder now under the other's name stays.
        {L"md " + install + L"x && " + move + install + L"sub " + install + L"t > nul && " + move + install + L"x " +
             install + L"sub > nul && " + move + install + L"t " + install + L"x > nul && echo 1> " + install +
             L"b.tmp && " + move + install + L"b.tmp " + install + L"b.dat > nul",
         {moved(folder / L"23\\x\\s.dat", folder / L"23\\sub\\s.dat"), L"\"" + folder / L"23\\b.dat\" (error 1006)"}},
        // Moved into the user's folder, which the watch may not hear, with
        // or without a file of the program's written there first; and given
        // another name by the program itself, as a hard link.
        {move + install + L"b.dat " + user + L"\\b2.dat > nul", {moved(user + L"\\b2.dat", folder / L"24\\b.dat")}},
        {L"echo u> " + user + L"\\u.txt && " + move + install + L"b.dat " + user + L"\\b3.dat > nul",
         {moved(user + L"\\b3.dat", folder / L"25\\b.dat")}},
        {L"fsutil hardlink create " + install + L"l.dat " + install + L"b.dat > nul",
         {moved(folder / L"26\\l.dat", folder / L"26\\b.dat")}},
        // A folder of the program's moved to the name of a package file it
        // deleted: it stays, with what is in it.
        {L"del " + install + L"b.dat && md " + install + L"o && echo o> " + install + L"o\\o.txt && " + move + install +
             L"o " + install + L"b.dat > nul",
         {L"\"" + folder / L"27\\b.dat\" (error 1006)"}},
        // A folder renamed, and a file renamed 10,000 times, each time to a
        // new name.
        {move + install + L"sub " + install + L"old > nul && " + move + install + L"b.dat " + install +
             L"x.0 > nul && for /l %i in (1,1,10000) do @move " + install + L"x.* " + install + L"x.%i > nul",
         {moved(folder / L"28\\old\\s.dat", folder / L"28\\sub\\s.dat"),
          moved(folder / L"28\\x.10000", folder / L"28\\b.dat")}},
    };
    for (const auto& row : rows) {
        if ((&row - rows) % 3 != GetParam()) continue;
        // Into a folder of the user's, which the rollback leaves.
        const std::wstring app = row.app.empty() ? folder / std::to_wstring(&row - rows) : row.app;
        ASSERT_TRUE(CreateDirectories(sys) && CreateDirectories(app) && CreateDirectories(user));
        PackageWriter writer;
        writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 1 C:\\windows\\system32\\cmd.exe /c " + row.act)));
        PackageEntry& libraries =
            writer.root.Add(Folder(L"##system##", {File(L"lib.dll", "lib"), File(L"keep.dll", "keep")}));
        for (int i = 0; i < kLibraries; ++i) libraries.Add(File(L"r" + std::to_wstring(i) + L".dll", "library"));
        writer.root.Add(File(L"tool.dat", "tool"));
        writer.root.Add(File(L"setup.tmp", "temporary"));
        writer.root.Add(File(L"b.dat", "b"));
        writer.root.Add(File(L"c.dat", "c\r\n"));
        writer.root.Add(Folder(L"sub", {File(L"s.dat", "s")}));
        ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        EventLog sink;
        VLSfxInstall install(folder / L"p.vlz");
        install.SetProgress(&sink);
        install.GetKeywords().SetPath(L"system", sys);
        ASSERT_TRUE(install.Open());
        EXPECT_FALSE(install.Install(app));
        EXPECT_EQ(install.IsRolledBack(), row.left.empty());
        EXPECT_FALSE(Exists(sys + L"\\lib.dll"));
        EXPECT_EQ(Left(sink), row.left) << ToMultiByte(row.act);
        DeleteTree(sys);
        if (!row.app.empty()) DeleteTree(row.app);
    }
}

INSTANTIATE_TEST_SUITE_P(Thirds, HeldFilesRollback, ::testing::Range(0, 3));

// The pins of the files a program may move are the install's own: made in a
// folder of its own at the volume's root, gone when it ends, and never made
// through what was planted in that folder's place.
TEST_F(HeldFilesInstall, PinsAreTheInstallsOwnAndGoWhenItEnds)
{
    wchar_t volume[MAX_PATH + 1];
    ASSERT_TRUE(GetVolumePathNameW(folder.Path().c_str(), volume, MAX_PATH + 1));
    const std::wstring pins = std::wstring(volume) + L"VLPins", outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside) && WriteFileBytes(outside + L"\\x.txt", "outside's"));
    const std::string listing = TreeListing(outside);
    enum Plant { kNothing, kLinkInItsPlace, kNoHardLinks };
    // Pinned, a file moved and changed is named where it is; without pins it
    // cannot be told from a new file, and the install says it cannot
    // account for it.
    const struct {
        Plant plant;
        bool pinned;
    } rows[] = {{kNothing, true}, {kLinkInItsPlace, false}, {kNoHardLinks, false}};
    for (const auto& row : rows) {
        const std::wstring app = folder / std::to_wstring(&row - rows), marker = app + L"\\marker";
        ASSERT_TRUE(CreateDirectories(app));
        ASSERT_TRUE(row.plant != kLinkInItsPlace || MakeHostLink(pins, outside));
        // Another folder of the volume mounted on the install folder: the
        // system makes no hard link from one mount to another.
        ASSERT_TRUE(row.plant != kNoHardLinks ||
                    (WriteFileBytes(marker, "") && CreateDirectories(app + L"-mounted") &&
                     RunUnixCommand(
                         L"Z:\\bin\\mount --bind " + ToWideString(UnixPath(app + L"-mounted")) + L" " +
                             ToWideString(UnixPath(app)),
                         [](const std::wstring& path) { return !Exists(path); }, marker)));
        PackageWriter writer;
        writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 1 C:\\windows\\system32\\cmd.exe /c move "
                                                         L"##install##\\b.dat ##install##\\b2.dat > nul && echo "
                                                         L"line>> ##install##\\b2.dat")));
        writer.root.Add(File(L"b.dat", "b"));
        // Read-only, as its pin is.
        writer.root.Add(File(L"c.dat", "c")).attributes |= FILE_ATTRIBUTE_READONLY;
        ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        EventLog sink;
        VLSfxInstall install(folder / L"p.vlz");
        install.SetProgress(&sink);
        ASSERT_TRUE(install.Open());
        EXPECT_FALSE(install.Install(app));
        const std::wstring was = L"\"" + app + L"\\b.dat\"";
        EXPECT_EQ(Left(sink),
                  std::vector<std::wstring>{row.pinned ? L"\"" + app + L"\\b2.dat\" from " + was + L" (error 2)"
                                                       : was + L" (error 2)"});
        EXPECT_FALSE(Exists(app + L"\\c.dat"));
        EXPECT_EQ(TreeListing(outside), listing);
        EXPECT_EQ(Exists(pins), row.plant == kLinkInItsPlace);
        EXPECT_TRUE(row.plant != kLinkInItsPlace || RemoveHostLink(pins));
        EXPECT_TRUE(row.plant != kNoHardLinks ||
                    RunUnixCommand(L"Z:\\bin\\umount " + ToWideString(UnixPath(app)), Exists, marker));
    }
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

TEST_F(HeldFilesInstall, TheScriptsNamesPassNoLinkPlantedInTheInstallFolder)
{
    const std::wstring outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside + L"\\tree") && WriteFileBytes(outside + L"\\tree\\x", "x"));
    for (const wchar_t* name : {L"old.dat", L"a.ini", L"s.lnk", L"user.ini"})
        ASSERT_TRUE(WriteFileBytes(outside + L"\\" + name, "x"));
    const std::string listing = TreeListing(outside);
    enum Planted { kLinkedFolder, kFolderSwappedAfterTheCheck, kHardLinkedFile };
    const struct {
        std::wstring line;
        Planted planted;
    } rows[] = {
        {L"DeleteFile ##install##\\cache\\old.dat", kLinkedFolder},
        {L"DeleteFile ##install##\\cache\\tree", kLinkedFolder},
        {L"ini WriteINIStr ##install##\\cache\\a.ini Main Path x", kLinkedFolder},
        {L"CreateShortCut ##install##\\cache\\s.lnk C:\\windows\\notepad.exe", kLinkedFolder},
        {L"ini WriteINIStr ##install##\\cache\\a.ini Main Path x", kFolderSwappedAfterTheCheck},
        {L"CreateShortCut ##install##\\cache\\s.lnk C:\\windows\\notepad.exe", kFolderSwappedAfterTheCheck},
        {L"ini WriteINIStr ##install##\\user.ini S K V", kHardLinkedFile},
    };
    for (const auto& row : rows) {
        const std::wstring app = folder / std::to_wstring(&row - rows), cache = app + L"\\cache";
        ASSERT_TRUE(CreateDirectories(row.planted == kFolderSwappedAfterTheCheck ? cache : app));
        ASSERT_TRUE(row.planted != kLinkedFolder || MakeHostLink(cache, outside));
        ASSERT_TRUE(row.planted != kHardLinkedFile ||
                    CreateHardLinkW((app + L"\\user.ini").c_str(), (outside + L"\\user.ini").c_str(), nullptr));
        if (row.planted == kFolderSwappedAfterTheCheck)
            SetScriptWriteHookForTests([&](const std::wstring&) {
                MoveFileW(cache.c_str(), (cache + L"-was").c_str());
                MakeHostLink(cache, outside);
            });
        PackageWriter writer;
        writer.root.Add(File(L"##tasks##.txt", Utf16File(row.line)));
        writer.root.Add(File(L"first.txt", "1"));
        EXPECT_FALSE(InstallThrough(writer, app)) << ToMultiByte(row.line);
        SetScriptWriteHookForTests(nullptr);
        EXPECT_TRUE(rolledBack);
        // The event names the path the line names, past its verb.
        const std::wstring named = row.line.substr(row.line.find(L"##install##") + 11);
        std::wstring all;
        for (const std::wstring& event : log) all += event;
        const DWORD error = row.planted == kHardLinkedFile ? ERROR_TOO_MANY_LINKS : kErrLinkInPath;
        EXPECT_NE(all.find(app + named.substr(0, named.find(L' ')) + L"\" (error " + std::to_wstring(error) + L")"),
                  std::wstring::npos)
            << LogText();
        EXPECT_FALSE(Exists(app + L"\\first.txt"));
        EXPECT_EQ(TreeListing(outside), listing) << ToMultiByte(row.line);
        if (row.planted != kHardLinkedFile) RemoveHostLink(cache);
    }
}

TEST_F(HeldFilesInstall, ThePackagesOwnFilesAreFoundHoweverTheScriptSpellsThem)
{
    ASSERT_TRUE(CreateDirectories(folder / L"a long folder name"));
    wchar_t shortName[MAX_PATH];
    ASSERT_NE(GetShortPathNameW((folder / L"a long folder name").c_str(), shortName, MAX_PATH), 0u);
    const struct {
        std::wstring vlfolder, target, ini, readme, text;
    } rows[] = {
        {L"VLApp/Sub", folder / L"0", L"\\setup.ini", L"\\readme.txt", L"\\sub\\a.txt"},
        {L"", folder / L"1", L"//SETUP.INI", L"\\sub\\..\\readme.txt", L"/sub/a.txt"},
        // An install folder given by its short name.
        {L"", shortName, L"\\.\\setup.ini", L"\\readme.txt", L"\\sub"},
    };
    for (const auto& row : rows) {
        VLBufferWriter meta;
        meta.WriteStringMap({{L"vlfolder", row.vlfolder}});
        PackageWriter writer;
        writer.root.Add(Inline(L"vlmeta", Bytes(*meta.target)));
        const std::wstring script = L"ini WriteINIStr ##install##" + row.ini +
                                    L" Main Path x\r\nDeleteFile ##install##" + row.readme +
                                    L"\r\nDeleteFile ##install##" + row.text;
        writer.root.Add(File(L"##tasks##.txt", Utf16File(script)));
        writer.root.Add(File(L"setup.ini", "[Main]\r\n"));
        writer.root.Add(File(L"readme.txt", "read me"));
        writer.root.Add(Folder(L"sub", {File(L"a.txt", "a")}));
        const std::wstring app = row.target + (row.vlfolder.empty() ? L"" : L"\\VLApp\\Sub");
        ASSERT_TRUE(InstallThrough(writer, row.target)) << LogText();
        EXPECT_EQ(ReadIni(app + L"\\setup.ini", L"Main", L"Path"), L"x") << ToMultiByte(row.ini);
        EXPECT_FALSE(Exists(app + L"\\readme.txt")) << ToMultiByte(row.readme);
        EXPECT_FALSE(Exists(app + L"\\sub\\a.txt")) << ToMultiByte(row.text);
    }
}

TEST(HeldFiles, TheProgramStartedStaysHeldHoweverTheCommandLineSpellsIt)
{
    TestFolder folder;
    const std::wstring program = folder / L"a long name.exe", other = folder / L"data.txt";
    wchar_t shortName[MAX_PATH];
    ASSERT_TRUE(WriteFileBytes(program, "x") && WriteFileBytes(other, "x") &&
                GetShortPathNameW(program.c_str(), shortName, MAX_PATH));
    for (const std::wstring& commandLine :
         {L"\"" + folder.Path() + L"/x/../A LONG NAME\" /q", std::wstring(shortName) + L" /q",
          L"\"" + folder.Path() + L"\\\\a long name\""}) {
        VLHeldFiles held;
        for (const std::wstring& path : {program, other}) {
            VLPlainFile file;
            ASSERT_TRUE(file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
            held.Hold(path, std::move(file));
        }
        held.LetGoAllBut(commandLine);
        EXPECT_NE(held.Find(program), nullptr) << ToMultiByte(commandLine);
        EXPECT_EQ(held.Find(other), nullptr);
    }
}

} // namespace
} // namespace Velora
