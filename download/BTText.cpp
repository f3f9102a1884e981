#include "download/BTText.h"

#include "base/TextConvert.h"

namespace Velora {

std::string AcpToUtf8(const std::string& text)
{
    if (text.empty()) return {};
    std::wstring wide = MultiByteToWide(text.data(), static_cast<int>(text.size()));
    bool ok = false;
    return WideToMultiByteCP(wide, CP_UTF8, 0, nullptr, &ok);
}

std::string Utf8ToAcp(const std::string& text)
{
    if (text.empty()) return {};
    bool ok = false;
    std::wstring wide = MultiByteToWideCP(text.data(), static_cast<int>(text.size()), CP_UTF8, &ok);
    return ToMultiByte(wide);
}

std::string InfoHashHex(const lt::sha1_hash& hash)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(40);
    for (char c : hash) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

} // namespace Velora
