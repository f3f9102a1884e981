#include "detect/JavaXnaDetect.h"

#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/RegHandle.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

namespace Velora {

namespace {

const wchar_t kJavaKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";

struct XnaRow {
    const wchar_t* key;
    const wchar_t* nativeLibrary;
    uint32_t bit;
};

const XnaRow kXnaRows[] = {
    {L"SOFTWARE\\Microsoft\\XNA\\Framework\\v1.0", L"XnaNative1.dll", kXna10},
    {L"SOFTWARE\\Microsoft\\XNA\\Framework\\v2.0", L"XnaNative2.dll", kXna20},
    {L"SOFTWARE\\Microsoft\\XNA\\Framework\\v3.0", L"XnaNative.dll", kXna30},
    {L"SOFTWARE\\Microsoft\\XNA\\Framework\\v3.1", L"XnaNative.dll", kXna31},
    {L"SOFTWARE\\Microsoft\\XNA\\Framework\\v4.0", L"XnaNative.dll", kXna40},
};

bool HasXna(uint32_t bit)
{
    uint32_t mask = 0;
    ReadXnaMask(mask);
    return (mask & bit) != 0;
}

} // namespace

void ReadJavaVersion(VLJavaInfo& info)
{
    std::wstring current;
    {
        VLRegHandle key;
        if (!key.Open(HKEY_LOCAL_MACHINE, kJavaKey, KEY_QUERY_VALUE) ||
            !key.QueryTypedMachineString(current, L"CurrentVersion") ||
            !ParseVersion(current, info.major, info.minor, info.build, info.revision)) {
            return;
        }
    }
    VLRegHandle key;
    if (!key.Open(HKEY_LOCAL_MACHINE, std::wstring(kJavaKey) + L"\\" + current, KEY_QUERY_VALUE)) {
        return;
    }
    std::wstring home, runtimeLib;
    // The library must be named by a full path: a relative one would be
    // looked for in whatever folder is current, and a device is no file.
    if (key.QueryTypedMachineString(home, L"JavaHome") && !home.empty() &&
        key.QueryTypedMachineString(runtimeLib, L"RuntimeLib") && IsFullFilePath(runtimeLib)) {
        info.found = FileExists(runtimeLib);
    }
}

bool ReadXnaKey(const std::wstring& nativeLibrary, const std::wstring& key, int32_t& major,
                int32_t& minor, int32_t& build, int32_t& revision)
{
    VLRegHandle handle;
    std::wstring folder;
    if (!handle.Open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE) ||
        !handle.QueryTypedMachineString(folder, L"NativeLibraryPath")) {
        return false;
    }
    // A folder that is not a full path would be looked for in the current
    // folder, or along PATH by the version reader.
    const std::wstring path = CombinePath(folder, nativeLibrary);
    if (!IsFullFilePath(path) || !FileExists(path)) return false;
    std::wstring productVersion;
    if (handle.QueryTypedMachineString(productVersion, L"ProductVersion") &&
        ParseVersion(productVersion, major, minor, build, revision)) {
        return true;
    }
    return GetFileProductVersion(path, major, minor, build, revision);
}

void ReadXnaMask(uint32_t& mask)
{
    mask = 0;
    for (const XnaRow& row : kXnaRows) {
        int32_t major = 0, minor = 0, build = 0, revision = 0;
        if (ReadXnaKey(row.nativeLibrary, row.key, major, minor, build, revision)) mask |= row.bit;
    }
}

bool DetectJava()
{
    VLJavaInfo info;
    ReadJavaVersion(info);
    return info.found && info.major >= 1;
}

bool DetectXna31()
{
    return HasXna(kXna31);
}

bool DetectXna40()
{
    return HasXna(kXna40);
}

} // namespace Velora
