// One entry of the runtime catalogue: a runtime id, its display name and row
// image, and the function that tells whether the runtime is installed.
#pragma once

#include <cstdint>
#include <string>

namespace Velora {

// No arguments; true when the runtime is installed. Every failure answers
// false, and nothing on the machine is changed.
using DetectFunction = bool (*)();

class VLSoftwareDetect {
public:
    // Note the order: the state word comes first, the function last.
    VLSoftwareDetect(uint32_t state, int32_t id, int32_t imageId, const wchar_t* name,
                     DetectFunction detect)
        : id(id), name(name ? name : L""), imageId(imageId), detect(detect), state(state)
    {
    }
    virtual ~VLSoftwareDetect() = default;
    VLSoftwareDetect(const VLSoftwareDetect&) = default;
    VLSoftwareDetect& operator=(const VLSoftwareDetect&) = default;

    // An entry without a detection function counts as missing.
    bool IsInstalled() const { return detect && detect(); }

    int32_t id;
    std::wstring name;
    int32_t imageId;
    DetectFunction detect;
    uint32_t state; // not read by detection
};

} // namespace Velora
