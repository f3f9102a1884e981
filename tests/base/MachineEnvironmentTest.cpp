#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/MachineEnvironment.h"

#include <windows.h>

using namespace Velora;

namespace {

TEST(ExpandMachineEnvironment, TheSystemsVariablesWhateverTheProcessSays)
{
    std::wstring windows;
    ASSERT_TRUE(GetSystemWindowsDir(windows));
    const std::wstring drive = windows.substr(0, 2);
    // What the user's own environment would set, for this process only.
    SetEnvironmentVariableW(L"SystemDrive", L"C:\\fake");
    SetEnvironmentVariableW(L"windir", L"C:\\fake\\windows");
    SetEnvironmentVariableW(L"VLTestOnlyInProcess", L"C:\\fake");
    const struct {
        const wchar_t* text;
        std::wstring expanded;
    } rows[] = {
        {L"%SystemDrive%\\Java", drive + L"\\Java"},
        {L"%WINDIR%%systemroot%", windows + windows},
        {L"%VLTestOnlyInProcess%\\x", L"%VLTestOnlyInProcess%\\x"},
        {L"100%", L"100%"},
        {L"50% of %SystemDrive%", L"50% of " + drive},
        {L"%%SystemDrive%", L"%" + drive},
        {L"", L""},
    };
    for (const auto& row : rows) EXPECT_EQ(ExpandMachineEnvironment(row.text), row.expanded) << row.text;
    SetEnvironmentVariableW(L"SystemDrive", drive.c_str());
    SetEnvironmentVariableW(L"windir", windows.c_str());
    SetEnvironmentVariableW(L"VLTestOnlyInProcess", nullptr);
}

} // namespace
