// The volume that holds a path: what the shell calls it, its file system and
// its sizes.
#pragma once

#include <cstdint>
#include <string>

namespace Velora {

struct DriveInfo {
    std::wstring displayName;
    std::wstring typeName;
    std::wstring fileSystem; // "NTFS", "FAT32", "FAT" ...
    uint32_t clusterSize = 0;
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
    bool volumeInfoValid = false;
};

// False (out untouched) when the shell knows nothing of the path.
bool GetDriveInfo(const std::wstring& path, DriveInfo& out);

} // namespace Velora
