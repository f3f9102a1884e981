// One open Win32 file handle with 64-bit size and position.
#pragma once

#include "base/Handles.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLFile {
public:
    // Closes a handle it already holds first.
    bool Open(const std::wstring& path, DWORD desiredAccess, DWORD shareMode,
              DWORD creationDisposition, DWORD flagsAndAttributes);
    // False at the end of the file (nothing read), so a loop can stop on it.
    bool Read(void* buffer, DWORD count, DWORD* bytesRead);
    // True only when every byte was written.
    bool Write(const void* buffer, DWORD count, DWORD* bytesWritten);
    bool GetSize(uint64_t& size);
    // moveMethod: FILE_BEGIN, FILE_CURRENT or FILE_END.
    bool Seek(int64_t distance, DWORD moveMethod, uint64_t* newPosition);
    bool SeekToBegin();
    // The whole file from its start; a file too big to hold in memory fails
    // (ERROR_FILE_TOO_LARGE).
    bool ReadAll(std::string& bytes);
    // Makes the file these bytes, from its start and cut to their length.
    bool WriteAll(const std::string& bytes);
    bool SetTime(const FILETIME* creation, const FILETIME* access, const FILETIME* write);
    // False (handle kept) when CloseHandle refuses.
    bool Close();

    VLHandle handle;
};

} // namespace Velora
