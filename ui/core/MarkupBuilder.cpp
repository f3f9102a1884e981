#include "ui/core/MarkupBuilder.h"

#include "base/File.h"
#include "base/TextConvert.h"
#include "base/XmlLimits.h"
#include "ui/core/Button.h"
#include "ui/core/Container.h"
#include "ui/core/Control.h"
#include "ui/core/HorizontalLayout.h"
#include "ui/core/Label.h"
#include "ui/core/Option.h"
#include "ui/core/PaintManager.h"
#include "ui/core/Progress.h"
#include "ui/core/Slide.h"
#include "ui/core/UIResources.h"
#include "ui/core/ValueText.h"
#include "ui/core/VerticalLayout.h"

#include <tinyxml.h>

#include <cstring>
#include <map>

namespace Velora {

namespace {

constexpr UINT kCodePageGbk = 936;
constexpr int kContainerInterface = 4;
const char kUtf8Bom[] = "\xEF\xBB\xBF";

std::map<std::wstring, VLElementFactory>& Elements()
{
    static std::map<std::wstring, VLElementFactory> elements;
    return elements;
}

// The code page an XML declaration names; 0 when it names none we know.
UINT DeclaredCodePage(const std::string& bytes)
{
    if (bytes.compare(0, 5, "<?xml") != 0) return 0;
    const std::string declaration = bytes.substr(0, bytes.find("?>"));
    const size_t key = declaration.find("encoding");
    if (key == std::string::npos) return 0;
    const size_t open = declaration.find_first_of("\"'", key);
    if (open == std::string::npos) return 0;
    const size_t close = declaration.find(declaration[open], open + 1);
    if (close == std::string::npos) return 0;
    const std::string name = declaration.substr(open + 1, close - open - 1);
    if (_stricmp(name.c_str(), "UTF-8") == 0 || _stricmp(name.c_str(), "UTF8") == 0) return CP_UTF8;
    if (_stricmp(name.c_str(), "GBK") == 0 || _stricmp(name.c_str(), "GB2312") == 0) return kCodePageGbk;
    return 0;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    VLFile file;
    uint64_t size = 0;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0) || !file.GetSize(size) ||
        size > VLMarkupBuilder::kMaxBytes)
        return false;
    bytes.resize(static_cast<size_t>(size));
    DWORD read = 0;
    return size == 0 || (file.Read(&bytes[0], static_cast<DWORD>(size), &read) && read == size);
}

// Resources are not terminated: the bytes are taken by their size.
bool ReadResourceBytes(const wchar_t* name, const wchar_t* type, std::string& bytes)
{
    const HINSTANCE module = VLUIResources::Instance()->GetInstance();
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return false;
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || size > VLMarkupBuilder::kMaxBytes) return false;
    bytes.assign(static_cast<const char*>(data), size);
    FreeResource(loaded);
    return true;
}

bool IsTrue(const char* value) { return value && std::strcmp(value, "true") == 0; }

} // namespace

VLMarkupBuilder::VLMarkupBuilder()
{
    static const bool registered = (RegisterCoreElements(), true);
    (void)registered;
}

void VLMarkupBuilder::RegisterCoreElements()
{
    RegisterElement<VLControl>(L"Control");
    RegisterElement<VLContainer>(L"Container");
    RegisterElement<VLVerticalLayout>(L"VerticalLayout");
    RegisterElement<VLHorizontalLayout>(L"HorizontalLayout");
    RegisterElement<VLOption>(L"Option");
    RegisterElement<VLProgress>(L"Progress");
    RegisterElement<VLSlide>(L"Slide");
    RegisterElement<VLLabel>(L"Label");
    RegisterElement<VLButton>(L"Button");
}
VLMarkupBuilder::~VLMarkupBuilder() = default;

void VLMarkupBuilder::RegisterElement(const std::wstring& name, VLElementFactory factory)
{
    Elements()[name] = factory;
}

VLElementFactory VLMarkupBuilder::FindElement(const std::wstring& name)
{
    const auto it = Elements().find(name);
    return it == Elements().end() ? nullptr : it->second;
}

std::wstring VLMarkupBuilder::Text(const char* narrow) const
{
    return MultiByteToWideCP(narrow, -1, codePage_, nullptr);
}

bool VLMarkupBuilder::Parse(std::string bytes, bool isUtf8Text)
{
    const bool bom = bytes.compare(0, 3, kUtf8Bom) == 0;
    if (bom) bytes.erase(0, 3);
    const UINT declared = DeclaredCodePage(bytes);
    codePage_ = isUtf8Text || bom ? CP_UTF8 : declared ? declared : CP_ACP;
    // The reader works on terminated text: a zero byte inside ends the markup.
    bytes.resize(std::strlen(bytes.c_str()));
    const XmlEncoding encoding = codePage_ == CP_UTF8 ? XmlEncoding::Utf8 : XmlEncoding::Legacy;
    if (!WithinXmlLimits(bytes.c_str(), encoding, {kMaxDepth, kMaxAttributes})) return false;
    document_ = std::make_unique<TiXmlDocument>();
    // The reader stops at the first error and keeps what it read before it;
    // that part is built.
    document_->Parse(bytes.c_str(), nullptr,
                     encoding == XmlEncoding::Utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
    return true;
}

VLControl* VLMarkupBuilder::Create(const wchar_t* source, const wchar_t* resourceType, const wchar_t* windowName,
                                   int kind, VLPaintManager* manager)
{
    if (!source) return nullptr;
    std::string bytes;
    switch (kind) {
    case kMarkupText: {
        // Wide markup goes through UTF-8, which holds every character of it.
        bool ok = false;
        const std::wstring text(source);
        bytes = text.empty() ? std::string() : WideToMultiByteCP(text, CP_UTF8, 0, nullptr, &ok);
        if (!text.empty() && !ok) return nullptr;
        break;
    }
    case kMarkupFile:
        if (!ReadFileBytes(source, bytes)) return nullptr;
        break;
    case kMarkupResource:
        if (!resourceType || !ReadResourceBytes(source, resourceType, bytes)) return nullptr;
        break;
    default:
        return nullptr;
    }
    if (!Parse(std::move(bytes), kind == kMarkupText)) return nullptr;
    TiXmlElement* window = document_->FirstChildElement();
    if (!window) return nullptr;
    if (windowName && window->ValueStr() == "Root") {
        TiXmlElement* named = window->FirstChildElement("Window");
        for (; named; named = named->NextSiblingElement("Window")) {
            const char* name = named->Attribute("name");
            if (name && Text(name) == windowName) break;
        }
        window = named;
    }
    return window ? ParseWindow(window, manager) : nullptr;
}

TiXmlElement* VLMarkupBuilder::FirstWindow() const
{
    TiXmlElement* first = document_ ? document_->FirstChildElement() : nullptr;
    return first && first->ValueStr() == "Root" ? first->FirstChildElement("Window") : nullptr;
}

void VLMarkupBuilder::AddFont(const TiXmlElement* element, VLPaintManager* manager) const
{
    const char* face = element->Attribute("name");
    if (!face) return;
    const char* size = element->Attribute("size");
    const char* name = element->Attribute("font");
    VLFontInfo* font = manager->AddFont(Text(face), name ? Text(name) : std::wstring(), size ? atoi(size) : 12,
                                        IsTrue(element->Attribute("bold")), IsTrue(element->Attribute("underline")),
                                        IsTrue(element->Attribute("italic")));
    if (!font) return;
    if (IsTrue(element->Attribute("default"))) manager->SetDefaultFont(font);
    if (IsTrue(element->Attribute("defaultbold"))) manager->SetDefaultBoldFont(font);
    if (IsTrue(element->Attribute("defaultlink"))) manager->SetDefaultLinkFont(font);
}

void VLMarkupBuilder::ApplyWindowAttribute(const std::wstring& name, const std::wstring& value,
                                           VLPaintManager* manager) const
{
    int n[5] = {};
    const auto read = [&](int count) { ReadIntList(value.c_str(), n, count); };
    if (name == L"caption") {
        manager->SetCaption(ReadRect(value));
    } else if (name == L"roundcorner") {
        read(2);
        manager->SetRoundCorner({n[0], n[1]});
    } else if (name == L"roundcornerimage") {
        manager->SetRoundCornerImage(value);
    } else if (name == L"sizebox") {
        read(5);
        manager->SetSizeBox({n[0], n[1], n[2], n[3]}, n[4]);
    } else if (name == L"mininfo") {
        read(2);
        manager->SetMinInfo({n[0], n[1]});
    } else if (name == L"maxinfo") {
        read(2);
        manager->SetMaxInfo({n[0], n[1]});
    } else if (name == L"layeredwindow") {
        manager->SetLayered(value == L"true");
    } else if (name == L"layeredwindowalpha") {
        manager->SetLayeredAlpha(_wtoi(value.c_str()));
    }
}

VLControl* VLMarkupBuilder::ParseWindow(TiXmlElement* window, VLPaintManager* manager)
{
    if (manager && window->ValueStr() == "Window") {
        for (TiXmlElement* child = window->FirstChildElement(); child; child = child->NextSiblingElement()) {
            if (child->ValueStr() == "Font") {
                AddFont(child, manager);
            } else if (child->ValueStr() == "Default") {
                const char* name = child->Attribute("name");
                const char* value = child->Attribute("value");
                if (name) manager->AddDefaultAttributeList(Text(name), value ? Text(value) : std::wstring());
            }
        }
        if (manager->GetWindow()) {
            for (const TiXmlAttribute* a = window->FirstAttribute(); a; a = a->Next())
                ApplyWindowAttribute(Text(a->Name()), Text(a->Value()), manager);
        }
    }
    return ParseControls(window, nullptr, manager);
}

VLControl* VLMarkupBuilder::ParseControls(TiXmlNode* node, VLControl* parent, VLPaintManager* manager)
{
    VLContainer* container =
        parent ? static_cast<VLContainer*>(parent->GetInterface(kContainerInterface)) : nullptr;
    VLControl* first = nullptr;
    for (TiXmlElement* element = node->FirstChildElement(); element; element = element->NextSiblingElement()) {
        const std::wstring className = Text(element->Value());
        const VLElementFactory factory = FindElement(className);
        if (!factory) continue;
        // Only containers hold children: under any other parent nothing is
        // built, as the controls would belong to nobody. For the same reason
        // only the first control directly under the window becomes its root.
        if ((parent && !container) || (!parent && first)) break;
        VLControl* control = factory();
        if (!element->NoChildren()) ParseControls(element, control, manager);
        if (container && !container->Add(control)) {
            delete control;
            continue;
        }
        if (manager) {
            control->SetManager(manager);
            const std::wstring defaults = manager->GetDefaultAttributeList(className);
            if (!defaults.empty()) VLControl::ApplyAttributeList(defaults, control);
        }
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
            control->SetAttribute(Text(a->Name()), Text(a->Value()));
        if (!first) first = control;
    }
    return first;
}

} // namespace Velora
