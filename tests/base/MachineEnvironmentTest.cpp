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
        {L"%%%SystemDrive%", L"%%" + drive},
    };
    for (const auto& [text, expanded] : rows) EXPECT_EQ(ExpandMachineEnvironment(text), expanded) << text;
    // As the system keeps them: "% of %" and "%%" name no variable, and keep both their signs.
    for (auto kept : {L"%VLTestOnlyInProcess%\\x", L"100%", L"", L"50% of %SystemDrive%", L"%%SystemDrive%"})
        EXPECT_EQ(ExpandMachineEnvironment(kept), kept);
    SetEnvironmentVariableW(L"SystemDrive", drive.c_str());
    SetEnvironmentVariableW(L"windir", windows.c_str());
    SetEnvironmentVariableW(L"VLTestOnlyInProcess", nullptr);
}

TEST(ExpandMachineEnvironment, FolderVariablesAsTheSystemGivesThem)
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    unsigned given = 0;
    for (const wchar_t* name :
         {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"CommonProgramFiles", L"CommonProgramFiles(x86)",
          L"CommonProgramW6432", L"ProgramData", L"ALLUSERSPROFILE"}) {
        // What the system gave this process, then what the user's own environment would set instead.
        wchar_t system[MAX_PATH] = L"";
        const DWORD length = GetEnvironmentVariableW(name, system, MAX_PATH);
        given += length != 0;
        const std::wstring reference = L"%" + std::wstring(name) + L"%\\x";
        SetEnvironmentVariableW(name, L"C:\\fake");
        EXPECT_EQ(ExpandMachineEnvironment(reference), length ? system + std::wstring(L"\\x") : reference) << name;
        SetEnvironmentVariableW(name, length ? system : nullptr);
    }
    EXPECT_EQ(given, wow64 ? 8u : 4u); // the "(x86)" and "W6432" forms only on 64-bit Windows
}

} // namespace
