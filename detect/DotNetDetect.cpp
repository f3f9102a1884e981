#include "detect/DotNetDetect.h"

#include "base/RegHandle.h"
#include "detect/Detectors.h"

namespace Velora {

namespace {

const wchar_t kSetup[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\";

struct SetupKey {
    const wchar_t* path; // below kSetup
    // Bit per service pack 0, 1, 2; 0 where that pack sets nothing.
    uint32_t bits[3];
    bool anyServicePack; // the 4.0 profiles have no service packs
};

const SetupKey kSetupKeys[] = {
    {L"NDP\\v1.1.4322", {0, kDotNet11Sp1, 0}, false},
    {L"NDP\\v2.0.50727", {kDotNet20, kDotNet20Sp1, kDotNet20Sp2}, false},
    {L"NDP\\v3.0", {kDotNet30, kDotNet30Sp1, kDotNet30Sp2}, false},
    {L"NDP\\v3.5", {kDotNet35, kDotNet35Sp1, 0}, false},
    {L"NDP\\v4\\Full", {kDotNet40Full, 0, 0}, true},
    {L"NDP\\v4\\Client", {kDotNet40Client, 0, 0}, true},
};

// Whether the key records an install, and its service pack (0 when none).
bool ReadSetupKey(const wchar_t* path, REGSAM access, uint32_t& servicePack)
{
    servicePack = 0;
    VLRegHandle key;
    DWORD install = 0;
    if (!key.Open(HKEY_LOCAL_MACHINE, std::wstring(kSetup) + path, access) ||
        !key.QueryTypedDword(install, L"Install")) {
        return false;
    }
    DWORD sp = 0;
    if (key.QueryTypedDword(sp, L"SP")) servicePack = sp & 0xFF;
    return install != 0;
}

bool HasDotNet(uint32_t bit)
{
    VLDotNetDetect detect;
    detect.Detect();
    return (detect.mask & bit) != 0;
}

} // namespace

bool VLDotNetDetect::HasV10()
{
    VLRegHandle key;
    return key.Open(HKEY_LOCAL_MACHINE, std::wstring(kSetup) + L"Full\\v1.0.3705",
                    accessFlags | KEY_QUERY_VALUE);
}

void VLDotNetDetect::Detect()
{
    mask = 0;
    if (HasV10()) mask |= kDotNet10;
    for (const SetupKey& key : kSetupKeys) {
        uint32_t servicePack = 0;
        if (!ReadSetupKey(key.path, accessFlags | KEY_QUERY_VALUE, servicePack)) continue;
        if (key.anyServicePack) {
            mask |= key.bits[0];
        } else if (servicePack < 3) {
            mask |= key.bits[servicePack];
        }
    }
}

bool DetectDotNet35()
{
    return HasDotNet(kDotNet35Sp1);
}

bool DetectDotNet40()
{
    return HasDotNet(kDotNet40Full);
}

} // namespace Velora
