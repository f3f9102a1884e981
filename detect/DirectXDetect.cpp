#include "detect/DirectXDetect.h"

#include "base/ComScope.h"
#include "base/FileVersionInfo.h"
#include "detect/DetectHelpers.h"
#include "detect/Detectors.h"

#include <initguid.h>
#include <dxdiag.h>

#include <cwchar>

namespace Velora {

namespace {

constexpr uint64_t Version(uint16_t a, uint16_t b, uint16_t c, uint16_t d)
{
    return uint64_t(a) << 48 | uint64_t(b) << 32 | uint64_t(c) << 16 | d;
}

// A row applies when the library's version reaches the threshold for its
// major word; a threshold of 0 means that major word never applies.
struct DirectXRow {
    const wchar_t* file;
    uint64_t thresholdMajor4;
    uint64_t thresholdMajor5;
    uint32_t major;
    uint32_t minor;
    wchar_t letter;
};

// Later rows override earlier ones: the last applicable row wins.
const DirectXRow kDirectXRows[] = {
    {L"\\ddraw.dll", Version(4, 2, 0, 95), 0, 1, 0, L' '},
    {L"\\ddraw.dll", Version(4, 3, 0, 1096), 0, 2, 0, L' '},
    {L"\\ddraw.dll", Version(4, 4, 0, 68), 0, 3, 0, L' '},
    {L"\\d3drg8x.dll", Version(4, 4, 0, 70), 0, 3, 0, L'a'},
    {L"\\ddraw.dll", Version(4, 5, 0, 155), 0, 5, 0, L' '},
    {L"\\ddraw.dll", Version(4, 6, 0, 318), 0, 6, 0, L' '},
    {L"\\ddraw.dll", Version(4, 6, 0, 436), 0, 6, 1, L' '},
    {L"\\dplayx.dll", Version(4, 6, 3, 518), 0, 6, 1, L'a'},
    {L"\\ddraw.dll", Version(4, 7, 0, 700), 0, 7, 0, L' '},
    {L"\\dinput.dll", Version(4, 7, 0, 716), 0, 7, 0, L'a'},
    {L"\\ddraw.dll", Version(4, 8, 0, 400), Version(5, 1, 2258, 400), 8, 0, L' '},
    {L"\\d3d8.dll", Version(4, 8, 1, 881), Version(5, 1, 2600, 881), 8, 1, L' '},
    {L"\\d3d8.dll", Version(4, 8, 1, 901), Version(5, 1, 2600, 901), 8, 1, L'a'},
    {L"\\mpg2splt.ax", Version(6, 3, 1, 885), 0, 8, 1, L'b'},
    {L"\\dpnet.dll", Version(4, 9, 0, 134), Version(5, 2, 3677, 134), 8, 2, L' '},
};

bool RowApplies(const DirectXRow& row, uint64_t version)
{
    // Single-threshold rows compare whatever the major word; the others use
    // the threshold of the file's own major word, and no other major applies.
    uint64_t threshold = row.thresholdMajor4;
    if (row.thresholdMajor5) {
        const uint64_t majorWord = version >> 48;
        threshold = majorWord == 4 ? row.thresholdMajor4 : majorWord == 5 ? row.thresholdMajor5 : 0;
        if (!threshold) return false;
    }
    return CompareVersion64(version, threshold) >= 0;
}

// A property read into a variant that is cleared again on leaving.
class Property {
public:
    Property(IDxDiagContainer* container, const wchar_t* name)
    {
        VariantInit(&value);
        ok = SUCCEEDED(container->GetProp(name, &value));
    }
    ~Property() { VariantClear(&value); }
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    bool IsUInt() const { return ok && value.vt == VT_UI4; }
    bool IsText() const { return ok && value.vt == VT_BSTR && value.bstrVal && value.bstrVal[0]; }

    VARIANT value;
    bool ok;
};

} // namespace

int CompareVersion64(uint64_t a, uint64_t b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

HRESULT GetFileVersion64(const std::wstring& path, uint64_t* version)
{
    if (!version) return E_INVALIDARG;
    VLFileVersionInfo info(path);
    return info.GetProductVersion(*version) ? S_OK : E_FAIL;
}

void ApplyDirectXLongVersion(const std::wstring& text, uint32_t& major, uint32_t& minor)
{
    // Only the two numbers are read: the rest of the text is of any length.
    unsigned parsedMajor = 0, parsedMinor = 0;
    const int fields = swscanf(text.c_str(), L"DirectX %u.%u", &parsedMajor, &parsedMinor);
    if (fields >= 1 && parsedMajor > major) major = parsedMajor;
    if (fields >= 2 && parsedMinor > minor) minor = parsedMinor;
}

HRESULT GetDirectXVersionViaDxDiag(uint32_t& major, uint32_t& minor, wchar_t& letter)
{
    VLComInit com;
    VLComPtr<IDxDiagProvider> provider;
    if (FAILED(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDxDiagProvider, provider.Receive()))) {
        return E_FAIL;
    }
    DXDIAG_INIT_PARAMS params = {};
    params.dwSize = sizeof(params);
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    params.bAllowWHQLChecks = FALSE; // keeps the provider's start-up short
    params.pReserved = nullptr;
    VLComPtr<IDxDiagContainer> root;
    VLComPtr<IDxDiagContainer> systemInfo;
    if (FAILED(provider->Initialize(&params)) || FAILED(provider->GetRootContainer(root.Put())) ||
        FAILED(root->GetChildContainer(L"DxDiag_SystemInfo", systemInfo.Put()))) {
        return E_FAIL;
    }

    bool haveMajor = false, haveMinor = false, haveLetter = false;
    {
        Property property(systemInfo.Get(), L"dwDirectXVersionMajor");
        if ((haveMajor = property.IsUInt())) major = property.value.ulVal;
    }
    {
        Property property(systemInfo.Get(), L"dwDirectXVersionMinor");
        if ((haveMinor = property.IsUInt())) minor = property.value.ulVal;
    }
    {
        Property property(systemInfo.Get(), L"szDirectXVersionLetter");
        if ((haveLetter = property.IsText())) letter = property.value.bstrVal[0];
    }
    if (haveMajor && major > 9) {
        Property property(systemInfo.Get(), L"szDirectXVersionLongEnglish");
        if (property.IsText()) ApplyDirectXLongVersion(property.value.bstrVal, major, minor);
    }
    return haveMajor && haveMinor && haveLetter ? S_OK : E_FAIL;
}

void GetDirectXVersionFromFolder(const std::wstring& systemDir, uint32_t& major, uint32_t& minor,
                                 wchar_t& letter)
{
    major = 0;
    minor = 0;
    letter = L' ';
    for (const DirectXRow& row : kDirectXRows) {
        uint64_t version = 0;
        if (GetFileVersion64(systemDir + row.file, &version) == S_OK && RowApplies(row, version)) {
            major = row.major;
            minor = row.minor;
            letter = row.letter;
        }
    }
    uint64_t version = 0;
    if (GetFileVersion64(systemDir + L"\\d3d9.dll", &version) == S_OK) {
        major = 9;
        minor = 0;
        letter = L' ';
    }
}

HRESULT GetDirectXVersionViaFiles(uint32_t& major, uint32_t& minor, wchar_t& letter)
{
    wchar_t systemDir[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        major = 0;
        minor = 0;
        letter = L' ';
        return S_OK;
    }
    GetDirectXVersionFromFolder(systemDir, major, minor, letter);
    return S_OK;
}

HRESULT GetDirectXVersion(uint32_t& major, uint32_t& minor, wchar_t& letter)
{
    major = 0;
    minor = 0;
    letter = L' ';
    if (FAILED(GetDirectXVersionViaDxDiag(major, minor, letter)) &&
        FAILED(GetDirectXVersionViaFiles(major, minor, letter))) {
        return E_FAIL;
    }
    letter = towlower(letter);
    return S_OK;
}

bool DetectDirectX()
{
    uint32_t major = 0, minor = 0;
    wchar_t letter = L' ';
    if (FAILED(GetDirectXVersion(major, minor, letter))) return false;
    return major >= 9 && major <= 11;
}

} // namespace Velora
