// The .NET Framework versions and service packs recorded by their setup keys,
// summed up as one mask.
#pragma once

#include <cstdint>

namespace Velora {

enum : uint32_t {
    kDotNet20 = 0x1,
    kDotNet20Sp1 = 0x2,
    kDotNet20Sp2 = 0x4,
    kDotNet30 = 0x8,
    kDotNet30Sp1 = 0x10,
    kDotNet30Sp2 = 0x20,
    kDotNet35 = 0x40,
    kDotNet35Sp1 = 0x80,
    kDotNet40Full = 0x100,
    kDotNet40Client = 0x200,
    kDotNet10 = 0x400,
    kDotNet11Sp1 = 0x800,
};

class VLDotNetDetect {
public:
    // True when the 1.0 setup key exists; that version records nothing else.
    virtual bool HasV10();
    void Detect();

    uint32_t mask = 0;
    uint32_t accessFlags = 0; // added to KEY_QUERY_VALUE on every key opened
};

} // namespace Velora
