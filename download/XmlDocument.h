// Thin helpers over TinyXML; wide text is converted to and from the ANSI code
// page at each call.
#pragma once

#include <tinyxml.h>

#include <string>

namespace Velora {

class VLXmlDocument : public TiXmlDocument {
public:
    bool Load(const std::wstring& file);
    // An empty file name saves to the document's own path.
    bool Save(const std::wstring& file = std::wstring());

    std::wstring path;
    bool loaded = false;
};

std::wstring GetElementName(const TiXmlElement* element);
TiXmlElement* FirstChildElement(TiXmlNode* node, const std::wstring& name);
// The text of the element's first child when that child is a text node.
bool GetElementText(const TiXmlElement* element, std::wstring& out);
TiXmlElement* AddElement(TiXmlNode* parent, const std::wstring& name);
TiXmlElement* AddElementWithText(TiXmlNode* parent, const std::wstring& name,
                                 const std::wstring& text);
TiXmlText* AddText(TiXmlNode* parent, const std::wstring& text);

// True when no element of the document text (up to its first zero byte) lies
// deeper than maxDepth. The parser descends one level of the thread's stack
// per element, so a document nested thousands deep would overflow it: this
// reads the markup the way the parser does, and takes anything it cannot
// place exactly as too deep.
bool NestingWithin(const char* text, size_t maxDepth);

} // namespace Velora
