// Plain-file checks over the machine's own folders: names the system maps
// (the system folder of a 32-bit program on 64-bit Windows), and folders the
// system gives that are links, with a link planted below them.
#include "base/PlainFile.h"

#include "base/FileUtil.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

namespace Velora {
namespace {

using namespace Velora::Test;

TEST(PlainFile, NamesTheSystemMapsAreTakenWhereItsOpenLands)
{
    std::wstring system, windows;
    ASSERT_TRUE(GetSystemDir(system) && GetSystemWindowsDir(windows));
    wchar_t wow64[MAX_PATH] = {};
    const bool onWow64 = GetSystemWow64DirectoryW(wow64, MAX_PATH) != 0;
    const struct {
        std::wstring folder;
        bool plain;
    } rows[] = {
        {windows, true},
        {system, true},
        // Exempt from the redirection: the 64-bit one on 64-bit Windows.
        {system + L"\\drivers\\etc", true},
        // The 64-bit system folder, only on 64-bit Windows.
        {windows + L"\\sysnative", onWow64},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsPlainFolder(row.folder), row.plain) << std::string(row.folder.begin(), row.folder.end());

    // Made, renamed and deleted by the system folder's name, where a 32-bit
    // program's open of that name finds it.
    const std::wstring made = system + L"\\vltest-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    VLPlainFile file;
    ASSERT_TRUE(file.Open(made, GENERIC_WRITE | DELETE, 0, CREATE_NEW));
    ASSERT_TRUE(file.Rename(made + L".~vl0", false));
    EXPECT_TRUE(Exists(made + L".~vl0"));
    if (onWow64) {
        EXPECT_TRUE(Exists(std::wstring(wow64) + made.substr(system.size()) + L".~vl0"));
    }
    EXPECT_TRUE(file.Delete());
    file.file.Close();
    EXPECT_FALSE(Exists(made + L".~vl0"));
}

TEST(PlainFile, SystemFoldersAreTakenWhereTheyLeadButLinksBelowThemAreNot)
{
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PERSONAL, FALSE));
    const std::wstring documents = buffer;
    if (IsPlainFolder(documents)) GTEST_SKIP() << "the documents folder is no link here";
    TestFolder folder;
    const std::wstring stem = documents + L"\\" + UniqueName();
    const std::wstring sub = stem + L"-made", link = stem + L"-link";
    ASSERT_TRUE(MakeHostLink(link, folder.Path()));
    {
        const VLSystemFolders given({documents});
        EXPECT_TRUE(IsPlainFolder(documents));
        EXPECT_TRUE(CreatePlainFolder(sub));
        VLPlainFile file;
        EXPECT_TRUE(file.Open(sub + L"\\f.txt", GENERIC_WRITE, 0, CREATE_NEW));
        file.file.Close();
        EXPECT_TRUE(DeletePlainFile(sub + L"\\f.txt"));
        EXPECT_TRUE(DeletePlainFile(sub));
        // Below the documents folder, a link is refused as anywhere.
        EXPECT_FALSE(IsPlainFolder(link));
        EXPECT_FALSE(file.Open(link + L"\\f.txt", GENERIC_WRITE, 0, CREATE_NEW));
        EXPECT_EQ(GetLastError(), kErrLinkInPath);
    }
    EXPECT_FALSE(IsPlainFolder(documents));
    EXPECT_FALSE(Exists(sub));
    EXPECT_FALSE(Exists(folder / L"f.txt"));
    EXPECT_TRUE(RemoveHostLink(link));
}

} // namespace
} // namespace Velora
