#include "download/DriveInfo.h"

#include <windows.h>
#include <shellapi.h>

namespace Velora {

bool GetDriveInfo(const std::wstring& path, DriveInfo& out)
{
    SHFILEINFOW shell{};
    if (!SHGetFileInfoW(path.c_str(), 0, &shell, sizeof(shell),
                        SHGFI_DISPLAYNAME | SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES)) {
        return false;
    }
    DriveInfo drive;
    drive.displayName = shell.szDisplayName;
    drive.typeName = shell.szTypeName;

    wchar_t volumeName[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(path.c_str(), volumeName, MAX_PATH + 1, nullptr, nullptr, nullptr,
                              fileSystem, MAX_PATH + 1)) {
        drive.fileSystem = fileSystem;
        drive.volumeInfoValid = true;
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
        if (GetDiskFreeSpaceW(path.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                              &totalClusters)) {
            drive.clusterSize = sectorsPerCluster * bytesPerSector;
            drive.totalBytes = uint64_t(totalClusters) * drive.clusterSize;
            drive.freeBytes = uint64_t(freeClusters) * drive.clusterSize;
        }
    }
    out = drive;
    return true;
}

} // namespace Velora
