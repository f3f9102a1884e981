// Where the changes a watch heard lead a file, spelled as Wine reports them
// (a renamed folder's changes under the name it had) and as Windows does (a
// move between folders as a removal and an addition; a renamed folder's
// changes under its new name).
#include "install/NameTree.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Velora {
namespace {

TEST(NameTree, ChangesLeadToWhereAFileIsHoweverTheSystemSpellsThem)
{
    constexpr DWORD kOld = FILE_ACTION_RENAMED_OLD_NAME, kNew = FILE_ACTION_RENAMED_NEW_NAME;
    const struct {
        std::vector<VLFolderChanges::Change> changes;
        std::wstring lead; // below C:\w, where the file is now
    } rows[] = {
        // Wine: the folder's changes under the name it had.
        {{{kOld, L"app\\sub"}, {kNew, L"app\\old"}, {kOld, L"app\\sub\\s.dat"}, {kNew, L"app\\sub\\t.dat"}},
         L"app\\old\\t.dat"},
        // Windows: under its new name.
        {{{kOld, L"app\\sub"}, {kNew, L"app\\old"}, {kOld, L"app\\old\\s.dat"}, {kNew, L"app\\old\\t.dat"}},
         L"app\\old\\t.dat"},
        // A move between folders as a removal and an addition, then moved on.
        {{{FILE_ACTION_REMOVED, L"app\\sub\\s.dat"}, {FILE_ACTION_ADDED, L"side\\m.dat"}}, L"side\\m.dat"},
        {{{FILE_ACTION_REMOVED, L"app\\sub\\s.dat"},
          {FILE_ACTION_ADDED, L"side\\m.dat"},
          {kOld, L"side"},
          {kNew, L"side2"}},
         L"side2\\m.dat"},
    };
    for (const auto& row : rows) {
        VLNameTree tree;
        tree.Place(L"C:\\w\\app\\sub\\s.dat", 0);
        tree.Follow(L"C:\\w", row.changes);
        const std::wstring lead = L"C:\\w\\" + row.lead;
        const std::vector<std::wstring> made = tree.Made();
        const VLNameTree::Fate fate = tree.FateOf(0);
        EXPECT_TRUE((!fate.removed && fate.path == lead) || std::count(made.begin(), made.end(), lead) == 1)
            << ::testing::PrintToString(row.lead) << " " << ::testing::PrintToString(made);
    }
}

} // namespace
} // namespace Velora
