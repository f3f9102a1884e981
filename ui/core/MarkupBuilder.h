// Builds a skinned window from XML markup: the window's fonts, default
// attribute lists and shape attributes go to its paint manager, and the
// control elements become the control tree that the window then attaches.
// Markup comes from text, a file or a module resource; narrow markup is read
// in the code page its byte-order mark or XML declaration names (UTF-8, GBK),
// otherwise in the ANSI code page.
#pragma once

#include <memory>
#include <string>

class TiXmlDocument;
class TiXmlElement;
class TiXmlNode;

namespace Velora {

class VLControl;
class VLPaintManager;

// Makes the control one markup element name stands for.
typedef VLControl* (*VLElementFactory)();

enum VLMarkupKind {
    kMarkupText = 1,     // the markup itself, as wide text
    kMarkupFile = 2,     // a file path
    kMarkupResource = 3, // a module resource name or MAKEINTRESOURCE id
};

class VLMarkupBuilder {
public:
    // Markup nested deeper than this is refused whole: the reader and the
    // control tree both descend one level of the stack per element.
    static constexpr size_t kMaxDepth = 128;
    // Elements with more attributes than this are refused: the reader checks
    // every attribute against all before it.
    static constexpr size_t kMaxAttributes = 256;
    // Markup files and resources above this size are refused.
    static constexpr size_t kMaxBytes = 16 * 1024 * 1024;

    VLMarkupBuilder();
    ~VLMarkupBuilder();
    VLMarkupBuilder(const VLMarkupBuilder&) = delete;
    VLMarkupBuilder& operator=(const VLMarkupBuilder&) = delete;

    // Each control class joins the markup under its element name; the last
    // registration of a name wins.
    static void RegisterElement(const std::wstring& name, VLElementFactory factory);
    template <typename T> static void RegisterElement(const std::wstring& name)
    {
        RegisterElement(name, []() -> VLControl* { return new T; });
    }
    static VLElementFactory FindElement(const std::wstring& name);
    // The core's own classes; every builder makes sure they are registered.
    static void RegisterCoreElements();

    // The root of the window's tree, owned by the caller, or null. windowName
    // selects a "Window" under a "Root" element; null takes the first element
    // as the window. Whatever the reader took in before an error in the markup
    // is built.
    VLControl* Create(const wchar_t* source, const wchar_t* resourceType, const wchar_t* windowName, int kind,
                      VLPaintManager* manager);
    VLControl* ParseWindow(TiXmlElement* window, VLPaintManager* manager);
    // The first "Window" under the "Root" element of the markup last given
    // to Create, for tools that build a markup's first window whatever its
    // name; null when there is none.
    TiXmlElement* FirstWindow() const;
    // The first control built under node, or null. Controls that cannot be
    // attached to a parent are deleted.
    VLControl* ParseControls(TiXmlNode* node, VLControl* parent, VLPaintManager* manager);

private:
    bool Parse(std::string bytes, bool isUtf8Text);
    std::wstring Text(const char* narrow) const;
    void AddFont(const TiXmlElement* element, VLPaintManager* manager) const;
    void ApplyWindowAttribute(const std::wstring& name, const std::wstring& value, VLPaintManager* manager) const;

    std::unique_ptr<TiXmlDocument> document_;
    unsigned int codePage_ = 0;
};

} // namespace Velora
