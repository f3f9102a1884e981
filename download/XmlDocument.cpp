#include "download/XmlDocument.h"

#include "base/PlainFile.h"
#include "base/TextConvert.h"
#include "base/XmlLimits.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Velora {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;

// The file as itself (it lies in a folder every user can write), as a stream
// of the C library, which then owns the handle. Opened by its wide name: a
// temporary folder under a user name outside the ANSI code page must still
// work.
FILE* OpenStream(const std::wstring& path)
{
    VLPlainFile file;
    // Shared as the C library's own opening shares it, and with the save
    // that has just put the file in place by a rename through its handle.
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING))
        return nullptr;
    const int descriptor = _open_osfhandle(intptr_t(file.file.handle.Get()), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) return nullptr;
    file.file.handle.Release();
    FILE* stream = _fdopen(descriptor, "rb");
    if (!stream) _close(descriptor);
    return stream;
}

// How long a save waits for readers of the file it replaces.
constexpr int kReplaceTries = 100;
constexpr DWORD kReplaceWaitMs = 10;

// The seed list holds one flat list of short records; a file nested or
// crowded far beyond that was not written by us and could overflow the
// parser's stack.
constexpr XmlLimits kDocumentLimits = {32, 32};

// The file's text as the parser's own file reader hands it over: up to its
// first zero byte, with CR LF and a lone CR each read as LF. The guard must
// judge these very bytes: a line end folded to one byte moves where a
// multibyte character before it ends, and with it the end tags the parser
// sees.
bool ReadFoldedText(const std::wstring& file, std::string& text)
{
    FilePtr stream(OpenStream(file));
    if (!stream) return false;
    std::string bytes;
    char block[4096];
    for (size_t n; (n = fread(block, 1, sizeof(block), stream.get())) > 0;) bytes.append(block, n);
    if (ferror(stream.get())) return false;
    text.clear();
    for (size_t i = 0; i < bytes.size() && bytes[i]; ++i) {
        const bool carriage = bytes[i] == '\r';
        text += carriage ? '\n' : bytes[i];
        if (carriage && bytes[i + 1] == '\n') ++i; // bytes[size()] is the terminator
    }
    return true;
}

std::string Narrow(const std::wstring& text)
{
    return text.empty() ? std::string() : ToMultiByte(text);
}

} // namespace

bool VLXmlDocument::Load(const std::wstring& file)
{
    Clear();
    ClearError();
    path = file;
    std::string text;
    loaded = ReadFoldedText(file, text) && WithinXmlLimits(text.c_str(), XmlEncoding::Unknown, kDocumentLimits);
    if (loaded) {
        Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        loaded = !Error();
    }
    return loaded;
}

bool VLXmlDocument::Save(const std::wstring& file)
{
    // Written whole beside the file and then put in its place in one step:
    // a reader, or a kill or power cut during the save, meets the old text
    // or the new, never half of one.
    const std::wstring target = file.empty() ? path : file;
    TiXmlPrinter printer;
    printer.SetLineBreak("\r\n");
    Accept(&printer);
    const DWORD size = DWORD(printer.Size());
    VLPlainFile written;
    DWORD done = 0;
    // Readers share it from the moment it is in place until it is closed.
    if (!written.Open(target + L".new", GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_ALWAYS)) return false;
    bool replaced = false;
    if (written.file.Write(printer.CStr(), size, &done) && done == size &&
        FlushFileBuffers(written.file.handle.Get())) {
        replaced = written.Rename(target, true);
        // A file open in a reader (a scanner, another copy of the program)
        // is not replaced: it is tried again until the reader is done.
        for (int tries = 0; !replaced && GetLastError() == ERROR_ACCESS_DENIED && tries < kReplaceTries; ++tries) {
            Sleep(kReplaceWaitMs);
            replaced = written.Rename(target, true);
        }
    }
    if (!replaced) written.Delete();
    return replaced;
}

std::wstring GetElementName(const TiXmlElement* element)
{
    return element ? ToWide(element->Value()) : std::wstring();
}

TiXmlElement* FirstChildElement(TiXmlNode* node, const std::wstring& name)
{
    return node ? node->FirstChildElement(Narrow(name).c_str()) : nullptr;
}

bool GetElementText(const TiXmlElement* element, std::wstring& out)
{
    out.clear();
    const TiXmlNode* child = element ? element->FirstChild() : nullptr;
    if (!child || !child->ToText()) return false;
    out = ToWide(child->Value());
    return true;
}

TiXmlElement* AddElement(TiXmlNode* parent, const std::wstring& name)
{
    if (!parent) return nullptr;
    TiXmlNode* added = parent->LinkEndChild(new TiXmlElement(Narrow(name).c_str()));
    return added ? added->ToElement() : nullptr;
}

TiXmlElement* AddElementWithText(TiXmlNode* parent, const std::wstring& name,
                                 const std::wstring& text)
{
    TiXmlElement* element = AddElement(parent, name);
    if (element) AddText(element, text);
    return element;
}

TiXmlText* AddText(TiXmlNode* parent, const std::wstring& text)
{
    if (!parent) return nullptr;
    TiXmlNode* added = parent->LinkEndChild(new TiXmlText(Narrow(text).c_str()));
    return added ? added->ToText() : nullptr;
}

} // namespace Velora
