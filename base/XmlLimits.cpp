#include "base/XmlLimits.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace Velora {

namespace {

// The parser's own character classes, called the way it calls them so that
// the C runtime answers both alike.
bool IsWhiteSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r';
}

bool IsAlpha(unsigned char c)
{
    return c < 127 ? std::isalpha(c) != 0 : true;
}
bool IsAlphaNum(unsigned char c)
{
    return c < 127 ? std::isalnum(c) != 0 : true;
}

// Bytes of the character a UTF-8 lead byte starts, as the parser counts them:
// anything that is no lead byte counts as one.
int Utf8Length(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

enum class Node { Declaration, Comment, CData, Unknown, Element };

// One reading of a text, mirroring the parser's steps. Every step answers the
// position after what it read, or null where the parser stops with an error;
// whatever the parser took in before that is all it ever descends into.
class Reading {
public:
    Reading(XmlEncoding encoding, const XmlLimits& limits) : encoding_(encoding), limits_(limits) {}

    bool Within(const char* p)
    {
        if (!*p) return true;
        if (encoding_ == XmlEncoding::Unknown && std::strncmp(p, "\xEF\xBB\xBF", 3) == 0) encoding_ = XmlEncoding::Utf8;
        for (p = SkipWhiteSpace(p); p && *p && *p == '<' && !refused_; p = SkipWhiteSpace(p)) {
            const Node node = Identify(p);
            if (node != Node::Declaration) {
                p = ReadNode(node, p);
                continue;
            }
            std::string declared;
            p = ReadDeclaration(p, declared);
            // The first declaration names the encoding of everything after it.
            if (encoding_ != XmlEncoding::Unknown) continue;
            if (declared.find('&') != std::string::npos) return false; // decoded by rules not followed here
            encoding_ =
                declared.empty() || Equal(declared.c_str(), "UTF-8", true) || Equal(declared.c_str(), "UTF8", true)
                    ? XmlEncoding::Utf8
                    : XmlEncoding::Legacy;
        }
        return !refused_;
    }

private:
    bool Utf8() const { return encoding_ == XmlEncoding::Utf8; }

    int ToLower(char c) const
    {
        const int v = c;
        return Utf8() && v >= 128 ? v : std::tolower(v);
    }

    // Null at the end of the text, as the parser's.
    const char* SkipWhiteSpace(const char* p) const
    {
        if (!p || !*p) return nullptr;
        for (;;) {
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            // In UTF-8 the byte-order mark and two non-characters count as blanks.
            if (Utf8() && u[0] == 0xEF &&
                ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && (u[2] == 0xBE || u[2] == 0xBF)))) {
                p += 3;
            } else if (*p && IsWhiteSpace(*p)) {
                ++p;
            } else {
                return p;
            }
        }
    }

    // Whether p starts with tag.
    bool Equal(const char* p, const char* tag, bool ignoreCase) const
    {
        if (!*p) return false;
        while (*p && *tag && (ignoreCase ? ToLower(*p) == ToLower(*tag) : *p == *tag)) ++p, ++tag;
        return *tag == 0;
    }

    Node Identify(const char* p) const
    {
        if (Equal(p, "<?xml", true)) return Node::Declaration;
        if (Equal(p, "<!--", false)) return Node::Comment;
        if (Equal(p, "<![CDATA[", false)) return Node::CData;
        if (Equal(p, "<!", false)) return Node::Unknown;
        if (IsAlpha(static_cast<unsigned char>(p[1])) || p[1] == '_') return Node::Element;
        return Node::Unknown;
    }

    const char* ReadName(const char* p, std::string* name) const
    {
        if (!p || !*p || !(IsAlpha(static_cast<unsigned char>(*p)) || *p == '_')) return nullptr;
        const char* start = p;
        while (*p && (IsAlphaNum(static_cast<unsigned char>(*p)) || std::strchr("_-.:", *p))) ++p;
        if (name) name->assign(start, p);
        return p;
    }

    // A character reference runs to the next ';', and the parser checks only
    // the digits after the last '#' or 'x' before it: whatever lies between,
    // end tags included, is swallowed.
    const char* ReadEntity(const char* p) const
    {
        if (p[1] == '#' && p[2]) {
            const bool hex = p[2] == 'x';
            if (hex && !p[3]) return nullptr;
            const char* semicolon = std::strchr(p + (hex ? 3 : 2), ';');
            if (!semicolon) return nullptr;
            for (const char* q = semicolon - 1; *q != (hex ? 'x' : '#'); --q) {
                if (!(hex ? std::isxdigit(static_cast<unsigned char>(*q)) : *q >= '0' && *q <= '9')) return nullptr;
            }
            return semicolon + 1;
        }
        for (const char* named : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
            if (std::strncmp(named, p, std::strlen(named)) == 0) return p + std::strlen(named);
        }
        return p + 1;
    }

    const char* ReadChar(const char* p)
    {
        const int length = Utf8() ? Utf8Length(static_cast<unsigned char>(*p)) : 1;
        if (length == 1) return *p == '&' ? ReadEntity(p) : p + 1;
        // The parser would step over the terminator and read on past the text.
        for (int i = 1; i < length; ++i) {
            if (!p[i]) {
                refused_ = true;
                return nullptr;
            }
        }
        return p + length;
    }

    // Characters up to end, then past it; null when the text ends first or
    // right after it.
    const char* ReadText(const char* p, const char* end, std::string* text = nullptr)
    {
        const char* start = p;
        while (p && *p && !Equal(p, end, false)) p = ReadChar(p);
        if (!p || !*p) return nullptr;
        if (text) text->assign(start, p);
        p += std::strlen(end);
        return *p ? p : nullptr;
    }

    const char* ReadAttribute(const char* p, std::string* value = nullptr)
    {
        p = ReadName(SkipWhiteSpace(p), nullptr);
        p = SkipWhiteSpace(p);
        if (!p || *p != '=') return nullptr;
        p = SkipWhiteSpace(p + 1);
        if (!p || !*p) return nullptr;
        if (*p == '\'' || *p == '"') return ReadText(p + 1, *p == '"' ? "\"" : "'", value);
        const char* start = p;
        for (; *p && !IsWhiteSpace(*p) && *p != '/' && *p != '>'; ++p) {
            if (*p == '\'' || *p == '"') return nullptr;
        }
        if (value) value->assign(start, p);
        return p;
    }

    const char* ReadDeclaration(const char* p, std::string& encoding)
    {
        for (p += 5; p && *p;) {
            if (*p == '>') return p + 1;
            p = SkipWhiteSpace(p);
            if (!p || !*p) break;
            if (Equal(p, "encoding", true)) {
                p = ReadAttribute(p, &encoding);
            } else if (Equal(p, "version", true) || Equal(p, "standalone", true)) {
                p = ReadAttribute(p);
            } else {
                while (*p && *p != '>' && !IsWhiteSpace(*p)) ++p;
            }
        }
        return nullptr;
    }

    // Any node but an element; the position after it (possibly the end of
    // the text) or null.
    const char* ReadOther(Node node, const char* p)
    {
        const char* end = node == Node::Comment ? "-->" : node == Node::CData ? "]]>" : ">";
        if (node == Node::Declaration) {
            std::string ignored;
            return ReadDeclaration(p, ignored);
        }
        p += node == Node::Comment ? 4 : node == Node::CData ? 9 : 1;
        while (*p && !Equal(p, end, false)) ++p;
        if (!*p) return node == Node::CData ? nullptr : p;
        p += std::strlen(end);
        return node == Node::CData && !*p ? nullptr : p;
    }

    const char* ReadNode(Node node, const char* p)
    {
        return node == Node::Element ? ReadElement(p) : ReadOther(node, p);
    }

    // The parser descends one call per element; here the open elements are a
    // list, so the reading itself needs no stack.
    const char* ReadElement(const char* p)
    {
        std::vector<std::string> open;
        for (;;) {
            // p is at the '<' of a start tag.
            std::string name;
            p = ReadName(SkipWhiteSpace(p + 1), &name);
            if (!p || !*p) return nullptr;
            size_t attributes = 0;
            for (;;) {
                p = SkipWhiteSpace(p);
                if (!p || !*p) return nullptr;
                if (*p == '/') {
                    if (p[1] != '>') return nullptr;
                    p += 2;
                    break;
                }
                if (*p == '>') {
                    ++p;
                    open.push_back(name);
                    if (open.size() > limits_.depth) return Refuse();
                    break;
                }
                if (++attributes > limits_.attributes) return Refuse();
                p = ReadAttribute(p);
                if (!p || !*p) return nullptr;
            }
            // The content of the innermost open element, up to its end tag
            // or the next start tag.
            for (;;) {
                if (open.empty()) return p;
                p = SkipWhiteSpace(p);
                if (!p || !*p) return nullptr;
                if (*p != '<') {
                    p = ReadText(p, "<");
                    if (!p) return nullptr;
                    --p;
                } else if (Equal(p, "</", false)) {
                    const std::string& closed = open.back();
                    if (std::strncmp(p + 2, closed.c_str(), closed.size()) != 0) return nullptr;
                    p = SkipWhiteSpace(p + 2 + closed.size());
                    if (!p || *p != '>') return nullptr;
                    ++p;
                    open.pop_back();
                } else if (Identify(p) == Node::Element) {
                    break;
                } else {
                    p = ReadOther(Identify(p), p);
                    if (!p) return nullptr;
                }
            }
        }
    }

    const char* Refuse()
    {
        refused_ = true;
        return nullptr;
    }

    XmlEncoding encoding_;
    XmlLimits limits_;
    bool refused_ = false;
};

} // namespace

bool WithinXmlLimits(const char* text, XmlEncoding encoding, const XmlLimits& limits)
{
    return Reading(encoding, limits).Within(text);
}

} // namespace Velora
