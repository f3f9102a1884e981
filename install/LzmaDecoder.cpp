#include "install/LzmaDecoder.h"

#include "install/LzmaAllocator.h"

namespace Velora {

VLLzmaDecoder::VLLzmaDecoder() : VLCompressConverter(kOutputCapacity)
{
    LzmaDec_Construct(&state_);
}

VLLzmaDecoder::~VLLzmaDecoder()
{
    End();
}

void VLLzmaDecoder::End()
{
    if (hasState_) LzmaDec_Free(&state_, &LzmaAllocator());
    hasState_ = false;
    LzmaDec_Construct(&state_);
    ClearOutput();
}

bool VLLzmaDecoder::Convert(const void* input, uint32_t inputSize, uint32_t& used, bool final)
{
    used = 0;
    const Byte* in = static_cast<const Byte*>(input);
    if (!hasState_) {
        // A stream too short for its property bytes is refused rather than
        // read past its end.
        if (inputSize < LZMA_PROPS_SIZE) return false;
        if (LzmaDec_Allocate(&state_, in, LZMA_PROPS_SIZE, &LzmaAllocator()) != SZ_OK) return false;
        hasState_ = true;
        LzmaDec_Init(&state_);
        used = LZMA_PROPS_SIZE;
    }
    SizeT inLength = inputSize - used;
    SizeT outLength = GetFreeSpace();
    ELzmaStatus status;
    if (LzmaDec_DecodeToBuf(&state_, output_.data + output_.size, &outLength, in + used, &inLength,
                            final ? LZMA_FINISH_END : LZMA_FINISH_ANY, &status) != SZ_OK)
        return false;
    used += uint32_t(inLength);
    output_.size += uint32_t(outLength);
    return true;
}

} // namespace Velora
