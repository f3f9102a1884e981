// Thin helpers over TinyXML; wide text is converted to and from the ANSI code
// page at each call.
#pragma once

#include <tinyxml.h>

#include <string>

namespace Velora {

class VLXmlDocument : public TiXmlDocument {
public:
    // Reads the file as the parser's own file reader does (line ends read
    // as LF). A file the nesting guard refuses is not parsed: false, with
    // the document empty and no parse error.
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

} // namespace Velora
