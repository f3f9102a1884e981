// An image descriptor as the drawing routine reads it: either a bare image
// name or pairs key='value', each pair followed by exactly one blank before
// the next. The parse stops quietly at the first thing that breaks the
// grammar (a missing "=" or apostrophe, no blank, two blanks, a trailing
// blank); the pairs read before stay in effect.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

struct VLImageDescriptor {
    // Set by "file" and by "res" alike; a resource id when restype is set.
    std::wstring name;
    std::wstring resType;
    uint32_t mask = 0;
    bool encrypt = false;
    bool icon = false;
    int iconSize = 0;
    RECT dest{};
    // All zero means the whole image.
    RECT source{};
    RECT corner{};
    BYTE fade = 255;
    bool alphaClose = false;
    bool reverse = false;
    // Ellipse size and whether the bottom corners are round too.
    POINT round{};
    bool right = false;
    double rotate = 0.0;
    bool hole = false;
    std::wstring regionImage;
    std::wstring regionResType;
    uint32_t regionMask = 0;

    // The name starts as the whole text; its pairs then apply.
    explicit VLImageDescriptor(const wchar_t* text);
    // Applies the pairs of text over what is already set (a modifier).
    void Parse(const wchar_t* text);

private:
    void Apply(const std::wstring& key, const std::wstring& value);
};

} // namespace Velora
