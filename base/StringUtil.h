// Helpers over the program's UTF-16 strings. Positions and lengths count
// UTF-16 code units; "not found" is std::wstring::npos. Case-insensitive means
// per code unit through the C runtime's towupper/towlower: no locale folding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdarg>
#include <string>
#include <vector>

namespace Velora {

// Numbers.
// Writes the decimal digits of value and a terminator into buffer (21 code
// units always suffice). False, with an empty text when possible, when the
// buffer is too small.
bool UInt64ToDecimal(uint64_t value, wchar_t* buffer, size_t bufferSize);
std::wstring UInt64ToString(uint64_t value);
std::wstring UIntToString(uint32_t value);
// Exactly eight upper-case hexadecimal digits.
std::wstring UIntToHexString(uint32_t value);
// Leading decimal digits only: no sign, no blanks; wraps modulo 2^64.
// *stop receives the first code unit that is not a digit.
uint64_t StringToUInt64(const wchar_t* text, const wchar_t** stop = nullptr);
// An optional "0x"/"0X" then at most eight hexadecimal digits.
uint32_t HexStringToUInt(const std::wstring& text);

// Comparison and search.
int CompareNoCase(const std::wstring& a, const std::wstring& b);
int CompareNoCaseN(const wchar_t* a, const wchar_t* b, size_t count);
bool StartsWith(const std::wstring& text, const std::wstring& prefix);
bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix);
size_t FindNoCase(const std::wstring& text, const std::wstring& pattern, size_t start = 0);
// Index of the first element equal to text, -1 when none.
int FindStringIndex(const std::vector<std::wstring>& strings, const std::wstring& text);

// In-place edits. Inserted text is never searched again, and an empty (or
// null) old text changes nothing.
void ReplaceAll(std::wstring& text, const wchar_t* oldText, const wchar_t* newText);
void ReplaceAllNoCase(std::wstring& text, const wchar_t* oldText, const wchar_t* newText);
void ReplaceChar(std::wstring& text, wchar_t oldChar, wchar_t newChar);
// Remove every leading (trailing) code unit that occurs in set.
void TrimLeft(std::wstring& text, const wchar_t* set);
void TrimRight(std::wstring& text, const wchar_t* set);
void MakeLower(std::wstring& text);
void MakeUpper(std::wstring& text);
// Removes a double quote at both ends; a lone quote stays.
void StripQuotes(std::wstring& text);
// Returns the text before the first separator and removes it and the separator
// from text; without a separator the whole text is returned and text emptied.
std::wstring PopToken(std::wstring& text, const std::wstring& separator);

// Substrings.
std::wstring Left(const std::wstring& text, int count);
std::wstring Right(const std::wstring& text, int count);
// A count of -1 (or one past the end) takes the rest.
std::wstring Mid(const std::wstring& text, int start, int count = -1);

// The text with %NAME% references to environment variables replaced; the text
// itself when it has none or the system cannot expand it.
std::wstring ExpandEnvironment(const std::wstring& text);

// printf-style formatting with the Microsoft meaning of the conversions: %s
// takes a wide string, %S a narrow one. The result replaces out; a bad format
// or a result beyond the size limit empties out; a null or empty format leaves
// out unchanged.
void Format(std::wstring& out, const wchar_t* format, ...);
// One formatting attempt into a buffer of size code units: 0 when the text
// fitted, -1 for a bad format, 1 when the buffer was too small.
int FormatTry(wchar_t* buffer, size_t size, const wchar_t* format, va_list args);

} // namespace Velora
