#include "install/RawConverter.h"

#include <cstring>

namespace Velora {

VLRawConverter::VLRawConverter() : VLCompressConverter(kOutputCapacity) {}

bool VLRawConverter::Convert(const void* input, uint32_t inputSize, uint32_t& used, bool)
{
    const uint32_t free = GetFreeSpace();
    used = inputSize < free ? inputSize : free;
    if (used) std::memcpy(output_.data + output_.size, input, used);
    output_.size += used;
    return true;
}

} // namespace Velora
