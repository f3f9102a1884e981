// Plays a runtime's setup program in whole-program runs: reads the folder the
// installer offers from the exchange file it is handed, leaves exactly the
// evidence that runtime's detector looks for, and writes its verdict back
// ("report", "result" = 1 on success, 0 on failure). Built once per runtime;
// VL_RUNTIME_ID names it. The libraries it leaves are the fakes with chosen
// version resources that the detection tests use, carried as resources.
#include "base/FileUtil.h"
#include "base/RegHandle.h"
#include "detect/DetectHelpers.h"
#include "detect/VcRuntimeDetect.h"
#include "tests/support/TestFolder.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

using namespace Velora;

namespace {

bool SetValue(HKEY root, const std::wstring& path, const VLRegValue& value)
{
    VLRegHandle key;
    return key.Create(root, path) && key.SetValue(value.name, value);
}

bool SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text)
{
    VLRegValue value(REG_SZ, name);
    value.text = text;
    return SetValue(root, path, value);
}

bool SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number)
{
    VLRegValue value(REG_DWORD, name);
    value.dwordValue = number;
    return SetValue(root, path, value);
}

// Writes a library this program carries. Without replace, a file already
// there (one of the system's own) is left alone.
bool WriteLibrary(const wchar_t* resource, const std::wstring& path, bool replace = true)
{
    if (!replace && FileExists(path)) return true;
    HRSRC found = FindResourceW(nullptr, resource, MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes && CreateDirectories(GetFullPathFolder(path)) &&
           Test::WriteFileBytes(path, std::string(bytes, SizeofResource(nullptr, found)));
}

bool WriteEmptyFile(const std::wstring& path)
{
    return FileExists(path) || (CreateDirectories(GetFullPathFolder(path)) && Test::WriteFileBytes(path, ""));
}

std::wstring SystemFolder()
{
    std::wstring folder;
    GetSystemDir(folder);
    return folder;
}

DWORD WindowsMajorVersion()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    return version.dwMajorVersion;
}

bool PlantSxs(const VLSxsRuntime& runtime)
{
    std::wstring windows;
    if (!GetWindowsDir(windows)) return false;
    const bool xww = WindowsMajorVersion() == 5;
    for (const VLSxsAssembly& assembly : runtime) {
        for (const wchar_t* file : assembly.files) {
            if (!WriteEmptyFile(windows + (xww ? assembly.xwwFolder : assembly.noneFolder) + file)) return false;
        }
    }
    return true;
}

// The runtime's files in the folder, the versioned one from the library
// carried as resource.
bool PlantSystemRuntime(const VLSystemRuntime& runtime, const std::wstring& folder, const wchar_t* resource)
{
    for (const wchar_t* file : runtime.files) {
        if (!WriteEmptyFile(folder + file)) return false;
    }
    return WriteLibrary(resource, folder + runtime.versionedFile);
}

bool PlantSystemRuntimeX64(const VLSystemRuntime& runtime, const wchar_t* resource)
{
    std::wstring windows;
    if (!GetWindowsDir(windows)) return false;
    Wow64FsRedirectionGuard nativeSystemFolder;
    return nativeSystemFolder.disabled && PlantSystemRuntime(runtime, windows + L"\\system32", resource);
}

bool PlantXna(const std::wstring& version, const std::wstring& productVersion, const std::wstring& folder)
{
    const std::wstring libraryFolder = folder + L"\\XNA\\v" + version;
    const std::wstring key = L"SOFTWARE\\Microsoft\\XNA\\Framework\\v" + version;
    return !folder.empty() && WriteEmptyFile(libraryFolder + L"\\XnaNative.dll") &&
           SetString(HKEY_LOCAL_MACHINE, key, L"NativeLibraryPath", libraryFolder) &&
           SetString(HKEY_LOCAL_MACHINE, key, L"ProductVersion", productVersion);
}

bool PlantDotNet(const std::wstring& key, DWORD servicePack)
{
    const std::wstring path = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\" + key;
    return SetDword(HKEY_LOCAL_MACHINE, path, L"Install", 1) && SetDword(HKEY_LOCAL_MACHINE, path, L"SP", servicePack);
}

bool PlantMsiProduct(const std::wstring& packedCode, const std::wstring& name)
{
    return SetString(HKEY_CLASSES_ROOT, L"Installer\\Products\\" + packedCode, L"ProductName", name);
}

// Wine brings these runtimes itself: there is nothing to add.
bool PlantNothing(const std::wstring&)
{
    return true;
}

struct Plan {
    int id;
    bool (*plant)(const std::wstring& folder);
};

const Plan kPlans[] = {
    {40029, [](const std::wstring&) {
         return SetString(HKEY_CLASSES_ROOT, L"ShockwaveFlash.ShockwaveFlash\\CLSID", L"",
                          L"{D27CDB6E-AE6D-11cf-96B8-444553540000}");
     }},
    {40024, [](const std::wstring&) { return WriteLibrary(L"OPENAL", SystemFolder() + L"\\OpenAL32.dll"); }},
    {40028, [](const std::wstring& folder) { return PlantXna(L"3.1", L"3.1.10527.0", folder); }},
    {40044, [](const std::wstring& folder) { return PlantXna(L"4.0", L"4.0.20823.0", folder); }},
    {40018, PlantNothing},
    {40021, [](const std::wstring&) { return PlantDotNet(L"v3.5", 1); }},
    {40043, [](const std::wstring&) { return PlantDotNet(L"v4\\Full", 0); }},
    {40056, [](const std::wstring&) {
         return PlantMsiProduct(L"0A5C1FD3E4B2C6D78A9B0C1D2E3F4051", L"Microsoft AppLocale");
     }},
    {40057, [](const std::wstring&) {
         return PlantMsiProduct(L"D7314F9862C648A4DB8BE2A5B47BE100", L"Microsoft Silverlight");
     }},
    {40050, [](const std::wstring&) { return PlantSxs(kVc2005Sxs); }},
    {40026, [](const std::wstring&) { return PlantSxs(kVc2008Sxs); }},
    {40059, [](const std::wstring&) { return PlantSxs(kVc2005x64Sxs); }},
    {40060, [](const std::wstring&) { return PlantSxs(kVc2008x64Sxs); }},
    {40027, [](const std::wstring&) { return PlantSystemRuntime(kVc2010Files, SystemFolder(), L"MFC100"); }},
    {40051, [](const std::wstring&) { return PlantSystemRuntime(kVc2012Files, SystemFolder(), L"MFC110"); }},
    {40061, [](const std::wstring&) { return PlantSystemRuntimeX64(kVc2010Files, L"MFC100X64"); }},
    {40062, [](const std::wstring&) { return PlantSystemRuntimeX64(kVc2012Files, L"MFC110X64"); }},
    {40053, PlantNothing},
    {40054, [](const std::wstring&) {
         // Wine prefers its own msxml4 to a file in the system folder, for
         // loading and for reading the version resource alike, until told
         // otherwise, as installing the real runtime on Wine needs as well.
         return WriteLibrary(L"MSXML4", SystemFolder() + L"\\msxml4.dll") &&
                SetString(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"msxml4", L"native,builtin");
     }},
    {40055, PlantNothing},
    {40058, PlantNothing},
};

} // namespace

int wmain()
{
    // The installer hands over the exchange file as the whole parameter
    // text, unquoted even when the path holds spaces.
    const std::wstring exchange = PathGetArgsW(GetCommandLineW());
    wchar_t folder[MAX_PATH] = {};
    GetPrivateProfileStringW(L"install", L"dir", L"", folder, MAX_PATH, exchange.c_str());
    std::wstring target = folder;
    while (!target.empty() && target.back() == L'\\') target.pop_back();

    bool planted = false;
    for (const Plan& plan : kPlans) {
        if (plan.id == VL_RUNTIME_ID) planted = plan.plant(target);
    }
    const bool reported = WritePrivateProfileStringW(L"report", L"result", planted ? L"1" : L"0", exchange.c_str());
    return planted && reported ? 0 : 1;
}
