#pragma once

#include "base/Buffer.h"

#include <string>

namespace Velora {

// Appends UTF-16 text to a caller's buffer, growing it by half again of what
// it needs whenever it fills up.
class VLTextWriter {
public:
    VLTextWriter(VLBuffer<unsigned char>& target, const std::wstring& lineEnd);
    void Write(const std::wstring& text, bool addLineEnd);

private:
    void Append(const std::wstring& text);

    VLBuffer<unsigned char>& target_;
    std::wstring lineEnd_;
};

} // namespace Velora
