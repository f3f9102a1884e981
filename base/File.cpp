#include "base/File.h"

namespace Velora {

bool VLFile::Open(const std::wstring& path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes)
{
    handle.Reset(
        CreateFileW(path.c_str(), desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr));
    return handle.Valid();
}

bool VLFile::Read(void* buffer, DWORD count, DWORD* bytesRead)
{
    DWORD done = 0;
    const bool ok = buffer && handle.Valid() && ReadFile(handle.Get(), buffer, count, &done, nullptr);
    if (bytesRead) *bytesRead = done;
    return ok && done > 0;
}

bool VLFile::Write(const void* buffer, DWORD count, DWORD* bytesWritten)
{
    DWORD done = 0;
    const bool ok = buffer && handle.Valid() && WriteFile(handle.Get(), buffer, count, &done, nullptr);
    if (bytesWritten) *bytesWritten = done;
    // The system answers a write cut short by a full disk with success and
    // the bytes it took, leaving no error of its own.
    if (ok && done != count) SetLastError(ERROR_HANDLE_DISK_FULL);
    return ok && done == count;
}

bool VLFile::GetSize(uint64_t& size)
{
    LARGE_INTEGER value;
    if (!handle.Valid() || !GetFileSizeEx(handle.Get(), &value)) return false;
    size = uint64_t(value.QuadPart);
    return true;
}

bool VLFile::Seek(int64_t distance, DWORD moveMethod, uint64_t* newPosition)
{
    LARGE_INTEGER move, moved;
    move.QuadPart = distance;
    if (!handle.Valid() || !SetFilePointerEx(handle.Get(), move, &moved, moveMethod)) return false;
    if (newPosition) *newPosition = uint64_t(moved.QuadPart);
    return true;
}

bool VLFile::SeekToBegin()
{
    return Seek(0, FILE_BEGIN, nullptr);
}

bool VLFile::ReadAll(std::string& bytes)
{
    uint64_t size = 0;
    if (!SeekToBegin() || !GetSize(size)) return false;
    if (size > 0x40000000) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.assign(size_t(size), '\0');
    DWORD read = 0;
    return size == 0 || (Read(&bytes[0], DWORD(size), &read) && read == size);
}

bool VLFile::WriteAll(const std::string& bytes)
{
    DWORD written = 0;
    return SeekToBegin() && Write(bytes.data(), DWORD(bytes.size()), &written) && SetEndOfFile(handle.Get());
}

bool VLFile::SetTime(const FILETIME* creation, const FILETIME* access, const FILETIME* write)
{
    return handle.Valid() && SetFileTime(handle.Get(), creation, access, write);
}

bool VLFile::Close()
{
    if (!handle.Valid()) return true;
    if (!CloseHandle(handle.Get())) return false;
    handle.Release();
    return true;
}

} // namespace Velora
