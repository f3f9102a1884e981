// Runtimes found as a library the system's search can load: Games for
// Windows Live, OpenAL and the PhysX loader.
#pragma once

#include <cstdint>

namespace Velora {

struct VLPhysXInfo {
    int32_t major = 0, minor = 0, build = 0, revision = 0; // the loader's product version
    bool ok = false;
};

// ok only with the PhysX key, a readable "PhysX Version" and a loader that
// exports its entry point.
void ReadPhysXInfo(VLPhysXInfo& info);

} // namespace Velora
