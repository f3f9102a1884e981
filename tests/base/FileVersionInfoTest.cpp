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
