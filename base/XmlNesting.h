// A guard for markup read by a recursive parser (TinyXML): documents nested
// too deep for the thread's stack are refused before they are parsed.
#pragma once

#include <cstddef>

namespace Velora {

// True when no element of the document text (up to its first zero byte) lies
// deeper than maxDepth. The parser descends one level of the thread's stack
// per element, so a document nested thousands deep would overflow it: this
// reads the markup the way the parser does, and takes anything it cannot
// place exactly as too deep.
bool NestingWithin(const char* text, size_t maxDepth);

} // namespace Velora
