// The folders the system gives behind links are tried through whole packages
// in the install tests.
#include "base/PlainFile.h"

#include "base/FileUtil.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace Velora {
namespace {

using namespace Velora::Test;

TEST(PlainFile, ASecondNameIsRefusedForItsBytes)
{
    TestFolder folder, outside;
    ASSERT_TRUE(WriteFileBytes(folder / L"own.dat", "own") && WriteFileBytes(outside / L"victim.dat", "victim"));
    ASSERT_TRUE(CreateHardLinkW((folder / L"linked.dat").c_str(), (outside / L"victim.dat").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    // The bytes of a second name are some other file's; the name itself,
    // renamed or deleted, is this folder's own.
    const struct {
        DWORD access;
        bool linkedOpens;
    } rows[] = {{GENERIC_READ, false},
                {GENERIC_WRITE, false},
                {FILE_READ_ATTRIBUTES, true},
                {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, true}};
    for (const wchar_t* name : {L"own.dat", L"sub", L"linked.dat"}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << name << " " << std::hex << row.access);
            VLPlainFile file;
            const bool opened = file.Open(folder / name, row.access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
            EXPECT_EQ(std::wstring(name) != L"linked.dat" || row.linkedOpens, opened);
            if (!opened) {
                EXPECT_EQ(DWORD(ERROR_TOO_MANY_LINKS), GetLastError());
            }
        }
    }
    // Nor is a second name made writable by opening it to be emptied.
    VLPlainFile file;
    EXPECT_FALSE(file.Open(folder / L"linked.dat", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ("victim", ReadFileBytes(outside / L"victim.dat"));
}

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

} // namespace
} // namespace Velora
