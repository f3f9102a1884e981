#include "install/FolderKeywords.h"

#include "base/StringUtil.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

namespace Velora {
namespace {

std::wstring ShellFolder(int id)
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, buffer, id, FALSE);
    std::wstring path = buffer;
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

TEST(FolderKeywords, BuiltInKeywordsNameTheShellFolders)
{
    const VLFolderKeywords keywords;
    const struct {
        const wchar_t* keyword;
        int id;
    } cases[] = {
        {L"program_files", CSIDL_PROGRAM_FILES}, {L"windows", CSIDL_WINDOWS},   {L"fonts", CSIDL_FONTS},
        {L"my_desktop", CSIDL_DESKTOPDIRECTORY}, {L"my_appdata", CSIDL_APPDATA}, {L"all_appdata", CSIDL_COMMON_APPDATA},
        {L"my_local_appdata", CSIDL_LOCAL_APPDATA}, {L"my_doc", CSIDL_PERSONAL},
    };
    for (const auto& each : cases) {
        EXPECT_FALSE(keywords.GetPath(each.keyword).empty()) << each.keyword;
        EXPECT_EQ(keywords.GetPath(each.keyword), ShellFolder(each.id)) << each.keyword;
    }
    EXPECT_EQ(keywords.GetPath(L"system_driver"), ExpandEnvironment(L"%HOMEDRIVE%"));
    EXPECT_EQ(keywords.GetPath(L"all_users"), ExpandEnvironment(L"%ALLUSERSPROFILE%"));
    EXPECT_TRUE(keywords.Contains(L"Program_Files"));
    EXPECT_FALSE(keywords.Contains(L"nokey"));
    EXPECT_EQ(keywords.GetPath(L"nokey"), L"");
}

TEST(FolderKeywords, ExpandReplacesTokensUntilAnUnknownOne)
{
    const VLFolderKeywords keywords;
    const std::wstring windows = keywords.GetPath(L"windows");
    const std::wstring fonts = keywords.GetPath(L"fonts");
    const std::wstring programs = keywords.GetPath(L"program_files");
    const struct {
        std::wstring text;
        std::wstring expected;
    } cases[] = {
        {L"##PROGRAM_FILES##\\App", programs + L"\\App"},
        {L"a##nokey##b##windows##c", L"a##nokey##b##windows##c"},
        {L"##windows####fonts##", windows + fonts},
        {L"##windows##\\a;##Windows##\\b", windows + L"\\a;" + windows + L"\\b"},
        {L"####", L"####"},
        {L"plain text", L"plain text"},
        {L"one ## only", L"one ## only"},
        {L"", L""},
    };
    for (const auto& each : cases) EXPECT_EQ(keywords.Expand(each.text), each.expected) << each.text;
}

TEST(FolderKeywords, RunTimeKeywordsAreCleanedAndShadowBuiltIns)
{
    VLFolderKeywords keywords;
    keywords.SetPath(L"Install", L"\"C:\\x\\\"");
    EXPECT_EQ(keywords.Expand(L"##install##\\bin"), L"C:\\x\\bin");
    keywords.SetPath(L"install", L"C:/y/z/");
    EXPECT_EQ(keywords.GetPath(L"INSTALL"), L"C:\\y\\z");
    keywords.SetPath(L"windows", L"D:\\w");
    EXPECT_EQ(keywords.Expand(L"##windows##\\x"), L"D:\\w\\x");
    keywords.SetPath(L"", L"C:\\nothing");
    EXPECT_FALSE(keywords.Contains(L""));
}

TEST(FolderKeywords, ExpansionThatFeedsItselfEnds)
{
    VLFolderKeywords keywords;
    keywords.SetPath(L"install", L"C:\\a");
    // A folder holding its own token is refused: the old value stays.
    keywords.SetPath(L"install", L"C:\\##Install##\\b");
    EXPECT_EQ(keywords.GetPath(L"install"), L"C:\\a");
    // Two keywords naming each other are cut off after a bounded number of passes.
    keywords.SetPath(L"ping", L"##pong##x");
    keywords.SetPath(L"pong", L"##ping##y");
    const std::wstring expanded = keywords.Expand(L"##ping##");
    EXPECT_NE(expanded.find(L"##"), std::wstring::npos);
    EXPECT_LT(expanded.size(), 1000u);
}

} // namespace
} // namespace Velora
