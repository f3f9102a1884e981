// Ini files: the edits of the installer script, and the text of a setup
// program's exchange file, made and read as bytes so that the file is held
// by its handle rather than named to the system's profile functions. Each
// edit answers 0 or the Windows error code.
#pragma once

#include <windows.h>

#include <string>

namespace Velora {

DWORD WriteIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);
DWORD DeleteIniSection(const std::wstring& file, const std::wstring& section);
DWORD DeleteIniKey(const std::wstring& file, const std::wstring& section, const std::wstring& key);

// The bytes WritePrivateProfileStringW writes into an empty file: the section
// with its one key, in the ANSI code page.
std::string FormatIniEntry(const std::wstring& section, const std::wstring& key, const std::wstring& value);
// The value GetPrivateProfileStringW reads from a file of these bytes (ANSI,
// or UTF-8 or UTF-16LE with their byte-order mark): names in any case, blanks
// around them and the value dropped, matching quotes around the value
// removed, the first section of the name only. False when it holds none.
bool FindIniValue(const std::string& bytes, const std::wstring& section, const std::wstring& key,
                  std::wstring& value);

} // namespace Velora
