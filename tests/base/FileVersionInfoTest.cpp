#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/FileVersionInfo.h"

#include "tests/support/TestFolder.h"

using namespace Velora;
using namespace Velora::Test;

namespace {

TEST(VLFileVersionInfo, ProductVersionOfTheTestProgram)
{
    VLFileVersionInfo info(GetModuleFilePath());
    uint64_t version = 0;
    ASSERT_TRUE(info.GetProductVersion(version));
    EXPECT_EQ(0x0001000200030004ull, version);
    EXPECT_TRUE(info.loaded);
    EXPECT_TRUE(info.Load()); // once loaded, stays loaded
}

TEST(VLFileVersionInfo, ValuesFoundAsTheSystemFindsThem)
{
    // Pieces are compared without case, empty ones skipped; text counts characters, data bytes; length 0: not found.
    const std::tuple<const wchar_t*, UINT, std::string> rows[] = {
        {L"\\StringFileInfo\\040904B0\\ProductVersion", 8, {"1\0.\0", 4}},
        {L"\\stringfileinfo\\040904b0\\FILEVERSION", 8, {"5\0.\0", 4}},
        {L"StringFileInfo\\\\040904B0\\FileVersion\\", 8, {"5\0.\0", 4}},
        {L"\\VarFileInfo\\Translation", 4, "\x09\x04\xB0\x04"},
        {L"\\StringFileInfo\\040904B0\\Comments", 0, ""},
        {L"\\StringFileInfo\\04090", 0, ""},
    };
    VLFileVersionInfo info(GetModuleFilePath());
    for (const auto& [path, expected, starts] : rows) {
        const void* value = nullptr;
        UINT length = 0;
        EXPECT_EQ(info.Query(path, value, length), expected != 0) << path;
        EXPECT_EQ(length, expected);
        EXPECT_EQ(std::string_view(static_cast<const char*>(value), length ? 4 : 0), starts);
    }
}

TEST(VLFileVersionInfo, FilesWithoutAVersionResource)
{
    TestFolder folder;
    WriteFileBytes(folder / L"plain.txt", "no resources here");
    for (const std::wstring& path : {folder / L"plain.txt", folder / L"missing.dll"}) {
        VLFileVersionInfo info(path);
        uint64_t version = 7;
        EXPECT_FALSE(info.GetProductVersion(version));
        EXPECT_EQ(7u, version);
        EXPECT_FALSE(info.loaded);
    }
}

} // namespace
