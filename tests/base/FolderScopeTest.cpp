#include <gtest/gtest.h>

#include "base/FolderScope.h"

#include <string>

using namespace Velora;

namespace {

TEST(FolderScope, NormalFullPaths)
{
    const struct {
        const wchar_t* path;
        const wchar_t* normal; // null: refused
    } cases[] = {
        {L"C:\\w\\a", L"C:\\w\\a"},
        {L"C:/w//a/", L"C:\\w\\a"},
        {L"C:\\w\\.\\b\\..\\a", L"C:\\w\\a"},
        {L"\\\\?\\C:\\w\\a", L"C:\\w\\a"},
        {L"\\\\?\\UNC\\srv\\share\\a", L"\\\\srv\\share\\a"},
        {L"//srv/share/a/../b", L"\\\\srv\\share\\b"},
        {L"C:", L"C:"},
        {L"C:\\..\\a", nullptr},
        {L"\\\\srv\\share\\..\\other", nullptr},
        {L"C:a", nullptr},
        {L"a\\b", nullptr},
        {L"..\\a", nullptr},
        {L"\\a", nullptr},
        {L"\\\\.\\C:\\a", nullptr},
        {L"\\\\?\\GLOBALROOT\\a", nullptr},
        {L"C:\\w\\a:stream", nullptr},
        {L"C:\\w\\NUL", nullptr},
        {L"C:\\w\\com1.txt\\a", nullptr},
        {L"C:\\w\\CON .log", nullptr},
        {L"C:\\w\\conout$", nullptr},
        {L"C:\\w\\a.", nullptr},
        {L"C:\\w\\a \\b", nullptr},
        {L"C:\\w\\a*", nullptr},
        {L"", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring normal;
        EXPECT_EQ(c.normal != nullptr, GetNormalFullPath(c.path, normal)) << c.path;
        if (c.normal) {
            EXPECT_EQ(c.normal, normal) << c.path;
        }
    }
}

TEST(FolderScope, WhatLiesInTheFolder)
{
    const VLFolderScope scope(L"c:/Temp/w/");
    const struct {
        const wchar_t* path;
        bool folder, holds, entry;
        const wchar_t* first;
    } cases[] = {
        {L"C:\\TEMP\\W", true, false, false, L""},
        {L"C:\\Temp\\w\\a.vll", false, true, true, L"a.vll"},
        {L"\\\\?\\C:\\Temp\\x\\..\\w\\d\\e", false, true, false, L"d"},
        {L"C:\\Temp\\w2\\a", false, false, false, L""},
        {L"C:\\Temp\\w\\..\\v\\a", false, false, false, L""},
        {L"C:\\Temp", false, false, false, L""},
        {L"w\\a", false, false, false, L""},
    };
    for (const auto& c : cases) {
        std::wstring first, name;
        EXPECT_EQ(c.folder, scope.IsFolder(c.path)) << c.path;
        EXPECT_EQ(c.holds, scope.Holds(c.path, &first)) << c.path;
        EXPECT_EQ(c.entry, scope.HoldsEntry(c.path, &name)) << c.path;
        if (c.holds) {
            EXPECT_EQ(c.first, first) << c.path;
        }
    }
    EXPECT_FALSE(VLFolderScope(L"relative").Holds(L"relative\\a"));
}

} // namespace
