// Files reached through links, made by the Unix host's ln as a user would
// make them on Windows: each is refused, and nothing outside changes.
#include "base/PlainFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using namespace Velora::Test;

TEST(PlainFile, OnlyTheFileAPathNamesIsOpenedWrittenRenamedOrDeleted)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its links with the Unix host's ln";
    TestFolder top;
    const std::wstring work = top / L"work", outside = top / L"outside";
    ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr) && CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\victim.txt", "precious") && WriteFileBytes(work + L"\\own.txt", "mine"));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\hard.txt", "shared"));
    ASSERT_TRUE(CreateHardLinkW((work + L"\\hard.txt").c_str(), (outside + L"\\hard.txt").c_str(), nullptr));
    ASSERT_TRUE(MakeHostLink(work + L"\\file", outside + L"\\victim.txt"));
    ASSERT_TRUE(MakeHostLink(work + L"\\dir", outside));
    ASSERT_TRUE(MakeHostLink(work + L"\\sibling", work + L"\\own.txt"));
    ASSERT_TRUE(MakeHostLink(top / L"worklink", work));
    const std::string before = TreeListing(outside);

    struct Case {
        const wchar_t* path;
        bool reads, writes;
        DWORD error; // of the write
    };
    const Case cases[] = {
        {L"work\\sibling", false, false, kErrLinkInPath},
        {L"work\\file", false, false, kErrLinkInPath},
        {L"work\\dir\\victim.txt", false, false, kErrLinkInPath},
        {L"work\\dir\\new.txt", false, false, kErrLinkInPath},
        {L"worklink\\own.txt", false, false, kErrLinkInPath},
        {L"work\\hard.txt", true, false, ERROR_TOO_MANY_LINKS},
        {L"work\\new.txt", false, true, 0},
        {L"work\\own.txt", true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
        const std::wstring path = top / c.path;
        VLPlainFile file;
        EXPECT_EQ(c.reads, file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
        for (DWORD disposition : {DWORD(OPEN_ALWAYS), DWORD(CREATE_ALWAYS)}) {
            EXPECT_EQ(c.writes, file.Open(path, GENERIC_WRITE, 0, disposition));
            if (!c.writes) {
                EXPECT_EQ(c.error, GetLastError());
            }
        }
        file.file.handle.Reset();
        EXPECT_EQ(c.writes || c.reads, DeletePlainFile(path));
        EXPECT_EQ(c.writes || c.reads, IsPlainPath(path + L"\\deeper"));
        EXPECT_EQ(before, TreeListing(outside));
    }

    EXPECT_TRUE(IsPlainFolder(work));
    EXPECT_TRUE(CreatePlainFolder(work + L"\\a\\b"));
    for (const wchar_t* folder : {L"worklink", L"work\\dir", L"work\\dir\\made\\deeper"}) {
        EXPECT_FALSE(IsPlainFolder(top / folder));
        EXPECT_FALSE(CreatePlainFolder(top / folder));
    }
    VLPlainFile moved;
    ASSERT_TRUE(moved.Open(work + L"\\a\\b\\m.txt", GENERIC_WRITE | DELETE, 0, CREATE_NEW));
    EXPECT_FALSE(moved.Rename(work + L"\\dir\\m.txt", true));
    EXPECT_TRUE(moved.Rename(work + L"\\m.txt", true));
    moved.file.handle.Reset();
    EXPECT_TRUE(Exists(work + L"\\m.txt"));
    EXPECT_EQ(before, TreeListing(outside));
}

} // namespace
} // namespace Velora
