// The version resource of one file, loaded on first use.
#pragma once

#include "base/Handles.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLFileVersionInfo {
public:
    explicit VLFileVersionInfo(const std::wstring& path) : path(path) {}

    // Only a full path to a file is read, and only once its version resource
    // is known, from the file's bytes, to lie inside the file.
    bool Load();
    // A value of the loaded block (VerQueryValueW), only when all of it lies
    // inside the block: length counts units of unitSize bytes.
    bool Query(const wchar_t* subBlock, const void*& value, UINT& length, UINT unitSize = 1);
    // The fixed part of the block, only when the block holds all of it and it
    // carries the signature the system writes.
    bool GetFixedInfo(VS_FIXEDFILEINFO& fixed);
    // dwProductVersionMS in the high 32 bits, dwProductVersionLS in the low.
    bool GetProductVersion(uint64_t& version);

    bool loaded = false;
    VLGlobalMemory memory; // declared before data: unlocked first, then freed
    VLGlobalLock data;
    DWORD size = 0; // of the block
    std::wstring path;
};

} // namespace Velora
