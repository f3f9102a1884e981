#include "ui/core/ValueText.h"

#include <cwchar>

namespace Velora {

void ReadIntList(const wchar_t* text, int* out, int count)
{
    const wchar_t* p = text;
    for (int i = 0; i < count; ++i) {
        if (*p == L'\0') {
            out[i] = 0;
            continue;
        }
        wchar_t* end = nullptr;
        out[i] = static_cast<int>(wcstol(p, &end, 10));
        p = end;
        if (*p != L'\0') ++p;
    }
}

RECT ReadRect(const std::wstring& text)
{
    int n[4];
    ReadIntList(text.c_str(), n, 4);
    return {n[0], n[1], n[2], n[3]};
}

uint32_t ReadHexColour(const wchar_t* text)
{
    if (*text == L'#') ++text;
    return static_cast<uint32_t>(wcstoul(text, nullptr, 16));
}

bool ReadBool(const std::wstring& value)
{
    return value == L"true";
}

} // namespace Velora
