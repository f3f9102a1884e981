// Ini files: the edits of the installer script, and the text of a setup
// program's exchange file, made and read as bytes so that the file is held
// by its handle rather than named to the system's profile functions.
#pragma once

#include "base/File.h"

#include <string>

namespace Velora {

// The bytes of an ini file after the edit the system's profile writer makes
// for WritePrivateProfileStringW(section, key, value): a null value deletes
// the key (the first of the name in any section of the name), a null key
// the section (the first of the name). A write goes to the first section of
// the name. Names are matched in any case; lines end at "\r\n", "\n" or a
// "\r" alone; the lines before the first heading are the section "". The
// file keeps its encoding (the code page, or UTF-8 or UTF-16 of either byte
// order with their byte-order mark) and every line the edit does not touch,
// its line end included.
std::string EditIniBytes(const std::string& bytes, const std::wstring& section, const wchar_t* key,
                         const wchar_t* value);
// The same edit on the file the handle holds (open for reading and
// writing), its bytes read and written through that handle; a file the edit
// leaves as it was is not written. False with the last error set.
bool EditIniFile(VLFile& file, const std::wstring& section, const wchar_t* key, const wchar_t* value);

// The bytes WritePrivateProfileStringW writes into an empty file: the section
// with its one key, in the ANSI code page.
std::string FormatIniEntry(const std::wstring& section, const std::wstring& key, const std::wstring& value);
// The value GetPrivateProfileStringW reads from a file of these bytes, read
// as the edit reads them: blanks around the value and matching quotes around
// it dropped, the first section of the name only. False when it holds none.
bool FindIniValue(const std::string& bytes, const std::wstring& section, const std::wstring& key,
                  std::wstring& value);

} // namespace Velora
