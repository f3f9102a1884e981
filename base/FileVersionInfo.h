// The version resource of one file, loaded on first use.
#pragma once

#include "base/Handles.h"

#include <cstdint>
#include <string>

namespace Velora {

class VLFileVersionInfo {
public:
    explicit VLFileVersionInfo(const std::wstring& path) : path(path) {}

    bool Load();
    // dwProductVersionMS in the high 32 bits, dwProductVersionLS in the low.
    bool GetProductVersion(uint64_t& version);

    bool loaded = false;
    VLGlobalMemory memory; // declared before data: unlocked first, then freed
    VLGlobalLock data;
    std::wstring path;
};

} // namespace Velora
