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
