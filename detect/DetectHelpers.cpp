#include "detect/DetectHelpers.h"

#include "base/FileUtil.h"
#include "base/FileVersionInfo.h"
#include "base/GdiScope.h"
#include "base/PathUtil.h"
#include "base/PeFile.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <algorithm>
#include <vector>

namespace Velora {

namespace {

template <typename Function> Function KernelFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

// The file the system would take for a library's bare name: the program's
// folder, the system folders, the Windows folder, then the folders on PATH.
// The current folder is never searched, so a library planted there is never
// taken for a runtime. A name with a folder must be a full path to a file.
bool FindLibraryFile(const std::wstring& name, std::wstring& path)
{
    if (!IsSafeEntryName(name)) {
        path = name;
        return IsFullFilePath(name);
    }
    std::vector<std::wstring> folders = {GetParentPath(GetModuleFilePath())};
    std::wstring folder;
    if (GetSystemDir(folder)) folders.push_back(folder);
    if (GetWindowsDir(folder)) folders.insert(folders.end(), {folder + L"\\system", folder});
    std::wstring searchPath(32767, L'\0'); // the most a variable can hold
    searchPath.resize(GetEnvironmentVariableW(L"PATH", &searchPath[0], DWORD(searchPath.size())));
    Split(searchPath, L';', folders);
    for (std::wstring& each : folders) {
        NormalizePath(each, kPathStripQuotes);
        const std::wstring candidate = CombinePath(each, name);
        if (IsFullPath(each) && IsFullFilePath(candidate) && FileExists(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

// Whether the library exports the function, read from the file's own bytes:
// the system's lookup trusts the export table, and follows a forward into
// another library, loading it and running its start-up code. A forward
// stands for the export only when it names this very library and function.
bool ExportsFunction(const VLPeFile& file, const std::wstring& path, const char* exportName)
{
    std::string forward;
    if (!file.FindExport(exportName, forward)) return false;
    if (forward.empty()) return true;
    const size_t dot = forward.rfind('.');
    if (dot == std::string::npos || forward.compare(dot + 1, std::string::npos, exportName) != 0) return false;
    std::wstring library = ToWide(forward.substr(0, dot).c_str());
    if (GetFileExtension(library).empty()) library += L".dll";
    return CompareNoCase(library, GetFileName(path)) == 0;
}

// A version piece's leading digits, 0 when it has none. A negative piece or
// one beyond what a part holds is unreadable: it would wrap into another
// version.
bool ParseVersionPiece(const std::wstring& piece, int32_t& part)
{
    if (!piece.empty() && piece[0] == L'-') return false;
    uint64_t number = 0;
    for (size_t i = 0; i < piece.size() && piece[i] >= L'0' && piece[i] <= L'9'; ++i) {
        number = number * 10 + uint64_t(piece[i] - L'0');
        if (number > uint64_t(INT32_MAX)) return false;
    }
    part = int32_t(number);
    return true;
}

// The file the system would take for the library's name, held open: every
// later read of it sees this one copy.
bool OpenLibrary(const wchar_t* name, VLPeFile& file, std::wstring& path)
{
    return name && FindLibraryFile(name, path) && file.Open(path);
}

// Whether the library held may load in this process, exporting exportName
// when one is given: mapped as the loader maps it, without running anything
// in it or loading its imports.
bool MayLoad(const VLPeFile& file, const std::wstring& path, const char* exportName)
{
    return (!exportName || ExportsFunction(file, path, exportName)) && file.MapsAsImage();
}

bool ProductVersion(const VLPeFile& file, const std::wstring& path, int32_t& major, int32_t& minor, int32_t& build,
                    int32_t& revision)
{
    uint64_t version = 0;
    VLFileVersionInfo info(path);
    if (!info.Load(file) || !info.GetProductVersion(version)) return false;
    major = int32_t(version >> 48);
    minor = int32_t(version >> 32 & 0xFFFF);
    build = int32_t(version >> 16 & 0xFFFF);
    revision = int32_t(version & 0xFFFF);
    return true;
}

} // namespace

bool IsLibraryLoadable(const wchar_t* name, const char* exportName)
{
    // No message box for a missing library or an empty drive while probing.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    std::wstring path;
    VLPeFile file;
    const bool loadable = OpenLibrary(name, file, path) && MayLoad(file, path, exportName);
    SetErrorMode(previousMode);
    return loadable;
}

bool GetLoadableLibraryVersion(const wchar_t* name, const char* exportName, int32_t& major, int32_t& minor,
                               int32_t& build, int32_t& revision, bool& loadable)
{
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    std::wstring path;
    VLPeFile file;
    const bool versioned = OpenLibrary(name, file, path) && ProductVersion(file, path, major, minor, build, revision);
    loadable = versioned && MayLoad(file, path, exportName);
    SetErrorMode(previousMode);
    return versioned;
}

bool ParseVersion(const std::wstring& text, int32_t& major, int32_t& minor, int32_t& build,
                  int32_t& revision)
{
    std::vector<std::wstring> pieces;
    Split(text, L'.', pieces);
    if (pieces.empty()) return false;
    int32_t* parts[] = {&major, &minor, &build, &revision};
    int32_t read[4] = {};
    const size_t count = std::min<size_t>(pieces.size(), 4);
    for (size_t i = 0; i < count; ++i) {
        if (!ParseVersionPiece(pieces[i], read[i])) return false;
    }
    for (size_t i = 0; i < count; ++i) *parts[i] = read[i];
    return true;
}

bool GetFileProductVersion(const std::wstring& path, int32_t& major, int32_t& minor,
                           int32_t& build, int32_t& revision)
{
    std::wstring found;
    VLPeFile file;
    return OpenLibrary(path.c_str(), file, found) && ProductVersion(file, found, major, minor, build, revision);
}

bool FileVersionEquals(const std::wstring& path, const std::wstring& versionText)
{
    VS_FIXEDFILEINFO fixed;
    if (!VLFileVersionInfo(path).GetFixedInfo(fixed)) return false;
    std::wstring text;
    Format(text, L"%d.%d.%d.%d", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
           HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
    return text == versionText;
}

bool FileVersionAtLeast(const std::wstring& path, const std::wstring& versionText)
{
    VS_FIXEDFILEINFO fixed;
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    if (!VLFileVersionInfo(path).GetFixedInfo(fixed) || !ParseVersion(versionText, major, minor, build, revision)) {
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
