#include <gtest/gtest.h>

#include "app/WorkFolder.h"
#include "tests/app/ScopedTempFolder.h"

#include <windows.h>

#include <string>

namespace {

TEST(WorkFolder, IsTheTempFolderJoinedWithTheFixedSubfolder)
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring fresh = L"C:\\windows\\temp\\vlwork-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(fresh.c_str(), nullptr));
    {
        Velora::Test::ScopedTempFolder temp(fresh);
        EXPECT_EQ(fresh + L"\\Zofti\\RuntimeCheck", Velora::GetWorkFolder());
        EXPECT_EQ(Velora::GetWorkFolder(), Velora::DefaultWorkFolderCallback(40018));
    }
    // Only names the folder: creating it is left to whoever writes there.
    EXPECT_TRUE(RemoveDirectoryW(fresh.c_str()));
    EXPECT_EQ(std::wstring(folder) + L"Zofti\\RuntimeCheck", Velora::GetWorkFolder());
}

} // namespace
