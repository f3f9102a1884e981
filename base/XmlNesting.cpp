#include "base/XmlNesting.h"

#include <cstring>

namespace Velora {

namespace {

// Just past the first occurrence of end at or after p; null without one.
const char* SkipPast(const char* p, const char* end)
{
    const char* found = std::strstr(p, end);
    return found ? found + std::strlen(end) : nullptr;
}

bool IsNameStart(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 127 || byte == '_' || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The '>' that ends the start tag whose name begins at p: a quoted attribute
// value may hold one. Null when the tag never ends.
const char* EndOfStartTag(const char* p)
{
    for (char quote = 0; *p; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == '>') {
            return p;
        }
    }
    return nullptr;
}

// The parser reads an XML declaration's attributes by rules of its own under
// which a quoted value may run past the first '>', so only the plain form is
// taken: name="value" pairs whose values hold no blank, quote or angle
// bracket. Just past its "?>", or null.
const char* SkipPlainDeclaration(const char* p)
{
    for (p += 5;;) {
        while (IsBlank(*p)) ++p;
        if (p[0] == '?' && p[1] == '>') return p + 2;
        const char* name = p;
        while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) ++p;
        if (p == name || *p++ != '=' || (*p != '"' && *p != '\'')) return nullptr;
        const char quote = *p++;
        while (*p && *p != quote && !IsBlank(*p) && !std::strchr("<>\"'", *p)) ++p;
        if (*p++ != quote) return nullptr;
    }
}

} // namespace

bool NestingWithin(const char* text, size_t maxDepth)
{
    size_t depth = 0;
    for (const char* p = std::strchr(text, '<'); p; p = p ? std::strchr(p, '<') : nullptr) {
        if (std::strncmp(p, "<!--", 4) == 0) {
            p = SkipPast(p + 4, "-->");
        } else if (std::strncmp(p, "<![CDATA[", 9) == 0) {
            p = SkipPast(p + 9, "]]>");
        } else if (p[1] == '/') {
            if (depth > 0) --depth;
            p = SkipPast(p + 2, ">");
        } else if (IsNameStart(p[1])) {
            const char* end = EndOfStartTag(p + 1);
            // An empty element ("<name/>") opens no level.
            if (end && end[-1] != '/' && ++depth > maxDepth) return false;
            p = end ? end + 1 : nullptr;
        } else if (depth > 0) {
            // Declarations and unknown markup have no place inside an element;
            // where the parser ends them could hide end tags from this count.
            return false;
        } else if (_strnicmp(p, "<?xml", 5) == 0) {
            p = SkipPlainDeclaration(p);
            if (!p) return false;
        } else {
            // Before and after the root the parser skips them to the first '>'.
            p = SkipPast(p + 1, ">");
        }
    }
    return true;
}

} // namespace Velora
