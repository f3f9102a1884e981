// Ini-file edits of the installer script. Each answers 0 or the Windows
// error code.
#pragma once

#include <windows.h>

#include <string>

namespace Velora {

DWORD WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);
DWORD DeleteIniSection(const std::wstring& file, const std::wstring& section);
DWORD DeleteIniKey(const std::wstring& file, const std::wstring& section, const std::wstring& key);

} // namespace Velora
