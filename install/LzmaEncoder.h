// LZMA streams for packing methods 2 and 3: the 5 property bytes, then
// LZMA-coded data ending with the end-of-stream code; no size field. The
// encoder writes them.
#pragma once

#include "install/CompressConverter.h"

#include <LzmaEnc.h>

namespace Velora {

class VLLzmaEncoder : public VLCompressConverter {
public:
    static constexpr uint32_t kOutputCapacity = 1048576;
    static constexpr int kDefaultLevel = 5;

    // level 0 to 9; -1 takes the default; any other value gives 7. Throws
    // std::bad_alloc when the encoder cannot be made.
    explicit VLLzmaEncoder(int level = -1);
    ~VLLzmaEncoder() override;

    int GetType() const override { return kConverterLzma; }
    // Encodes the whole block as one stream behind what is ready; the output
    // buffer grows to hold it.
    bool Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final) override;
    // The ready output becomes the property bytes again.
    void End() override;
    bool EncodeFile(HANDLE input, HANDLE output, uint64_t& written, VLCompressProgress* listener,
                    const VLProgressTotals& totals) override;
    // The files' bytes, one after another, as one stream.
    bool EncodeFiles(const std::vector<std::wstring>& paths, HANDLE output, uint64_t& written,
                     VLCompressProgress* listener, const VLProgressTotals& totals) override;

private:
    bool EncodeStream(ISeqInStream* input, HANDLE output, uint64_t& written, VLCompressProgress* listener,
                      const VLProgressTotals& totals);

    CLzmaEncHandle encoder_ = nullptr;
    Byte properties_[LZMA_PROPS_SIZE] = {};
};

} // namespace Velora
