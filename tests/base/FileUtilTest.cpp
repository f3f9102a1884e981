#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/StringUtil.h"

#include "tests/support/TestFolder.h"

#include <string>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

// Restores the current folder when a test moved it.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() { GetCurrentDir(saved_); }
    ~CurrentFolderGuard() { SetCurrentDirectoryW(saved_.c_str()); }

private:
    std::wstring saved_;
};

TEST(FileUtil, ExistenceIgnoresQuotesAndTrailingSeparators)
{
    TestFolder folder;
    const std::wstring file = folder / L"f.txt";
    WriteFileBytes(file, "x");
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(FileExists(L"\"" + file + L"\""));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_TRUE(DirectoryExists(folder.Path() + L"\\"));
    EXPECT_FALSE(FileExists(folder.Path()));
    std::wstring windows;
    ASSERT_TRUE(GetWindowsDir(windows));
    EXPECT_TRUE(DirectoryExists(windows + L"\\"));
    EXPECT_FALSE(PathExists(folder / L"missing"));
}

TEST(FileUtil, DeletingFiles)
{
    TestFolder folder;
    const std::wstring file = folder / L"ro.txt";
    WriteFileBytes(file, "x");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_FALSE(DeleteFileW(file.c_str())); // read-only files resist a plain delete
    EXPECT_TRUE(DeleteFileForce(file));
    EXPECT_FALSE(Exists(file));
    // The path is used as given: quotes are not removed.
    WriteFileBytes(file, "x");
    EXPECT_FALSE(DeleteFileForce(L"\"" + file + L"\""));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(DeleteFileNormal(L"\"" + file + L"\""));
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(DeleteFileNormal(file));
}

TEST(FileUtil, DeleteTreeCountsEverythingRemoved)
{
    TestFolder folder;
    const std::wstring tree = folder / L"tree";
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    WriteFileBytes(tree + L"\\a.txt", "a");
    WriteFileBytes(tree + L"\\b.txt", "b");
    SetFileAttributesW((tree + L"\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\empty").c_str(), nullptr));
    EXPECT_EQ(4u, DeleteTree(tree + L"\\"));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(0u, DeleteTree(tree));
    EXPECT_EQ(0u, DeleteTree(L""));
}

TEST(FileUtil, DeleteTreeOfTheCurrentFolder)
{
    TestFolder folder;
    CurrentFolderGuard guard;
    const std::wstring tree = folder / L"cwd";
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\sub").c_str(), nullptr));
    WriteFileBytes(tree + L"\\sub\\ro.txt", "x");
    SetFileAttributesW((tree + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(tree.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(SetCurrentDirectoryW(tree.c_str()));
    EXPECT_EQ(3u, DeleteTree(tree));
    EXPECT_FALSE(Exists(tree));
    std::wstring current;
    ASSERT_TRUE(GetCurrentDir(current));
    EXPECT_FALSE(StartsWithNoCase(current, tree));
}

TEST(FileUtil, DeleteTreeNeverFollowsLinks)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its link with the Unix host's ln";
    TestFolder folder;
    const std::wstring outside = folder / L"outside";
    const std::wstring tree = folder / L"tree";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    WriteFileBytes(outside + L"\\keep.txt", "precious");
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    WriteFileBytes(tree + L"\\own.txt", "x");
    ASSERT_TRUE(MakeHostLink(tree + L"\\link", outside) && MakeHostLink(tree + L"\\file", outside + L"\\keep.txt"));
    ASSERT_TRUE(GetFileAttributesW((tree + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    DeleteTree(tree);
    EXPECT_EQ("precious", ReadFileBytes(outside + L"\\keep.txt"));
    EXPECT_FALSE(Exists(tree + L"\\own.txt"));
    // The links themselves stay here: Wine opens what a link leads to, never
    // the link, so nothing is deleted through one. A link handed over
    // directly is not followed either.
    DeleteTree(tree + L"\\link");
    EXPECT_EQ("precious", ReadFileBytes(outside + L"\\keep.txt"));
    // What Wine left behind goes while its target still exists: Wine no
    // longer lists a dangling link, so the folder's clean-up would miss it.
    if (Exists(tree + L"\\link")) {
        const std::string link = UnixPath(tree + L"\\link");
        EXPECT_TRUE(RunUnixCommand(L"Z:\\bin\\rm -f " + std::wstring(link.begin(), link.end()),
                                   [](const std::wstring& p) { return !Exists(p); }, tree + L"\\link"));
    }
}

TEST(FileUtil, CreateDirectories)
{
    TestFolder folder;
    const std::wstring deep = folder / L"a\\b/c";
    EXPECT_TRUE(CreateDirectories(deep));
    EXPECT_TRUE(DirectoryExists(folder / L"a\\b\\c"));
    EXPECT_TRUE(CreateDirectories(deep));
    EXPECT_TRUE(CreateDirectories(folder / L"x\\y\\"));
    EXPECT_TRUE(DirectoryExists(folder / L"x\\y"));
    WriteFileBytes(folder / L"file", "x");
    EXPECT_FALSE(CreateDirectories(folder / L"file"));
    EXPECT_FALSE(CreateDirectories(folder / L"file\\below"));
}

TEST(FileUtil, SystemFolders)
{
    std::wstring windows, system, temp, current;
    ASSERT_TRUE(GetWindowsDir(windows));
    ASSERT_TRUE(GetSystemDir(system));
    EXPECT_TRUE(StartsWithNoCase(system, windows));
    ASSERT_TRUE(GetTempDir(temp));
    EXPECT_EQ(L'\\', temp.back());
    EXPECT_TRUE(DirectoryExists(temp));
    EXPECT_EQ(std::wstring::npos, temp.find(L'~')); // the long form
    ASSERT_TRUE(GetCurrentDir(current));
    EXPECT_TRUE(DirectoryExists(current));
}

TEST(FileUtil, FullPaths)
{
    TestFolder folder;
    CurrentFolderGuard guard;
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    std::wstring full;
    size_t fileIndex = 0;
    ASSERT_TRUE(GetFullPath(L"sub\\", full, fileIndex));
    EXPECT_EQ(folder / L"sub\\", full);
    EXPECT_EQ(full.size(), fileIndex);
    ASSERT_TRUE(GetFullPath(L"sub\\name.txt", full, fileIndex));
    EXPECT_EQ(L"name.txt", full.substr(fileIndex));
    EXPECT_EQ(L"name.txt", GetFullPathFileName(L"sub\\name.txt"));
    EXPECT_EQ(folder / L"sub\\", GetFullPathFolder(L"sub\\name.txt"));
}

TEST(FileUtil, NamesAndExtensions)
{
    struct Case { const wchar_t* path; const wchar_t* name; const wchar_t* extension; };
    const Case cases[] = {
        {L"C:\\a\\setup.exe", L"setup.exe", L".exe"}, {L"C:/a.b/c", L"c", L""},
        {L"a.tar.gz", L"a.tar.gz", L".gz"},           {L"C:\\a\\", L"", L""},
        {L"noext", L"noext", L""},                    {L"dir.d/file", L"file", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.name, GetFileName(c.path)) << c.path;
        EXPECT_EQ(c.extension, GetFileExtension(c.path)) << c.path;
    }
    const std::wstring self = GetModuleFilePath();
    EXPECT_TRUE(FileExists(self));
    EXPECT_EQ(0, CompareNoCase(L".exe", GetFileExtension(self)));
}

TEST(FileUtil, MakeUniqueFileNameStartsAtOne)
{
    TestFolder folder;
    std::wstring path = folder / L"pkg.vlz";
    EXPECT_TRUE(MakeUniqueFileName(path)); // the bare name is never the answer
    EXPECT_EQ(folder / L"pkg(1).vlz", path);
    WriteFileBytes(folder / L"pkg(1).vlz", "x");
    path = folder / L"pkg.vlz";
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(folder / L"pkg(2).vlz", path);
    std::wstring out;
    EXPECT_TRUE(NumberedNameExists(out, folder / L"pkg", 1, L".vlz"));
    EXPECT_EQ(folder / L"pkg(1).vlz", out);
    EXPECT_FALSE(NumberedNameExists(out, folder / L"pkg", 3, L".vlz"));
}

TEST(FileUtil, MoveFileReplace)
{
    TestFolder folder;
    const std::wstring target = folder / L"target.bin", source = folder / L"source.bin";
    WriteFileBytes(target, "old");
    WriteFileBytes(source, "new");
    ASSERT_TRUE(MoveFileReplace(target, source));
    EXPECT_EQ("new", ReadFileBytes(target));
    EXPECT_FALSE(Exists(source));
    EXPECT_FALSE(MoveFileReplace(target, folder / L"missing.bin"));
    EXPECT_EQ("new", ReadFileBytes(target));

    EXPECT_TRUE(MoveFileSimple(target, source));
    EXPECT_TRUE(MoveFileReplace(target, source)); // no target yet
    EXPECT_EQ("new", ReadFileBytes(target));
}

TEST(FileUtil, MoveFileReplaceOntoAnOpenTargetFailsAndKeepsIt)
{
    TestFolder folder;
    const std::wstring target = folder / L"target.bin", source = folder / L"source.bin";
    WriteFileBytes(target, "old");
    WriteFileBytes(source, "new");
    HANDLE holder = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_FALSE(MoveFileReplace(target, source));
    CloseHandle(holder);
    EXPECT_EQ("old", ReadFileBytes(target));
    EXPECT_EQ("new", ReadFileBytes(source));
    EXPECT_FALSE(Exists(folder / L"target(1).bin"));
}

TEST(FileUtil, SetFileTimesOnFilesAndFolders)
{
    TestFolder folder;
    WriteFileBytes(folder / L"f", "x");
    const FILETIME when = {0x11223300, 0x01C00000};
    for (const std::wstring& path : {folder / L"f", folder.Path()}) {
        ASSERT_TRUE(SetFileTimes(path, nullptr, nullptr, &when));
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(when.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);
        EXPECT_EQ(when.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
    }
    EXPECT_FALSE(SetFileTimes(folder / L"missing", nullptr, nullptr, &when));
}

TEST(FileUtil, SizedFiles)
{
    TestFolder folder;
    const std::wstring path = folder / L"sized.bin";
    const uint64_t size = 4ull << 30;
    ASSERT_TRUE(CreateSizedFile(path, size));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(size, uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    EXPECT_FALSE(CreateSizedFile(folder / L"missing\\x.bin", 10));

    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_FALSE(IsSparseFile(file));
    // Either one allocated range or, where the range query is unsupported
    // (Wine), "cannot tell" — which must count as gaps.
    EXPECT_TRUE(HasAllocationGaps(file));
    CloseHandle(file);
    EXPECT_FALSE(IsSparseFile(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(HasAllocationGaps(INVALID_HANDLE_VALUE));
}

TEST(FileUtil, Split)
{
    struct Case { const wchar_t* text; std::vector<std::wstring> pieces; };
    const Case cases[] = {
        {L"a,,b,", {L"a", L"", L"b"}}, {L"", {}}, {L",", {L""}}, {L"abc", {L"abc"}}, {L",a", {L"", L"a"}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> pieces = {L"kept"};
        Split(c.text, L',', pieces);
        std::vector<std::wstring> expected = {L"kept"};
        expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
        EXPECT_EQ(expected, pieces) << c.text;
    }
}

TEST(FileUtil, SplitCommandLine)
{
    struct Case { const wchar_t* text; std::vector<std::wstring> arguments; };
    const Case cases[] = {
        {L"x  \"a b\" y", {L"x", L"\"a b\"", L"y"}},
        {L"\"C:\\Program Files\\setup.exe\" /q", {L"\"C:\\Program Files\\setup.exe\"", L"/q"}},
        {L"\"say \\\"hi\\\" now\" next", {L"\"say \\\"hi\\\" now\"", L"next"}},
        {L"a\"b c", {L"a\"b", L"c"}},
        {L"   ", {}},
        {L"\"open", {L"\"open"}},
        {L"\"\" z", {L"\"\"", L"z"}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> arguments = {L"cleared"};
        SplitCommandLine(c.text, arguments);
        EXPECT_EQ(c.arguments, arguments) << c.text;
    }
}

} // namespace
