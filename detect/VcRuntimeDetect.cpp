#include "detect/VcRuntimeDetect.h"

#include "base/FileUtil.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

#include <shlobj.h>

namespace Velora {

const VLSxsRuntime kVc2005Sxs = {
    {L"\\WinSxS\\x86_Microsoft.VC80.ATL_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_a4c618fa",
     L"\\WinSxS\\x86_microsoft.vc80.atl_1fc8b3b9a1e18e3b_8.0.50727.6195_none_d1cb102c435421de",
     {L"\\ATL80.dll"}},
    {L"\\WinSxS\\x86_Microsoft.VC80.CRT_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_44262b86",
     L"\\WinSxS\\x86_microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.6195_none_d09154e044272b9a",
     {L"\\msvcm80.dll", L"\\msvcp80.dll", L"\\msvcr80.dll"}},
    {L"\\WinSxS\\x86_Microsoft.VC80.MFC_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_150c9e8b",
     L"\\WinSxS\\x86_microsoft.vc80.mfc_1fc8b3b9a1e18e3b_8.0.50727.6195_none_cbf5e994470a1a8f",
     {L"\\mfc80.dll", L"\\mfc80u.dll", L"\\mfcm80.dll", L"\\mfcm80u.dll"}},
};

const VLSxsRuntime kVc2008Sxs = {
    {L"\\WinSxS\\x86_Microsoft.VC90.ATL_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_92453bb7",
     L"\\WinSxS\\x86_microsoft.vc90.atl_1fc8b3b9a1e18e3b_9.0.30729.6161_none_51cd0a7abbe4e19b",
     {L"\\atl90.dll"}},
    {L"\\WinSxS\\x86_Microsoft.VC90.CRT_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_31a54e43",
     L"\\WinSxS\\x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.6161_none_50934f2ebcb7eb57",
     {L"\\msvcm90.dll", L"\\msvcp90.dll", L"\\msvcr90.dll"}},
    {L"\\WinSxS\\x86_Microsoft.VC90.MFC_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_028bc148",
     L"\\WinSxS\\x86_microsoft.vc90.mfc_1fc8b3b9a1e18e3b_9.0.30729.6161_none_4bf7e3e2bf9ada4c",
     {L"\\mfc90.dll", L"\\mfc90u.dll", L"\\mfcm90.dll", L"\\mfcm90u.dll"}},
};

const VLSxsRuntime kVc2005x64Sxs = {
    {L"\\WinSxS\\amd64_Microsoft.VC80.ATL_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_d6cffeda",
     L"\\WinSxS\\amd64_microsoft.vc80.atl_1fc8b3b9a1e18e3b_8.0.50727.6195_none_8a1dd9552ed7f8d8",
     {L"\\ATL80.dll"}},
    {L"\\WinSxS\\amd64_Microsoft.VC80.CRT_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_76301166",
     L"\\WinSxS\\amd64_microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.6195_none_88e41e092fab0294",
     {L"\\msvcm80.dll", L"\\msvcp80.dll", L"\\msvcr80.dll"}},
    {L"\\WinSxS\\amd64_Microsoft.VC80.MFC_1fc8b3b9a1e18e3b_8.0.50727.6195_x-ww_4716846b",
     L"\\WinSxS\\amd64_microsoft.vc80.mfc_1fc8b3b9a1e18e3b_8.0.50727.6195_none_8448b2bd328df189",
     {L"\\mfc80.dll", L"\\mfc80u.dll", L"\\mfcm80.dll", L"\\mfcm80u.dll"}},
};

const VLSxsRuntime kVc2008x64Sxs = {
    {L"\\WinSxS\\amd64_Microsoft.VC90.ATL_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_c44f2197",
     L"\\WinSxS\\amd64_microsoft.vc90.atl_1fc8b3b9a1e18e3b_9.0.30729.6161_none_0a1fd3a3a768b895",
     {L"\\ATL90.dll"}},
    {L"\\WinSxS\\amd64_Microsoft.VC90.CRT_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_63af3423",
     L"\\WinSxS\\amd64_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.6161_none_08e61857a83bc251",
     {L"\\msvcm90.dll", L"\\msvcp90.dll", L"\\msvcr90.dll"}},
    {L"\\WinSxS\\amd64_Microsoft.VC90.MFC_1fc8b3b9a1e18e3b_9.0.30729.6161_x-ww_3495a728",
     L"\\WinSxS\\amd64_microsoft.vc90.mfc_1fc8b3b9a1e18e3b_9.0.30729.6161_none_044aad0bab1eb146",
     {L"\\mfc90.dll", L"\\mfc90u.dll", L"\\mfcm90.dll", L"\\mfcm90u.dll"}},
};

// Security updates raise the library's version and re-running the original
// redistributable never lowers it, so any later version counts as installed.
const VLSystemRuntime kVc2010Files = {
    {L"\\atl100.dll", L"\\msvcp100.dll", L"\\msvcr100.dll", L"\\mfc100.dll", L"\\mfc100u.dll",
     L"\\mfcm100.dll", L"\\mfcm100u.dll"},
    L"\\mfc100.dll",
    L"10.0.40219.325",
};

const VLSystemRuntime kVc2012Files = {
    {L"\\atl110.dll", L"\\msvcp110.dll", L"\\msvcr110.dll", L"\\mfc110.dll", L"\\mfc110u.dll",
     L"\\mfcm110.dll", L"\\mfcm110u.dll"},
    L"\\mfc110.dll",
    L"11.0.51106.1",
};

namespace {

bool GetShellFolder(int csidl, std::wstring& out)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))) return false;
    out = path;
    return true;
}

DWORD WindowsMajorVersion()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version); // a failure leaves 0, which spells like Vista and later
    return version.dwMajorVersion;
}

bool DetectSxsRuntime(const VLSxsRuntime& runtime)
{
    std::wstring windowsDir;
    return GetShellFolder(CSIDL_WINDOWS, windowsDir) &&
           DetectVcSxs(windowsDir, WindowsMajorVersion(), runtime);
}

bool DetectSystemRuntime(const VLSystemRuntime& runtime)
{
    std::wstring folder;
    return GetShellFolder(CSIDL_SYSTEM, folder) && DetectVcSystemDir(folder, runtime);
}

bool DetectSystemRuntimeX64(const VLSystemRuntime& runtime)
{
    std::wstring folder;
    if (!GetShellFolder(CSIDL_WINDOWS, folder)) return false;
    folder += L"\\system32";
    Wow64FsRedirectionGuard nativeSystemFolder;
    return DetectVcSystemDir(folder, runtime);
}

} // namespace

bool DetectVcSxs(const std::wstring& windowsDir, DWORD windowsMajor, const VLSxsRuntime& runtime)
{
    // Only Windows 5.x spells the folders "x-ww"; x64 assemblies follow the
    // same rule as x86 ones.
    const bool xww = windowsMajor == 5;
    for (const VLSxsAssembly& assembly : runtime) {
        const std::wstring folder = windowsDir + (xww ? assembly.xwwFolder : assembly.noneFolder);
        for (const wchar_t* file : assembly.files) {
            if (!FileExists(folder + file)) return false;
        }
    }
    return true;
}

bool DetectVcSystemDir(const std::wstring& folder, const VLSystemRuntime& runtime)
{
    for (const wchar_t* file : runtime.files) {
        if (!FileExists(folder + file)) return false;
    }
    return FileVersionAtLeast(folder + runtime.versionedFile, runtime.minimumVersion);
}

bool DetectVC2005()
{
    return DetectSxsRuntime(kVc2005Sxs);
}

bool DetectVC2008()
{
    return DetectSxsRuntime(kVc2008Sxs);
}

bool DetectVC2005x64()
{
    return DetectSxsRuntime(kVc2005x64Sxs);
}

bool DetectVC2008x64()
{
    return DetectSxsRuntime(kVc2008x64Sxs);
}

bool DetectVC2010()
{
    return DetectSystemRuntime(kVc2010Files);
}

bool DetectVC2012()
{
    return DetectSystemRuntime(kVc2012Files);
}

bool DetectVC2010x64()
{
    return DetectSystemRuntimeX64(kVc2010Files);
}

bool DetectVC2012x64()
{
    return DetectSystemRuntimeX64(kVc2012Files);
}

} // namespace Velora
