// zlib streams (RFC 1950) for packing method 1 ("ZIP"). The decoder shares
// the encoder's buffer handling and swaps deflate for inflate.
#pragma once

#include "install/CompressConverter.h"

#include <zlib.h>

namespace Velora {

class VLZipEncoder : public VLCompressConverter {
public:
    static constexpr uint32_t kOutputCapacity = 0x80000;
    static constexpr int kDefaultLevel = 5;

    // level 0 to 9; -1 takes the default; any other value gives 9.
    explicit VLZipEncoder(int level = -1);
    ~VLZipEncoder() override;

    int GetType() const override { return kConverterZlib; }
    bool Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final) override;
    bool Finish() override;
    void End() override;

    virtual bool Init();
    // The free tail of the output buffer, where zlib writes directly.
    unsigned char* GetWriteWindow(uint32_t& freeSpace);

protected:
    // The stream state is made on first use, so a converter that never
    // converts costs no zlib state.
    bool EnsureInit() { return initialised_ || Init(); }
    // deflate, or inflate for the decoder.
    virtual int Code(int flush);
    // Codes the input into the write window.
    int Step(const void* input, uint32_t inputSize, uint32_t& used, int flush);

    bool initialised_ = false;
    bool finished_ = false;
    z_stream stream_;
    int level_;
};

} // namespace Velora
