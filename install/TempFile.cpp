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

bool VLTempFile::Read(std::string& bytes) const
{
    VLPlainFile found;
    uint64_t size = 0;
    if (!OpenFound(found, GENERIC_READ) || !found.file.GetSize(size) || size > kMaxBytes) return false;
    bytes.assign(size_t(size), '\0');
    DWORD read = 0;
    return size == 0 || (found.file.Read(&bytes[0], DWORD(size), &read) && read == size);
}

bool VLTempFile::Make(const std::wstring& path, const std::string& bytes)
{
    VLPlainFile made;
    if (!made.Open(path, GENERIC_WRITE, 0, CREATE_NEW)) return false;
    DWORD written = 0;
    if (bytes.empty() || made.file.Write(bytes.data(), DWORD(bytes.size()), &written)) return true;
    const DWORD error = GetLastError();
    made.Delete();
    SetLastError(error);
    return false;
}

bool VLTempFile::OpenFound(VLPlainFile& found, DWORD access) const
{
    // Shares everything: a program still at work on the file is not stopped.
    if (!owned_ || !found.Open(path_, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING))
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(found.file.handle.Get(), &information)) return false;
    DWORD error = 0;
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        error = ERROR_ACCESS_DENIED;
    else if (information.nNumberOfLinks > 1)
        error = ERROR_TOO_MANY_LINKS;
    if (error == 0) return true;
    found.file.Close();
    SetLastError(error);
    return false;
}

void VLTempFile::Delete()
{
    if (!owned_) return;
    // A file of this one name: its attributes are its own to clear.
    VLPlainFile found;
    if (OpenFound(found, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES)) {
        if (found.Delete()) owned_ = false;
    } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
        owned_ = false;
    }
}

} // namespace Velora
