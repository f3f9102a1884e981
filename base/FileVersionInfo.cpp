#include "base/FileVersionInfo.h"

#include "base/PathUtil.h"
#include "base/PeFile.h"

namespace Velora {

bool VLFileVersionInfo::Load()
{
    if (loaded) return true;
    // The system's reader trusts the file's resource table, so a damaged one
    // would crash it or have it read past the file. A path that is not full
    // would be searched for, and the file checked might not be the one read.
    VLPeFile file;
    if (!IsFullFilePath(path) || !file.Open(path) || !file.HasSoundVersionResource()) return false;
    DWORD ignored = 0;
    const DWORD needed = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (needed == 0) return false;
    // Zeroed: what the system does not fill reads as nothing, never as what
    // the heap held before.
    memory.Reset(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, needed));
    if (!memory.Get()) return false;
    if (!data.Lock(memory.Get()) || !GetFileVersionInfoW(path.c_str(), 0, needed, data.Get())) {
        data.Reset();
        memory.Reset();
        return false;
    }
    size = needed;
    loaded = true;
    return true;
}

bool VLFileVersionInfo::Query(const wchar_t* subBlock, const void*& value, UINT& length, UINT unitSize)
{
    void* found = nullptr;
    length = 0;
    if (!Load() || !VerQueryValueW(data.Get(), subBlock, &found, &length) || !found) return false;
    const uintptr_t block = reinterpret_cast<uintptr_t>(data.Get());
    const uintptr_t at = reinterpret_cast<uintptr_t>(found);
    if (at < block || at - block > size || uint64_t(length) * unitSize > size - (at - block)) return false;
    value = found;
    return true;
}

bool VLFileVersionInfo::GetFixedInfo(VS_FIXEDFILEINFO& fixed)
{
    const void* value = nullptr;
    UINT length = 0;
    if (!Query(L"\\", value, length) || length < sizeof(VS_FIXEDFILEINFO)) return false;
    const auto* read = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (read->dwSignature != VS_FFI_SIGNATURE) return false;
    fixed = *read;
    return true;
}

bool VLFileVersionInfo::GetProductVersion(uint64_t& version)
{
    VS_FIXEDFILEINFO fixed;
    if (!GetFixedInfo(fixed)) return false;
    version = uint64_t(fixed.dwProductVersionMS) << 32 | fixed.dwProductVersionLS;
    return true;
}

} // namespace Velora
