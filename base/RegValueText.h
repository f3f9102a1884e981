// Pieces of the ".reg" text forms shared by the value conversions, the file
// reader and the file writer.
#pragma once

#include "base/Buffer.h"

#include <string>

namespace Velora {

// Removes line continuations (backslash, CR, LF), then every CR, LF and blank,
// so a hexadecimal list spread over several lines reads as one.
std::wstring StripRegDataBlanks(const std::wstring& text);
// Comma-separated hexadecimal bytes into out; an empty piece is a 0 byte and
// an empty text gives no bytes.
void ParseHexBytes(const std::wstring& text, VLBuffer<unsigned char>& out);
// The quoting of names and strings in ".reg" text: backslashes are doubled
// first, then a backslash goes before every double quote; unescaping undoes
// the two steps in the same order.
std::wstring EscapeRegString(const std::wstring& text);
std::wstring UnescapeRegString(const std::wstring& text);

} // namespace Velora
