#include "install/TempFile.h"

#include "base/FileUtil.h"

#include <cwchar>

namespace Velora {

namespace {

// More than any temporary file of ours holds.
constexpr uint64_t kMaxBytes = 1 << 20;

} // namespace

bool VLTempFile::Create(const std::wstring& prefix, const std::string& bytes, std::wstring& path)
{
    std::wstring folder;
    if (!GetTempDir(folder)) return false;
    if (CreateIn(folder, prefix, bytes, path)) return true;
    return GetWindowsDir(folder) && CreateIn(folder, prefix, bytes, path);
}

bool VLTempFile::CreateIn(const std::wstring& folder, const std::wstring& prefix, const std::string& bytes,
                          std::wstring& path)
{
    Delete();
    const std::wstring stem = folder + (!folder.empty() && folder.back() == L'\\' ? L"" : L"\\") + prefix.substr(0, 3);
    // Numbered as GetTempFileNameW numbers: from the clock on, past the names
    // that are taken.
    const DWORD start = GetTickCount();
    for (DWORD step = 0; step <= 0xFFFF; ++step) {
        const DWORD unique = (start + step) & 0xFFFF;
        wchar_t digits[8];
        if (unique == 0 || swprintf(digits, 8, L"%X", unsigned(unique)) <= 0) continue;
        const std::wstring name = stem + digits + L".tmp";
        if (Make(name, bytes)) {
            owned_ = true;
            path_ = path = name;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

bool VLTempFile::Make(const std::wstring& path, const std::string& bytes)
{
    VLPlainFile made;
    if (!made.Open(path, GENERIC_WRITE, 0, CREATE_NEW)) return false;
    DWORD written = 0;
    if (!bytes.empty() && !made.file.Write(bytes.data(), DWORD(bytes.size()), &written)) {
        const DWORD error = GetLastError();
        made.Delete();
        SetLastError(error);
        return false;
    }
    // Held again without the rights to write and delete that making it took.
    // The name is free in between: what it holds once held must be these
    // bytes, or it is not used.
    made.file.Close();
    std::string found;
    if (held_.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING) && Read(found) &&
        found == bytes && GetFileId(held_.file.handle.Get(), id_))
        return true;
    held_.file.handle.Reset();
    SetLastError(ERROR_FILE_INVALID);
    return false;
}

bool VLTempFile::Read(std::string& bytes)
{
    uint64_t size = 0;
    if (!held_.file.GetSize(size) || size > kMaxBytes || !held_.file.SeekToBegin()) return false;
    bytes.assign(size_t(size), '\0');
    DWORD read = 0;
    return size == 0 || (held_.file.Read(&bytes[0], DWORD(size), &read) && read == size);
}

void VLTempFile::Delete()
{
    if (!owned_) return;
    // Deleting needs a handle of its own, which the held one does not share:
    // what has the name then is deleted only when it is the file made here.
    held_.file.handle.Reset();
    VLPlainFile found;
    VLFileId id;
    if (!found.Open(path_, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING)) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) owned_ = false;
        return;
    }
    if (GetFileId(found.file.handle.Get(), id) && (id != id_ || found.Delete()))
        owned_ = false;
}

} // namespace Velora
