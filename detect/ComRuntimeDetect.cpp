#include "detect/ComRuntimeDetect.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/FileVersionInfo.h"
#include "base/StringUtil.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

#include <msxml.h>

#include <cwchar>

namespace Velora {

namespace {

// Whether a document object of the class the ProgID names can be created.
// Expects COM to be initialised on the thread.
bool CanCreateDocument(const wchar_t* progId)
{
    CLSID clsid;
    VLComPtr<IXMLDOMDocument> document;
    return SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
           SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, document.Receive()));
}

bool DetectMsxml(const wchar_t* progId)
{
    VLComInit com;
    return CanCreateDocument(progId);
}

} // namespace

bool CheckMsxmlDescription(const std::wstring& path)
{
    VLFileVersionInfo info(path);
    const void* value = nullptr;
    UINT length = 0;
    // A resource may carry a short or empty translation table: the language
    // and the code page together take four bytes.
    if (!info.Query(L"\\VarFileInfo\\Translation", value, length) || length < 2 * sizeof(WORD)) return false;
    const auto* translation = static_cast<const WORD*>(value);
    std::wstring query;
    Format(query, L"\\StringFileInfo\\%04x%04x\\FileDescription", translation[0], translation[1]);
    if (!info.Query(query.c_str(), value, length, sizeof(wchar_t))) return false;
    const auto* description = static_cast<const wchar_t*>(value);
    return std::wstring(description, wcsnlen(description, length)) == L"MSXML 4.0 SP3";
}

bool DetectMsxml3()
{
    return DetectMsxml(L"msxml2.DOMDocument.3.0");
}

bool DetectMsxml4()
{
    VLComInit com;
    std::wstring systemDir;
    return CanCreateDocument(L"msxml2.DOMDocument.4.0") && GetSystemDir(systemDir) &&
           CheckMsxmlDescription(systemDir + L"\\msxml4.dll");
}

bool DetectMsxml6()
{
    return DetectMsxml(L"msxml2.DOMDocument.6.0");
}

bool DetectMsxml6x64()
{
    // From the system: the environment's WINDIR is whatever the user set.
    std::wstring windowsDir;
    if (!GetSystemWindowsDir(windowsDir)) return false;
    Wow64FsRedirectionGuard nativeSystemFolder;
    return FileExists(windowsDir + L"\\system32\\msxml6.dll");
}

bool DetectFlashForIE()
{
    // The control counts as installed whenever its ProgID is registered.
    CLSID clsid;
    return SUCCEEDED(CLSIDFromProgID(L"ShockwaveFlash.ShockwaveFlash", &clsid));
}

} // namespace Velora
