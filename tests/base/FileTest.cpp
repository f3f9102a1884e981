#include <gtest/gtest.h>

#include "base/Event.h"
#include "base/File.h"
#include "base/FindFile.h"

#include "tests/support/TestFolder.h"

#include <algorithm>
#include <set>
#include <string>

using namespace Velora;
using namespace Velora::Test;

namespace {

TEST(VLFile, ReadWriteAndEndOfFile)
{
    TestFolder folder;
    const std::wstring path = folder / L"data.bin";
    VLFile file;
    DWORD done = 99;
    EXPECT_FALSE(file.Read(&done, 1, &done)); // closed
    ASSERT_TRUE(file.Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(file.Write(nullptr, 1, &done));
    ASSERT_TRUE(file.Write("hello", 5, &done));
    EXPECT_EQ(5u, done);
    uint64_t size = 0;
    ASSERT_TRUE(file.GetSize(size));
    EXPECT_EQ(5u, size);
    ASSERT_TRUE(file.SeekToBegin());
    char text[8] = {};
    ASSERT_TRUE(file.Read(text, 8, &done));
    EXPECT_EQ(5u, done);
    EXPECT_STREQ("hello", text);
    done = 99;
    EXPECT_FALSE(file.Read(text, 8, &done));
    EXPECT_EQ(0u, done);
    uint64_t position = 0;
    ASSERT_TRUE(file.Seek(-2, FILE_END, &position));
    EXPECT_EQ(3u, position);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.GetSize(size));
    EXPECT_FALSE(file.Seek(0, FILE_BEGIN, &position));
}

TEST(VLFile, PositionsAndSizesBeyond4GiB)
{
    TestFolder folder;
    VLFile file;
    ASSERT_TRUE(file.Open(folder / L"big.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    const uint64_t beyond = 0x100000000ull + 0xFFFFFFFFull; // low word all ones
    uint64_t position = 0;
    ASSERT_TRUE(file.Seek(int64_t(beyond), FILE_BEGIN, &position));
    EXPECT_EQ(beyond, position);
    DWORD done = 0;
    ASSERT_TRUE(file.Write("x", 1, &done));
    uint64_t size = 0;
    SetLastError(ERROR_ACCESS_DENIED); // a stale error must not matter
    ASSERT_TRUE(file.GetSize(size));
    EXPECT_EQ(beyond + 1, size);
    ASSERT_TRUE(file.Seek(-1, FILE_CURRENT, &position));
    EXPECT_EQ(beyond, position);
    char byte = 0;
    ASSERT_TRUE(file.Read(&byte, 1, &done));
    EXPECT_EQ('x', byte);
}

TEST(VLFile, SetTime)
{
    TestFolder folder;
    VLFile file;
    ASSERT_TRUE(file.Open(folder / L"t.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    const FILETIME written = {0x12345600, 0x01D00000};
    ASSERT_TRUE(file.SetTime(nullptr, nullptr, &written));
    FILETIME creation, access, write;
    ASSERT_TRUE(GetFileTime(file.handle.Get(), &creation, &access, &write));
    EXPECT_EQ(written.dwHighDateTime, write.dwHighDateTime);
    EXPECT_EQ(written.dwLowDateTime, write.dwLowDateTime);
}

TEST(VLFindFile, ListsEntries)
{
    TestFolder folder;
    WriteFileBytes(folder / L"a.txt", "12345");
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));

    VLFindFile find;
    VLFindData entry;
    std::set<std::wstring> names;
    int dots = 0;
    for (bool found = find.FindFirst(folder / L"*.*", entry); found; found = find.FindNext(entry)) {
        if (entry.IsDots()) {
            ++dots;
            continue;
        }
        names.insert(entry.name);
        if (entry.name == L"a.txt") {
            EXPECT_EQ(5u, entry.size);
            EXPECT_FALSE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    EXPECT_EQ(2, dots);
    EXPECT_EQ(1u, names.count(L"a.txt"));
    EXPECT_EQ(1u, names.count(L"sub"));
    EXPECT_FALSE(find.FindFirst(folder / L"*.none", entry));
}

TEST(VLFindData, IsDotsOnlyForFolders)
{
    struct Case { const wchar_t* name; DWORD attributes; bool dots; };
    const Case cases[] = {
        {L".", FILE_ATTRIBUTE_DIRECTORY, true},   {L"..", FILE_ATTRIBUTE_DIRECTORY, true},
        {L".", FILE_ATTRIBUTE_ARCHIVE, false},    {L"...", FILE_ATTRIBUTE_DIRECTORY, false},
        {L".a", FILE_ATTRIBUTE_DIRECTORY, false},
    };
    for (const Case& c : cases) {
        WIN32_FIND_DATAW raw = {};
        raw.dwFileAttributes = c.attributes;
        raw.nFileSizeHigh = 1;
        raw.nFileSizeLow = 2;
        wcscpy(raw.cFileName, c.name);
        VLFindData data;
        data.Assign(raw);
        EXPECT_EQ(0x100000002ull, data.size);
        EXPECT_EQ(c.dots, data.IsDots()) << c.name;
    }
}

TEST(VLEvent, SetSignalsOrReportsTheError)
{
    VLEvent event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(0u, event.Set());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.handle.Get(), 0));
    VLEvent none;
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), none.Set());
}

} // namespace
