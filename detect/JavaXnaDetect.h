// Java SE and the XNA Framework, found through the registry keys their
// installers write and the files those keys name.
#pragma once

#include <cstdint>
#include <string>

namespace Velora {

struct VLJavaInfo {
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    bool found = false; // the current version's runtime library exists
};

void ReadJavaVersion(VLJavaInfo& info);

enum : uint32_t {
    kXna10 = 0x1,
    kXna20 = 0x2,
    kXna30 = 0x4,
    kXna31 = 0x8,
    kXna40 = 0x10,
};

// One bit per XNA Framework version whose native library is in place.
void ReadXnaMask(uint32_t& mask);
// Whether the framework key names a folder holding nativeLibrary with a
// readable version (the key's "ProductVersion", else the library's own).
bool ReadXnaKey(const std::wstring& nativeLibrary, const std::wstring& key, int32_t& major,
                int32_t& minor, int32_t& build, int32_t& revision);

} // namespace Velora
