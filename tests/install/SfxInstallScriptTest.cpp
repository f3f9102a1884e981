#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/ComScope.h"
#include "base/Handles.h"
#include "install/ShellLink.h"

#include "InstallTestUtil.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <thread>

namespace Velora {
namespace {

using Test::EventLog;
using Test::HelperProgram;
using Test::ReadIni;
using Test::ReadFileBytes;
using Test::TestFolder;
using Test::Utf16File;
using Test::WriteFileBytes;

// An installer whose install folder is a test folder, its script read from a
// UTF-16 task file as a package would carry it.
class ScriptTest : public ::testing::Test {
protected:
    ScriptTest() : install(folder.Path() + L"\\package.vlz")
    {
        install.GetKeywords().SetPath(L"install", folder.Path());
        install.SetProgress(&log);
    }

    bool Run(const std::wstring& script)
    {
        const std::wstring path = folder / L"tasks.txt";
        EXPECT_TRUE(WriteFileBytes(path, Utf16File(script)));
        install.ReadTaskFile(path);
        return install.RunTasks();
    }

    std::wstring Exit(int code, int delay, const std::wstring& marker) const
    {
        return HelperProgram(L"vltest_exit.exe") + L" " + std::to_wstring(code) + L" " + std::to_wstring(delay) +
               L" " + folder / marker;
    }

    TestFolder folder;
    EventLog log;
    VLSfxInstall install;
};

TEST_F(ScriptTest, TaskFileEncodingsAndLineEnds)
{
    const struct {
        std::string bytes;
        std::vector<std::wstring> lines;
    } cases[] = {
        {Utf16File(L"ini a\r\nrun b\n\n  DeleteFile c  \r"), {L"ini a", L"run b", L"DeleteFile c"}},
        {"ini a\rrun b", {L"ini a", L"run b"}},
        // GBK text in the system code page.
        {"DeleteFile C:\\\xD6\xD0\xCE\xC4", {L"DeleteFile C:\\\x4E2D\x6587"}},
        {"ini a\n   ", {L"ini a", L""}},
        {"\xFE\xFF\0i\0n\0i", {}},
        {"", {}},
        {std::string(0x100001, 'a'), {}},
    };
    for (const auto& each : cases) {
        VLSfxInstall reader(folder / L"p.vlz");
        const std::wstring path = folder / L"t.txt";
        ASSERT_TRUE(WriteFileBytes(path, each.bytes));
        reader.ReadTaskFile(path);
        EXPECT_EQ(reader.GetScriptLines(), each.lines) << each.bytes.substr(0, 40);
    }
}

TEST_F(ScriptTest, RunEndsTheScript)
{
    WriteFileBytes(folder / L"kept.txt", "x");
    EXPECT_TRUE(Run(L"# a comment\r\nRun nothing\r\nruns nothing\r\nrun " + Exit(3, 0, L"ran") +
                    L"\r\nDeleteFile ##install##\\kept.txt"));
    EXPECT_TRUE(FileExists(folder / L"ran"));
    EXPECT_TRUE(FileExists(folder / L"kept.txt"));
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ScriptTest, RuncheckComparesTheExitCode)
{
    EXPECT_TRUE(Run(L"runcheck 7 " + Exit(7, 0, L"a") + L"\r\nrunchecks 0 " + Exit(0, 0, L"b")));
    EXPECT_TRUE(FileExists(folder / L"a"));
    EXPECT_FALSE(FileExists(folder / L"b"));

    VLSfxInstall failing(folder / L"p.vlz");
    failing.SetProgress(&log);
    const std::wstring path = folder / L"t2.txt";
    const std::wstring arguments = L"0 " + Exit(1, 0, L"c");
    WriteFileBytes(path, Utf16File(L"runcheck " + arguments));
    failing.ReadTaskFile(path);
    EXPECT_FALSE(failing.RunTasks());
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].code, kEventScriptFailed);
    EXPECT_EQ(log.events[0].text1, L"runcheck");
    EXPECT_EQ(log.events[0].text2, arguments);
    EXPECT_EQ(log.events[0].value3, 1u);
}

TEST_F(ScriptTest, ProgramThatCannotStartFailsWithItsError)
{
    EXPECT_FALSE(Run(L"run ##install##\\missing.exe"));
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].text1, L"run");
    EXPECT_EQ(log.events[0].value3, DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(ScriptTest, CancelTerminatesTheProgram)
{
    std::thread canceller([this] {
        Sleep(300);
        log.cancelled = true;
    });
    const DWORD start = GetTickCount();
    EXPECT_FALSE(Run(L"run " + Exit(0, 20000, L"late")));
    canceller.join();
    EXPECT_LT(GetTickCount() - start, 10000u);
    Sleep(200);
    EXPECT_FALSE(FileExists(folder / L"late"));
    ASSERT_EQ(log.events.size(), 1u);
}

TEST_F(ScriptTest, PauseHoldsTheProgram)
{
    log.SetPaused(true);
    std::thread resumer([this] {
        Sleep(1500);
        // The program would have ended long ago had it run.
        EXPECT_FALSE(FileExists(folder / L"held"));
        log.SetPaused(false);
    });
    EXPECT_TRUE(Run(L"run " + Exit(0, 300, L"held")));
    resumer.join();
    EXPECT_TRUE(FileExists(folder / L"held"));
}

TEST_F(ScriptTest, IniLines)
{
    const std::wstring ini = folder / L"a.ini";
    EXPECT_TRUE(Run(L"ini WriteINIStr ##install##\\a.ini Main Path ##install##\r\n"
                    L"ini WriteINIStr \"##install##\\a.ini\" \"Two Words\" Key \"a value\"\r\n"
                    L"ini WriteINIStr ##install##\\a.ini Gone Key 1\r\n"
                    L"ini DeleteINISec ##install##\\a.ini Gone\r\n"
                    L"ini WriteINIStr ##install##\\a.ini Main Drop 1\r\n"
                    L"ini DeleteINIStr ##install##\\a.ini Main Drop\r\n"
                    L"ini WriteINIStr\r\n"));
    EXPECT_EQ(ReadIni(ini, L"Main", L"Path"), folder.Path());
    EXPECT_EQ(ReadIni(ini, L"Two Words", L"Key"), L"a value");
    EXPECT_EQ(ReadIni(ini, L"Gone", L"Key"), L"");
    EXPECT_EQ(ReadIni(ini, L"Main", L"Drop"), L"");
}

TEST_F(ScriptTest, IniLinesShortOfTokensThrow)
{
    const struct {
        const wchar_t* line;
        const char* message;
    } cases[] = {
        // "WriteINIStr参数个数错误" and "DeleteINIStr参数个数错误" in GBK.
        {L"ini WriteINIStr ##install##\\a.ini Main Path", "WriteINIStr\xB2\xCE\xCA\xFD\xB8\xF6\xCA\xFD\xB4\xED\xCE\xF3"},
        {L"ini DeleteINIStr ##install##\\a.ini Main", "DeleteINIStr\xB2\xCE\xCA\xFD\xB8\xF6\xCA\xFD\xB4\xED\xCE\xF3"},
    };
    for (const auto& each : cases) {
        VLSfxInstall install(folder / L"p.vlz");
        const std::wstring path = folder / L"t.txt";
        WriteFileBytes(path, Utf16File(each.line));
        install.ReadTaskFile(path);
        try {
            install.RunTasks();
            ADD_FAILURE() << "no exception for " << std::string(each.message);
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), each.message);
        }
    }
}

TEST_F(ScriptTest, ShortcutLines)
{
    const std::wstring target = HelperProgram(L"vltest_exit.exe");
    const std::wstring icon = folder / L"icons.dll";
    WriteFileBytes(icon, "x");
    EXPECT_TRUE(Run(L"CreateShortCut ##install##\\plain " + target + L"\r\n"
                    L"CreateShortCut ##install##\\Upper.LNK " + target + L" \"-a b\" " + icon + L" 3 1 0 \"the app\" ##install##\r\n"
                    L"CreateShortCut ##install##\\indexed.lnk " + target + L" \"\" \"\" 3\r\n"
                    L"CreateShortCut ##install##\\none.lnk " + target + L" \"\" \"\" -1\r\n"
                    L"CreateShortCut ##install##\\short.lnk\r\n"));
    VLComInit com;
    VLShortcutInfo plain, upper, indexed, none;
    {
        // Another reader holds the new link open, as the shell does.
        const VLHandle reader(CreateFileW((folder / L"plain.lnk").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader.Valid());
        ASSERT_TRUE(ReadShellLink(plain, folder / L"plain.lnk"));
    }
    EXPECT_EQ(plain.target, target);
    EXPECT_EQ(plain.workingFolder, GetFullPathFolder(target));
    ASSERT_TRUE(ReadShellLink(upper, folder / L"Upper.LNK"));
    EXPECT_FALSE(FileExists(folder / L"Upper.LNK.lnk"));
    EXPECT_EQ(upper.arguments, L"-a b");
    EXPECT_EQ(upper.iconPath, icon);
    EXPECT_EQ(upper.iconIndex, 0);
    EXPECT_EQ(upper.description, L"the app");
    EXPECT_EQ(upper.workingFolder, folder.Path());
    ASSERT_TRUE(ReadShellLink(indexed, folder / L"indexed.lnk"));
    EXPECT_EQ(indexed.iconPath, target);
    EXPECT_EQ(indexed.iconIndex, 3);
    ASSERT_TRUE(ReadShellLink(none, folder / L"none.lnk"));
    EXPECT_EQ(none.iconPath, L"");
    EXPECT_FALSE(FileExists(folder / L"short.lnk"));
}

TEST_F(ScriptTest, DeleteLines)
{
    ASSERT_TRUE(CreateDirectories(folder / L"tree\\sub"));
    WriteFileBytes(folder / L"tree\\sub\\f", "x");
    WriteFileBytes(folder / L"one", "x");
    WriteFileBytes(folder / L"two", "x");
    SetFileAttributesW((folder / L"one").c_str(), FILE_ATTRIBUTE_READONLY);
    // A keyword the machine cannot resolve leaves a relative path, which
    // must not reach whatever the current folder holds.
    install.GetKeywords().SetPath(L"unresolved", L"");
    ASSERT_TRUE(CreateDirectories(folder / L"cwd\\victim"));
    SetCurrentDirectoryW((folder / L"cwd").c_str());
    EXPECT_TRUE(Run(L"DeleteFile ##install##\\tree\r\nDeleteFile ##install##\\one\r\n"
                    L"DeleteFile ##install##\\two ##install##\\one\r\nDeleteFile ##unresolved##victim\r\n"
                    L"ini WriteINIStr ##unresolved##victim.ini S K V\r\n"));
    SetCurrentDirectoryW(folder.Path().c_str());
    EXPECT_FALSE(PathExists(folder / L"tree"));
    EXPECT_FALSE(FileExists(folder / L"one"));
    EXPECT_TRUE(FileExists(folder / L"two"));
    EXPECT_TRUE(DirectoryExists(folder / L"cwd\\victim"));
    EXPECT_FALSE(FileExists(folder / L"cwd\\victim.ini"));
    std::wstring windows;
    GetWindowsDir(windows);
    SetCurrentDirectoryW(windows.c_str());
}

} // namespace
} // namespace Velora
