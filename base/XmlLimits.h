// A guard for markup read by a recursive parser (TinyXML): documents nested
// too deep for the thread's stack, or with elements whose attribute lists
// would take the parser quadratic time, are refused before they are parsed.
#pragma once

#include <cstddef>

namespace Velora {

// How the parser is told to read the text: in UTF-8 it steps over a
// multibyte character as one, whatever bytes follow its lead byte; unknown
// detects UTF-8 from a byte-order mark or the XML declaration, as the parser
// does.
enum class XmlEncoding { Unknown, Utf8, Legacy };

struct XmlLimits {
    size_t depth;      // open elements, one inside the other
    size_t attributes; // attributes of one element
};

// True when the parser, reading the text (up to its first zero byte) in that
// encoding, would take in no element deeper or with more attributes than the
// limits allow before it stops. The text is read step by step the way the
// parser reads it, so an end tag the parser swallows (inside a multibyte
// character, an entity, a comment or a quoted value) closes nothing here
// either; text the parser would read past its end is refused too.
bool WithinXmlLimits(const char* text, XmlEncoding encoding, const XmlLimits& limits);

} // namespace Velora
