#include "ui/core/ImageDescriptor.h"

#include "ui/core/ValueText.h"

#include <cwchar>

namespace Velora {

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
    else if (key == L"mask") mask = ReadHexColour(value.c_str());
    else if (key == L"encrypt") encrypt = ReadBool(value);
    else if (key == L"icon") icon = ReadBool(value);
    else if (key == L"iconsize") iconSize = int(std::wcstol(value.c_str(), nullptr, 10));
    else if (key == L"dest") dest = ReadRect(value);
    else if (key == L"source") source = ReadRect(value);
    else if (key == L"corner") corner = ReadRect(value);
    else if (key == L"fade") fade = BYTE(std::wcstoul(value.c_str(), nullptr, 10) & 0xFF);
    else if (key == L"alphaClose") alphaClose = ReadBool(value);
    else if (key == L"reverse") reverse = ReadBool(value);
    else if (key == L"round") {
        int numbers[2];
        ReadIntList(value.c_str(), numbers, 2);
        round = {numbers[0], numbers[1]};
    }
    else if (key == L"right") right = ReadBool(value);
    else if (key == L"rotate") rotate = std::wcstod(value.c_str(), nullptr);
    else if (key == L"hole") hole = ReadBool(value);
    else if (key == L"rgnimage") regionImage = value;
    else if (key == L"rgnrestype") regionResType = value;
    else if (key == L"rgnmask") regionMask = ReadHexColour(value.c_str());
}

} // namespace Velora
