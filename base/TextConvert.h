// Conversions between the program's UTF-16 text and narrow text at its edges
// (web requests, registry files in ANSI form). Narrow text is in the system's
// ANSI code page unless a code page is given.
#pragma once

#include <windows.h>

#include <string>

namespace Velora {

// length < 0 converts up to the terminator. A null text is an empty success.
std::wstring MultiByteToWideCP(const char* text, int length, UINT codePage, bool* ok);
std::wstring MultiByteToWide(const char* text, int length);
std::wstring ToWideString(const std::string& text);
std::wstring ToWide(const char* text);

// defaultChar 0 means none: unrepresentable characters are then converted the
// code page's own way and *usedDefault is not reported. An empty text fails.
std::string WideToMultiByteCP(const std::wstring& text, UINT codePage, char defaultChar,
                              bool* usedDefault, bool* ok);
std::string WideToMultiByte(const std::wstring& text, char defaultChar, bool* usedDefault,
                            bool* ok);
// Characters the ANSI code page cannot hold become '_'.
std::string ToMultiByte(const std::wstring& text);

// The system's wording of a Win32 error, in the system code page, without the
// line end; "system error N" when the system has none.
std::string SystemErrorText(DWORD error);

} // namespace Velora
