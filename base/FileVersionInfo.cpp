#include "base/FileVersionInfo.h"

namespace Velora {

bool VLFileVersionInfo::Load()
{
    if (loaded) return true;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    memory.Reset(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory.Get()) return false;
    if (!data.Lock(memory.Get()) || !GetFileVersionInfoW(path.c_str(), 0, size, data.Get())) {
        data.Reset();
        memory.Reset();
        return false;
    }
    loaded = true;
    return true;
}

bool VLFileVersionInfo::GetProductVersion(uint64_t& version)
{
    if (!Load()) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.Get(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    version = uint64_t(fixed->dwProductVersionMS) << 32 | fixed->dwProductVersionLS;
    return true;
}

} // namespace Velora
