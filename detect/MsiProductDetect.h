// Windows Installer products registered for the machine and the current user,
// for runtimes that leave nothing else easy to test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// A registered product, or a query: a language or version of 0 in a query
// matches any.
struct VLMSIProduct {
    std::wstring name;
    uint32_t language = 0;
    uint32_t version = 0;
};

class VLMSIProductDetect {
public:
    virtual ~VLMSIProductDetect() = default;
    // Reads every product key that can be listed. When the per-machine list
    // cannot be opened, nothing is read at all.
    virtual void Scan();
    // Exact, case-sensitive name match.
    virtual bool Find(const VLMSIProduct& query);

    std::vector<VLMSIProduct> products;
};

} // namespace Velora
