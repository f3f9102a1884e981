#include "app/AppString.h"

#include "base/StringUtil.h"

namespace Velora {

std::wstring LoadAppString(UINT id)
{
    if (id == 0) return std::wstring();
    const HMODULE module = GetModuleHandleW(nullptr);
    wchar_t text[512] = {};
    if (LoadStringW(module, id, text, 511) > 0) return text;
    // Strings live in blocks of sixteen: an existing block with nothing at
    // this id means the text is empty, a missing block that it was never there.
    if (FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING)) return std::wstring();
    return UIntToString(id);
}

} // namespace Velora
