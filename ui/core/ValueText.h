// Readers of the number forms that markup attributes and image descriptors
// share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

// Reads count decimal numbers, each followed by one separator character of
// any kind; blanks before a number are skipped. Reading stops at the end of
// the text: numbers that are missing there read as 0.
void ReadIntList(const wchar_t* text, int* out, int count);
// "left,top,right,bottom" as ReadIntList reads four numbers.
RECT ReadRect(const std::wstring& text);

// An optional leading "#", then hexadecimal digits as an ARGB value; 0 when
// there are none.
uint32_t ReadHexColour(const wchar_t* text);

// A switch is on only when its value is exactly "true".
bool ReadBool(const std::wstring& value);

} // namespace Velora
