#include "detect/LibraryRuntimeDetect.h"

#include "base/RegHandle.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

namespace Velora {

namespace {

bool IsVersionedLibraryLoadable(const wchar_t* name)
{
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    bool loadable = false;
    return GetLoadableLibraryVersion(name, nullptr, major, minor, build, revision, loadable) && loadable && major >= 1;
}

} // namespace

void ReadPhysXInfo(VLPhysXInfo& info)
{
    VLRegHandle key;
    DWORD version = 0;
    if (!key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", KEY_QUERY_VALUE) ||
        !key.QueryTypedDword(version, L"PhysX Version")) {
        return;
    }
    bool loadable = false;
    if (GetLoadableLibraryVersion(L"PhysXLoader.dll", "NxCreatePhysicsSDK", info.major, info.minor, info.build,
                                  info.revision, loadable)) {
        info.ok = loadable;
    }
}

bool DetectGfwLive()
{
    return IsVersionedLibraryLoadable(L"Xlive.dll");
}

bool DetectOpenAL()
{
    return IsVersionedLibraryLoadable(L"OpenAL32.dll");
}

bool DetectPhysX()
{
    VLPhysXInfo info;
    ReadPhysXInfo(info);
    return info.ok && info.major >= 1;
}

} // namespace Velora
