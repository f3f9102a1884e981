#include "install/DependSoftSetupInstaller.h"

#include "base/FileUtil.h"
#include "install/TempFile.h"

#include "InstallTestUtil.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using Test::HelperProgram;
using Test::ReadIni;
using Test::SavedVariable;
using Test::TestFolder;

// Polls as the repair thread does; false when the installer never ends.
bool WaitUntilDone(VLDependSoftInstallerBase& installer)
{
    for (int i = 0; i < 300; ++i) {
        if (installer.Wait(100)) return true;
    }
    return false;
}

TEST(SetupInstaller, ResultOneOfTheReportIsSuccess)
{
    const struct {
        const wchar_t* result; // null: the program writes no report
        bool succeeded;
    } cases[] = {
        {L"1", true}, {L"1ab", true}, {L"0", false}, {L"10", false},
        {L"yes", false}, {L"1000", false}, {nullptr, false},
    };
    SavedVariable saved(L"VLTEST_SETUP_RESULT");
    TestFolder folder;
    for (const auto& each : cases) {
        SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", each.result);
        VLDependSoftSetupInstaller installer;
        ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
        ASSERT_TRUE(WaitUntilDone(installer));
        EXPECT_EQ(installer.IsSucceeded(), each.succeeded) << (each.result ? each.result : L"(none)");
        EXPECT_EQ(installer.GetProgress(), 0);
    }
}

TEST(SetupInstaller, ExchangeFileLivesAsLongAsTheInstaller)
{
    SavedVariable saved(L"VLTEST_SETUP_RESULT");
    SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", L"1");
    TestFolder folder;
    std::wstring exchange;
    {
        VLDependSoftSetupInstaller installer;
        ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
        ASSERT_TRUE(WaitUntilDone(installer));
        exchange = installer.GetExchangeFile();
        std::wstring temp;
        ASSERT_TRUE(GetTempDir(temp));
        EXPECT_EQ(GetFullPathFolder(exchange), temp);
        EXPECT_EQ(GetFileName(exchange).substr(0, 3), L"VL~");
        EXPECT_EQ(GetFileExtension(exchange), L".tmp");
        // The program found the folder when it started, and got the path as
        // its whole parameter text.
        EXPECT_EQ(ReadIni(exchange, L"seen", L"dir"), folder.Path());
        EXPECT_EQ(ReadIni(exchange, L"seen", L"parameters"), exchange);
        EXPECT_TRUE(installer.IsSucceeded());
        EXPECT_TRUE(installer.IsSucceeded());
    }
    EXPECT_FALSE(FileExists(exchange));
}

TEST(SetupInstaller, ExchangePathWithBlanksArrivesUnquoted)
{
    SavedVariable savedResult(L"VLTEST_SETUP_RESULT"), savedTmp(L"TMP"), savedTemp(L"TEMP");
    SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", L"1");
    TestFolder folder;
    const std::wstring spaced = folder / L"with blanks";
    ASSERT_TRUE(CreateDirectories(spaced));
    SetEnvironmentVariableW(L"TMP", spaced.c_str());
    SetEnvironmentVariableW(L"TEMP", spaced.c_str());
    VLDependSoftSetupInstaller installer;
    ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
    ASSERT_TRUE(WaitUntilDone(installer));
    EXPECT_EQ(GetFullPathFolder(installer.GetExchangeFile()), spaced + L"\\");
    EXPECT_EQ(ReadIni(installer.GetExchangeFile(), L"seen", L"parameters"), installer.GetExchangeFile());
    EXPECT_TRUE(installer.IsSucceeded());
}

TEST(SetupInstaller, NothingToRunEndsTheWaitAtOnce)
{
    TestFolder folder;
    VLDependSoftSetupInstaller installer;
    EXPECT_FALSE(installer.Install(40018, (folder / L"missing.exe").c_str(), folder.Path().c_str()));
    EXPECT_TRUE(installer.Wait(0));
    EXPECT_FALSE(installer.IsSucceeded());

}

TEST(TempFile, FallsBackToTheWindowsFolderAndDeletesWhatItOwns)
{
    SavedVariable savedTmp(L"TMP"), savedTemp(L"TEMP");
    TestFolder folder;
    const std::wstring missing = folder / L"no such folder";
    SetEnvironmentVariableW(L"TMP", missing.c_str());
    SetEnvironmentVariableW(L"TEMP", missing.c_str());
    std::wstring windows;
    ASSERT_TRUE(GetWindowsDir(windows));
    std::wstring first, second;
    {
        VLTempFile file;
        ASSERT_TRUE(file.CreateSetupIni(first));
        EXPECT_EQ(GetFullPathFolder(first), windows + L"\\");
        EXPECT_TRUE(FileExists(first));
        // A new file replaces the one the holder owned.
        ASSERT_TRUE(file.CreateIn(folder.Path(), L"VL~", second));
        EXPECT_FALSE(FileExists(first));
        EXPECT_TRUE(FileExists(second));
    }
    EXPECT_FALSE(FileExists(second));
}

} // namespace
} // namespace Velora
