#include "detect/DetectHelpers.h"

#include "base/FileUtil.h"
#include "base/FileVersionInfo.h"
#include "base/GdiScope.h"
#include "base/StringUtil.h"

#include <vector>

namespace Velora {

namespace {

template <typename Function> Function KernelFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

bool ReadFixedInfo(const std::wstring& path, VS_FIXEDFILEINFO& out)
{
    VLFileVersionInfo info(path);
    if (!info.Load()) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data.Get(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        !fixed || length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    out = *fixed;
    return true;
}

} // namespace

bool IsWow64()
{
    static const bool answer = [] {
        using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
        const auto query = KernelFunction<IsWow64Process>("IsWow64Process");
        BOOL wow64 = FALSE;
        return query && query(GetCurrentProcess(), &wow64) && wow64;
    }();
    return answer;
}

bool IsLibraryLoadable(const wchar_t* name, const char* exportName)
{
    // No message box for a missing library or an empty drive while probing.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    bool loadable = false;
    if (name) {
        const std::wstring copy = name;
        // Mapped without running DllMain or loading its imports, which is all
        // it takes to look up an export.
        const VLModule module(LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
        loadable = module.Valid() && (!exportName || GetProcAddress(module.Get(), exportName));
    }
    SetErrorMode(previousMode);
    return loadable;
}

bool ParseVersion(const std::wstring& text, int32_t& major, int32_t& minor, int32_t& build,
                  int32_t& revision)
{
    std::vector<std::wstring> pieces;
    Split(text, L'.', pieces);
    if (pieces.empty()) return false;
    int32_t* parts[] = {&major, &minor, &build, &revision};
    for (size_t i = 0; i < pieces.size() && i < 4; ++i) {
        const std::wstring& piece = pieces[i];
        const uint64_t number = !piece.empty() && piece[0] == L'-'
                                    ? 0 - StringToUInt64(piece.c_str() + 1)
                                    : StringToUInt64(piece.c_str());
        *parts[i] = int32_t(uint32_t(number));
    }
    return true;
}

bool GetFileProductVersion(const std::wstring& path, int32_t& major, int32_t& minor,
                           int32_t& build, int32_t& revision)
{
    VLFileVersionInfo info(path);
    uint64_t version = 0;
    if (!info.GetProductVersion(version)) return false;
    major = int32_t(version >> 48);
    minor = int32_t(version >> 32 & 0xFFFF);
    build = int32_t(version >> 16 & 0xFFFF);
    revision = int32_t(version & 0xFFFF);
    return true;
}

bool FileVersionEquals(const std::wstring& path, const std::wstring& versionText)
{
    VS_FIXEDFILEINFO fixed;
    if (!ReadFixedInfo(path, fixed)) return false;
    std::wstring text;
    Format(text, L"%d.%d.%d.%d", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
           HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
    return text == versionText;
}

bool FileVersionAtLeast(const std::wstring& path, const std::wstring& versionText)
{
    VS_FIXEDFILEINFO fixed;
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    if (!ReadFixedInfo(path, fixed) || !ParseVersion(versionText, major, minor, build, revision)) {
        return false;
    }
    const uint64_t have = uint64_t(fixed.dwFileVersionMS) << 32 | fixed.dwFileVersionLS;
    const uint64_t want = uint64_t(uint16_t(major)) << 48 | uint64_t(uint16_t(minor)) << 32 |
                          uint64_t(uint16_t(build)) << 16 | uint16_t(revision);
    return have >= want;
}

Wow64FsRedirectionGuard::Wow64FsRedirectionGuard() : wow64(IsWow64())
{
    if (!wow64) return;
    disable = KernelFunction<decltype(disable)>("Wow64DisableWow64FsRedirection");
    revert = KernelFunction<decltype(revert)>("Wow64RevertWow64FsRedirection");
    disabled = disable && revert && disable(&oldValue);
}

Wow64FsRedirectionGuard::~Wow64FsRedirectionGuard()
{
    if (disabled) revert(oldValue);
}

} // namespace Velora
