#include <gtest/gtest.h>

#include "base/PathUtil.h"

#include <string>

using namespace Velora;

namespace {

TEST(PathUtil, NormalizePathFlags)
{
    struct Case { const wchar_t* path; unsigned flags; const wchar_t* result; };
    const Case cases[] = {
        {L"A\\b", kPathLowerCase, L"a\\b"},
        {L"a\\B", kPathUpperCase, L"A\\B"},
        {L"\"C:\\x\"", kPathStripQuotes, L"C:\\x"},
        {L"\"", kPathStripQuotes, L"\""},
        {L"a\\\\", kPathOneTrailingSeparator, L"a\\"},
        {L"a/", kPathOneTrailingSeparator, L"a\\"},
        {L"a", kPathOneTrailingSeparator, L"a\\"},
        {L"", kPathOneTrailingSeparator, L""},
        {L"a\\/\\", kPathNoTrailingSeparator, L"a"},
        {L"a/b/", kPathBackslashes, L"a\\b\\"},
        {L"\"C:\\x\\\"", kPathPlain, L"C:\\x"},
        // Quotes go before separators: a quoted path with a trailing separator.
        {L"\"a\\\"", kPathStripQuotes | kPathOneTrailingSeparator, L"a\\"},
        // Separators go before slashes turn: "a/" loses its slash first.
        {L"a/b/", kPathNoTrailingSeparator | kPathBackslashes, L"a\\b"},
    };
    for (const Case& c : cases) {
        std::wstring path = c.path;
        NormalizePath(path, c.flags);
        EXPECT_EQ(c.result, path) << c.path << L" " << c.flags;
    }
}

TEST(PathUtil, IsAbsolutePath)
{
    EXPECT_TRUE(IsAbsolutePath(L"C:"));
    EXPECT_TRUE(IsAbsolutePath(L"C:\\x"));
    EXPECT_TRUE(IsAbsolutePath(L"C:/x"));
    EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\share"));
    EXPECT_FALSE(IsAbsolutePath(L"C"));
    EXPECT_FALSE(IsAbsolutePath(L"C:x"));
    EXPECT_FALSE(IsAbsolutePath(L"\\x"));
    EXPECT_FALSE(IsAbsolutePath(L"x\\y"));
    EXPECT_FALSE(IsAbsolutePath(L""));
}

TEST(PathUtil, CombinePath)
{
    struct Case { const wchar_t* folder; const wchar_t* path; const wchar_t* result; };
    const Case cases[] = {
        {L"\"C:\\x/\"", L"\\y", L"C:\\x\\y"},
        {L"C:\\x", L"y\\z", L"C:\\x\\y\\z"},
        {L"C:\\x\\\\", L"//y", L"C:\\x\\y"},
        {L"C:\\x", L"D:\\abs", L"D:\\abs"},
        {L"C:\\x", L"\"\\\\srv\\share\"", L"\\\\srv\\share"},
        {L"C:\\x", L"D:", L"D:"},
        {L"", L"\\rel", L"rel"},
        {L"C:\\x", L"\\", L"C:\\x\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, CombinePath(c.folder, c.path)) << c.folder << L" + " << c.path;
}

TEST(PathUtil, SafeEntryNamesAndRelativePaths)
{
    struct Case {
        std::wstring text;
        bool name, path;
    };
    const Case cases[] = {
        {L"a.txt", true, true},
        {L".hidden", true, true},
        {L"a. b", true, true},
        {L"", false, false},
        {L".", false, false},
        {L"..", false, false},
        {L"...", false, false},
        {L" ", false, false},
        {L". .", false, false},
        {L".. ", false, false},
        {L"a\\b", false, true},
        {L"a//b/", false, true},
        {L"a\\..\\b", false, false},
        {L"a/ ./b", false, false},
        {L"\\a", false, false},
        {L"/a", false, false},
        {L"C:a", false, false},
        {L"a:b", false, false},
        {std::wstring(L"a\0b", 3), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.name, IsSafeEntryName(c.text)) << L"[" << c.text << L"]";
        EXPECT_EQ(c.path, IsSafeRelativePath(c.text)) << L"[" << c.text << L"]";
    }
}

TEST(PathUtil, Parents)
{
    EXPECT_EQ(L"C:\\a\\", GetParentPath(L"C:\\a\\b.txt"));
    EXPECT_EQ(L"C:\\a\\b\\", GetParentPath(L"C:\\a\\b\\"));
    EXPECT_EQ(L"a/b/c", GetParentPath(L"a/b/c"));
    EXPECT_EQ(L"C:\\", GetGrandParentPath(L"C:\\a\\b.txt"));
    EXPECT_EQ(L"C:\\a\\", GetGrandParentPath(L"C:\\a\\b\\c"));
    EXPECT_EQ(L"C:\\a\\b\\", GetGrandParentPath(L"C:\\a\\b\\c\\"));
}

TEST(PathUtil, SameFolder)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    } cases[] = {
        {L"C:\\Seeds", L"c:\\seeds\\", true},
        {L"C:\\Seeds\\/", L"C:\\Seeds", true},
        {L"C:\\Seeds", L"C:\\Seeds2", false},
        {L"C:\\Seeds\\a", L"C:\\Seeds", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.same, IsSameFolder(c.a, c.b)) << c.a << L" " << c.b;
}

TEST(PathUtil, Quoting)
{
    EXPECT_EQ(L"\"a b\"", Quote(L"a b"));
    EXPECT_EQ(L"\"\"", Quote(L""));
    EXPECT_EQ(L"\"x", PrependQuote(L"x"));
    EXPECT_EQ(L"x;", AppendChar(L"x", L';'));
    EXPECT_EQ(L"\"", QuoteChar());
}

} // namespace
