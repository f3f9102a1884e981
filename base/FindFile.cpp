#include "base/FindFile.h"

namespace Velora {

void VLFindData::Assign(const WIN32_FIND_DATAW& found)
{
    size = uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    creationTime = found.ftCreationTime;
    lastAccessTime = found.ftLastAccessTime;
    lastWriteTime = found.ftLastWriteTime;
    attributes = found.dwFileAttributes;
    name = found.cFileName;
}

bool VLFindData::IsDots() const
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (name == L"." || name == L"..");
}

bool VLFindFile::FindFirst(const std::wstring& pattern, VLFindData& data)
{
    // A search that FindClose refuses is forgotten all the same: it cannot be
    // used again.
    if (handle.Valid() && !FindClose(handle.Release())) return false;
    WIN32_FIND_DATAW found;
    handle.Reset(FindFirstFileW(pattern.c_str(), &found));
    if (!handle.Valid()) return false;
    data.Assign(found);
    return true;
}

bool VLFindFile::FindNext(VLFindData& data)
{
    WIN32_FIND_DATAW found;
    if (!handle.Valid() || !FindNextFileW(handle.Get(), &found)) return false;
    data.Assign(found);
    return true;
}

} // namespace Velora
