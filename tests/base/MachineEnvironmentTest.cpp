#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/MachineEnvironment.h"

using namespace Velora;

namespace {

TEST(ExpandMachineEnvironment, TheSystemsVariablesWhateverTheProcessSays)
{
    std::wstring windows;
    ASSERT_TRUE(GetSystemWindowsDir(windows));
    const std::wstring drive = windows.substr(0, 2);
    // What the user's own environment would set, for this process only.
    for (auto name : {L"SystemDrive", L"windir", L"VLTestOnlyInProcess"}) SetEnvironmentVariableW(name, L"C:\\fake");
    const std::pair<const wchar_t*, std::wstring> rows[] = {
        {L"%SystemDrive%\\Java", drive + L"\\Java"},
        {L"%WINDIR%%systemroot%", windows + windows},
        {L"50% of %SystemDrive%", L"50% of " + drive},
        {L"%%SystemDrive%", L"%" + drive},
    };
    for (const auto& [text, expanded] : rows) EXPECT_EQ(ExpandMachineEnvironment(text), expanded) << text;
    for (auto kept : {L"%VLTestOnlyInProcess%\\x", L"100%", L""}) EXPECT_EQ(ExpandMachineEnvironment(kept), kept);
    SetEnvironmentVariableW(L"SystemDrive", drive.c_str());
    SetEnvironmentVariableW(L"windir", windows.c_str());
    SetEnvironmentVariableW(L"VLTestOnlyInProcess", nullptr);
}

} // namespace
