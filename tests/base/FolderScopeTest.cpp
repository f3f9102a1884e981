#include <gtest/gtest.h>

#include "base/FolderScope.h"

#include <string>

using namespace Velora;

namespace {

TEST(FolderScope, NormalFullPaths)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:/w//.\\b\\..\\a/", L"C:\\w\\a"},
        {L"\\\\?\\UNC\\srv\\share\\a", L"\\\\srv\\share\\a"},
        {L"//srv/share/a/../b", L"\\\\srv\\share\\b"},
        {L"C:\\..\\a", nullptr},
        {L"\\\\srv\\share\\..\\other", nullptr},
        {L"\\\\.\\C:\\a", nullptr},
        {L"C:\\w\\com1.txt\\a", nullptr},
        {L"C:\\w\\CON .log", nullptr},
        {L"C:\\w\\conout$", nullptr},
        {L"C:\\w\\a.", nullptr},
        {L"C:\\w\\a \\b", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring normal;
        EXPECT_EQ(c.second != nullptr, GetNormalFullPath(c.first, normal)) << c.first;
        EXPECT_EQ(c.second ? c.second : L"", c.second ? normal : L"") << c.first;
    }
}

TEST(FolderScope, WhatLiesInTheFolder)
{
    const VLFolderScope scope(L"c:/Temp/w/");
    EXPECT_TRUE(scope.IsFolder(L"C:\\TEMP\\W"));
    std::wstring entry;
    EXPECT_TRUE(scope.Holds(L"\\\\?\\C:\\Temp\\x\\..\\w\\d\\e", &entry));
    EXPECT_EQ(L"d", entry);
    EXPECT_FALSE(scope.HoldsEntry(L"C:\\Temp\\w\\d\\e"));
    EXPECT_TRUE(scope.HoldsEntry(L"C:\\Temp\\w\\a.vll", &entry));
    EXPECT_EQ(L"a.vll", entry);
    for (const wchar_t* outside : {L"C:\\Temp\\w", L"C:\\Temp\\w2\\a", L"C:\\Temp\\w\\..\\v\\a", L"w\\a"})
        EXPECT_FALSE(scope.Holds(outside)) << outside;
}

} // namespace
