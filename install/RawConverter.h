#pragma once

#include "install/CompressConverter.h"

namespace Velora {

// Stored entries: the bytes pass through unchanged.
class VLRawConverter : public VLCompressConverter {
public:
    static constexpr uint32_t kOutputCapacity = 102400;

    VLRawConverter();
    int GetType() const override { return kConverterRaw; }
    bool Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final) override;
    void End() override { ClearOutput(); }
};

} // namespace Velora
