#include <gtest/gtest.h>

#include "app/WorkFolder.h"

#include <windows.h>

#include <string>

namespace {

// Sets TMP and TEMP for one test and restores them after.
class ScopedTempVariable {
public:
    explicit ScopedTempVariable(const wchar_t* value)
    {
        for (int i = 0; i < 2; ++i) {
            wchar_t old[MAX_PATH] = {};
            had_[i] = GetEnvironmentVariableW(kNames[i], old, MAX_PATH) != 0;
            old_[i] = old;
            SetEnvironmentVariableW(kNames[i], value);
        }
    }
    ~ScopedTempVariable()
    {
        for (int i = 0; i < 2; ++i)
            SetEnvironmentVariableW(kNames[i], had_[i] ? old_[i].c_str() : nullptr);
    }

private:
    static constexpr const wchar_t* kNames[2] = {L"TMP", L"TEMP"};
    bool had_[2];
    std::wstring old_[2];
};

TEST(WorkFolder, IsTheTempFolderJoinedWithTheFixedSubfolder)
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring fresh = L"C:\\windows\\temp\\vlwork-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(fresh.c_str(), nullptr));
    {
        ScopedTempVariable temp(fresh.c_str());
        EXPECT_EQ(fresh + L"\\Zofti\\RuntimeCheck", Velora::GetWorkFolder());
        EXPECT_EQ(Velora::GetWorkFolder(), Velora::DefaultWorkFolderCallback(40018));
    }
    // Only names the folder: creating it is left to whoever writes there.
    EXPECT_TRUE(RemoveDirectoryW(fresh.c_str()));
    EXPECT_EQ(std::wstring(folder) + L"Zofti\\RuntimeCheck", Velora::GetWorkFolder());
}

} // namespace
