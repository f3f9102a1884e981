// Reads the LZMA streams of packing methods 2 and 3 (see LzmaEncoder.h).
#pragma once

#include "install/CompressConverter.h"

#include <LzmaDec.h>

namespace Velora {

class VLLzmaDecoder : public VLCompressConverter {
public:
    static constexpr uint32_t kOutputCapacity = 1048576;

    VLLzmaDecoder();
    ~VLLzmaDecoder() override;

    int GetType() const override { return kConverterLzma; }
    // The first input of a stream must hold the 5 property bytes.
    bool Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final) override;
    // Frees the decoder state: the next input starts a new stream.
    void End() override;

private:
    bool hasState_ = false;
    CLzmaDec state_;
};

} // namespace Velora
