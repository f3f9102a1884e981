#include <gtest/gtest.h>

#include "base/FolderChanges.h"

#include "tests/support/TestFolder.h"

#include <string>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

std::vector<std::wstring> Heard(const VLFolderChanges& changes)
{
    std::vector<std::wstring> heard;
    for (const VLFolderChanges::Change& change : changes.Changes())
        heard.push_back(std::to_wstring(change.action) + L" " + change.name);
    return heard;
}

TEST(FolderChanges, HearsNamesInOrderOnlyWhileWatchedAndTellsWhenSomeWereLost)
{
    TestFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / L"a", "a") && WriteFileBytes(folder / L"d", "d"));
    VLFolderChanges changes(folder.Path());
    changes.Start();
    ASSERT_TRUE(MoveFileW((folder / L"a").c_str(), (folder / L"b").c_str()));
    ASSERT_TRUE(WriteFileBytes(folder / L"c", "c") && DeleteFileW((folder / L"d").c_str()));
    changes.Stop();
    ASSERT_TRUE(DeleteFileW((folder / L"c").c_str()));
    changes.Start();
    ASSERT_TRUE(MoveFileW((folder / L"b").c_str(), (folder / L"a").c_str()));
    changes.Stop();
    EXPECT_EQ(Heard(changes), (std::vector<std::wstring>{L"4 a", L"5 b", L"1 c", L"2 d", L"4 b", L"5 a"}));
    EXPECT_TRUE(changes.IsComplete());

    // Below the folder, which stays free to be deleted and made again while
    // watched.
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr) && WriteFileBytes(folder / L"sub\\x", "x"));
    VLFolderChanges below(folder.Path());
    below.Start();
    below.Reach(L"sub");
    ASSERT_TRUE(MoveFileW((folder / L"sub\\x").c_str(), (folder / L"sub\\y").c_str()));
    ASSERT_TRUE(DeleteFileW((folder / L"sub\\y").c_str()) && RemoveDirectoryW((folder / L"sub").c_str()));
    EXPECT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr)) << GetLastError();
    EXPECT_TRUE(WriteFileBytes(folder / L"sub\\z", "z"));
    ASSERT_TRUE(MoveFileW((folder / L"sub").c_str(), (folder / L"sub2").c_str()));
    below.Stop();
    EXPECT_EQ(Heard(below), (std::vector<std::wstring>{L"4 sub\\x", L"5 sub\\y", L"2 sub\\y", L"2 sub", L"1 sub",
                                                        L"1 sub\\z", L"4 sub", L"5 sub2"}));
    EXPECT_TRUE(below.IsComplete());

    // More than the system keeps between two reads.
    changes.Start();
    for (int i = 0; i < 2000; ++i) {
        const std::wstring name = folder / (L"many-" + std::to_wstring(i));
        ASSERT_TRUE(WriteFileBytes(name, "") && DeleteFileW(name.c_str()));
    }
    changes.Stop();
    EXPECT_FALSE(changes.IsComplete());
}

} // namespace
