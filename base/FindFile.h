// A folder search with its result record.
#pragma once

#include "base/Handles.h"

#include <cstdint>
#include <string>

namespace Velora {

struct VLFindData {
    void Assign(const WIN32_FIND_DATAW& found);
    // True only for the "." and ".." folder entries.
    bool IsDots() const;

    uint64_t size = 0;
    FILETIME creationTime{};
    FILETIME lastAccessTime{};
    FILETIME lastWriteTime{};
    uint32_t attributes = 0;
    std::wstring name; // without folder
};

class VLFindFile {
public:
    // pattern: a folder path followed by a wildcard such as "*.*". Ends a
    // running search first; false when nothing matches.
    bool FindFirst(const std::wstring& pattern, VLFindData& data);
    // The next entry of the running search; false when there is none.
    bool FindNext(VLFindData& data);

    VLFindHandle handle;
};

} // namespace Velora
