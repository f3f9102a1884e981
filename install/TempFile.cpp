#include "install/TempFile.h"

#include "base/FileUtil.h"

namespace Velora {

bool VLTempFile::Create(const std::wstring& prefix, std::wstring& path)
{
    std::wstring folder;
    if (!GetTempDir(folder)) return false;
    if (CreateIn(folder, prefix, path)) return true;
    return GetWindowsDir(folder) && CreateIn(folder, prefix, path);
}

bool VLTempFile::CreateIn(const std::wstring& folder, const std::wstring& prefix, std::wstring& path)
{
    Delete();
    std::wstring created;
    if (!CreateTempFile(prefix, created, folder)) return false;
    owned_ = true;
    path_ = created;
    path = created;
    return true;
}

void VLTempFile::Delete()
{
    if (owned_ && DeleteFileNormal(path_)) owned_ = false;
}

} // namespace Velora
