// The version resource of one file, loaded on first use.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

class VLPeFile;

class VLFileVersionInfo {
public:
    explicit VLFileVersionInfo(const std::wstring& path) : path(path) {}

    // Only a full path to a file is read, once, and its version block copied
    // from the bytes that were checked: the system is never asked to read the
    // file again, so what it would read cannot differ from what was checked.
    bool Load();
    // The same from a file the caller already holds open, so that its other
    // reads and this one see one copy; path is not read.
    bool Load(const VLPeFile& file);
    // A value of the loaded block, found as the system's VerQueryValueW finds
    // it, only when all of it lies inside the block: length counts units of
    // unitSize bytes.
    bool Query(const wchar_t* subBlock, const void*& value, UINT& length, UINT unitSize = 1);
    // The fixed part of the block, only when the block holds all of it and it
    // carries the signature the system writes.
    bool GetFixedInfo(VS_FIXEDFILEINFO& fixed);
    // dwProductVersionMS in the high 32 bits, dwProductVersionLS in the low.
    bool GetProductVersion(uint64_t& version);

    bool loaded = false;
    std::vector<uint8_t> block; // copied from the bytes that were checked
    std::wstring path;
};

} // namespace Velora
