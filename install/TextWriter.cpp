#include "install/TextWriter.h"

namespace Velora {

VLTextWriter::VLTextWriter(VLBuffer<unsigned char>& target, const std::wstring& lineEnd)
    : target_(target), lineEnd_(lineEnd)
{
    target_.size = 0;
    target_.SetCapacity(2);
    target_.data[0] = 0xFF;
    target_.data[1] = 0xFE;
    target_.size = 2;
}

void VLTextWriter::Write(const std::wstring& text, bool addLineEnd)
{
    Append(text);
    if (addLineEnd) Append(lineEnd_);
}

void VLTextWriter::Append(const std::wstring& text)
{
    const uint32_t count = uint32_t(text.size()) * 2;
    if (target_.size + count >= target_.capacity) {
        target_.SetCapacity(uint32_t((uint64_t(target_.size) + count) * 3 / 2));
    }
    unsigned char* at = target_.data + target_.size;
    for (wchar_t unit : text) {
        *at++ = uint8_t(unit);
        *at++ = uint8_t(unit >> 8);
    }
    target_.size += count;
}

} // namespace Velora
