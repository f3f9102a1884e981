#include "download/AddressQuery.h"

#include "base/Buffer.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"
#include "base/XmlLimits.h"
#include "download/HttpRequest.h"
#include "download/XmlDocument.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace Velora {

namespace {

// The answer is two levels deep ("FILE" and its fields) and has no
// attributes; anything far beyond that is not the service's answer and could
// overflow the parser's stack or keep it busy.
constexpr XmlLimits kAnswerLimits = {32, 32};

} // namespace

std::wstring BuildQueryUrl(uint32_t runtimeId)
{
    // The version numbers are the query's own constants: the service answers
    // by them, whatever the program's version resource says.
    const std::wstring service = std::wstring(L"http://") + VL_SERVICE_HOST + L"/query_url.php";
    std::wstring url;
    Format(url, L"%s?soft=%d.%d.%d.%d", service.c_str(), 2, 0, 0, 2996);
    url += L"&id=";
    std::wstring withId;
    Format(withId, L"%s%05d", url.c_str(), static_cast<int>(runtimeId));
    return withId;
}

bool QueryDownloadInfo(const std::wstring& url, DownloadFileInfo& out, const std::atomic<bool>* cancelled)
{
    VLBuffer<unsigned char> answer;
    uint32_t size = 0;
    return HttpGetToBuffer(url, answer, size, cancelled) && ParseDownloadInfo(answer.data, size, out);
}

bool ParseDownloadInfo(const unsigned char* bytes, uint32_t size, DownloadFileInfo& out)
{
    if (!bytes) return false;
    // TinyXML reads up to a terminator, which a buffer need not have.
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    if (!WithinXmlLimits(text.c_str(), XmlEncoding::Unknown, kAnswerLimits)) return false;
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (document.Error()) return false;
    TiXmlElement* file = FirstChildElement(&document, L"FILE");
    if (!file) return false;

    for (TiXmlElement* child = file->FirstChildElement(); child; child = child->NextSiblingElement()) {
        std::wstring value;
        if (!GetElementText(child, value)) continue;
        const std::wstring name = GetElementName(child);
        if (name == L"DownloadUrl") out.DownloadUrl = value;
        else if (name == L"SpareUrl") out.SpareUrl = value;
        else if (name == L"Md5") out.Md5 = value;
        else if (name == L"FileSize") out.FileSize = value;
        else if (name == L"FileName") out.FileName = value;
        else if (name == L"DownloadType") out.DownloadType = static_cast<int32_t>(std::wcstol(value.c_str(), nullptr, 10));
        else if (name == L"TorrentUrl") out.TorrentUrl = value;
        else if (name == L"UpdateType") out.UpdateType = value == L"1";
        else if (name == L"InvalidVersion") out.InvalidVersion = value == L"1";
    }
    return !out.DownloadUrl.empty();
}

int64_t ParseFileSize(const std::wstring& text)
{
    if (!text.empty() && text[0] == L'-') return -static_cast<int64_t>(StringToUInt64(text.c_str() + 1));
    return static_cast<int64_t>(StringToUInt64(text.c_str()));
}

bool IsBareFileName(const std::wstring& name)
{
    if (name.empty() || name.size() >= MAX_PATH) return false;
    if (name.find(L"..") != std::wstring::npos) return false;
    // The system drops a trailing dot or blank ("." names the folder itself,
    // "a." the file "a"), so the name written would not be the name asked for.
    if (name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name) {
        if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    }
    // Device names are no files in any folder, with or without an extension.
    return !IsDeviceName(name);
}

} // namespace Velora
