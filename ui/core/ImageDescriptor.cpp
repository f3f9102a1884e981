#include "ui/core/ImageDescriptor.h"

#include <cwchar>

namespace Velora {

namespace {

// Each number begins one character after the end of the one before; numbers
// the text does not hold read as 0.
void ReadInts(const std::wstring& value, LONG* out, int count)
{
    const wchar_t* p = value.c_str();
    for (int i = 0; i < count; ++i) {
        out[i] = 0;
        if (!*p) continue;
        wchar_t* end = nullptr;
        out[i] = LONG(std::wcstol(p, &end, 10));
        p = *end ? end + 1 : end;
    }
}

void ReadRect(const std::wstring& value, RECT& rect)
{
    LONG numbers[4];
    ReadInts(value, numbers, 4);
    rect = {numbers[0], numbers[1], numbers[2], numbers[3]};
}

// "#" once, then hexadecimal ("0x" is accepted by the number reader).
uint32_t ReadColour(const std::wstring& value)
{
    const wchar_t* p = value.c_str();
    if (*p == L'#') ++p;
    return uint32_t(std::wcstoul(p, nullptr, 16));
}

bool ReadBool(const std::wstring& value) { return value == L"true"; }

} // namespace

VLImageDescriptor::VLImageDescriptor(const wchar_t* text) : name(text ? text : L"")
{
    Parse(text);
}

void VLImageDescriptor::Parse(const wchar_t* text)
{
    if (!text) return;
    const std::wstring all(text);
    size_t at = 0;
    for (;;) {
        const size_t equals = all.find(L'=', at);
        if (equals == std::wstring::npos || equals + 1 >= all.size() || all[equals + 1] != L'\'') return;
        const size_t close = all.find(L'\'', equals + 2);
        if (close == std::wstring::npos) return;
        const std::wstring value = all.substr(equals + 2, close - equals - 2);
        if (!value.empty()) Apply(all.substr(at, equals - at), value);
        if (close + 2 >= all.size() || all[close + 1] != L' ') return;
        at = close + 2;
    }
}

void VLImageDescriptor::Apply(const std::wstring& key, const std::wstring& value)
{
    if (key == L"res" || key == L"file") name = value;
    else if (key == L"restype") resType = value;
    else if (key == L"mask") mask = ReadColour(value);
    else if (key == L"encrypt") encrypt = ReadBool(value);
    else if (key == L"icon") icon = ReadBool(value);
    else if (key == L"iconsize") iconSize = int(std::wcstol(value.c_str(), nullptr, 10));
    else if (key == L"dest") ReadRect(value, dest);
    else if (key == L"source") ReadRect(value, source);
    else if (key == L"corner") ReadRect(value, corner);
    else if (key == L"fade") fade = BYTE(std::wcstoul(value.c_str(), nullptr, 10) & 0xFF);
    else if (key == L"alphaClose") alphaClose = ReadBool(value);
    else if (key == L"reverse") reverse = ReadBool(value);
    else if (key == L"round") {
        LONG numbers[2];
        ReadInts(value, numbers, 2);
        round = {numbers[0], numbers[1]};
    }
    else if (key == L"right") right = ReadBool(value);
    else if (key == L"rotate") rotate = std::wcstod(value.c_str(), nullptr);
    else if (key == L"hole") hole = ReadBool(value);
    else if (key == L"rgnimage") regionImage = value;
    else if (key == L"rgnrestype") regionResType = value;
    else if (key == L"rgnmask") regionMask = ReadColour(value);
}

} // namespace Velora
