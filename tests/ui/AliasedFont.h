// A manager font whose glyphs are drawn without antialiasing whatever the
// prefix's smoothing setting says (Wine smooths fonts of default quality), so
// that tests can compare text pixels with the text colour exactly.
#pragma once

#include "ui/core/PaintManager.h"

namespace Velora::Test {

inline VLFontInfo* AddAliasedFont(VLPaintManager& manager, const std::wstring& name, int size)
{
    VLFontInfo* font = manager.AddFont(L"Tahoma", name, size, false, false, false);
    if (!font) return nullptr;
    LOGFONTW logFont{};
    GetObjectW(font->font.Get(), sizeof(logFont), &logFont);
    logFont.lfQuality = NONANTIALIASED_QUALITY;
    font->font.Reset(CreateFontIndirectW(&logFont));
    return font;
}

} // namespace Velora::Test
