#include "base/PlainFile.h"

#include "base/FileUtil.h"
#include "base/StringUtil.h"

#include <cstring>
#include <vector>

namespace Velora {

namespace {

// The handle is the link itself where the system has links of its own, and
// whatever the path leads to where it does not (Wine): the checks below
// refuse both.
constexpr DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// "\\?\C:\x" as "C:\x" and "\\?\UNC\s\x" as "\\s\x", without a trailing
// separator unless it is a drive's root.
std::wstring WithoutPrefix(std::wstring path)
{
    if (StartsWithNoCase(path, L"\\\\?\\UNC\\"))
        path.replace(0, 8, L"\\\\");
    else if (StartsWith(path, L"\\\\?\\"))
        path.erase(0, 4);
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// The text a call of the system fills into a buffer, with the buffer grown
// as the call asks; empty when it fails.
template <typename Call> std::wstring CallForPath(Call call)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = call(buffer.data(), DWORD(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

bool FullPath(const std::wstring& path, std::wstring& out)
{
    out =
        CallForPath([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    return !out.empty();
}

std::wstring FinalPath(HANDLE handle)
{
    return CallForPath([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// The rest of path below folder ("" for the folder itself, else with its
// leading separator); false when path is not inside folder.
bool RestBelow(const std::wstring& path, const std::wstring& folder, std::wstring& rest)
{
    if (folder.empty() || !StartsWithNoCase(path, folder)) return false;
    if (path.size() > folder.size() && path[folder.size()] != L'\\' && folder.back() != L'\\') return false;
    rest = path.substr(folder.size());
    return true;
}

// A 32-bit program on 64-bit Windows sees the 32-bit system folder under the
// system folder's name, but for a few of its subfolders, and the 64-bit one
// under "sysnative": a mapping of names, not a link. Each of these names is
// taken where the system's own open of it lands now (on 32-bit Windows, or
// on a thread that turned the redirection off, each is itself or absent).
std::wstring Redirected(const std::wstring& path)
{
    std::wstring system, windows;
    if (!GetSystemDir(system) || !GetSystemWindowsDir(windows)) return path;
    const std::wstring places[] = {
        windows + L"\\sysnative",   system + L"\\catroot",  system + L"\\catroot2", system + L"\\driverstore",
        system + L"\\drivers\\etc", system + L"\\logfiles", system + L"\\spool",    system,
    };
    std::wstring rest, place;
    for (const std::wstring& name : places)
        if (RestBelow(path, name, rest) && GetFinalPath(name, place)) return place + rest;
    return path;
}

// The folders of this thread's VLSystemFolders scopes, innermost first.
thread_local const VLSystemFolders* systemFolders = nullptr;

// Every step in its long form: names as the folders list them, links not
// resolved. A path whose long form cannot be had (below a redirected name
// the folders do not list) stays as written, which only a path without short
// names can match.
bool LongPath(const std::wstring& path, std::wstring& out)
{
    std::wstring full;
    if (!FullPath(path, full)) return false;
    out = CallForPath([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    if (out.empty()) out = full;
    out = WithoutPrefix(out);
    return true;
}

// The long form with the system's redirection applied.
bool NamedPlace(const std::wstring& path, std::wstring& out)
{
    if (!LongPath(path, out)) return false;
    out = Redirected(out);
    return true;
}

// The place the file system must report for a handle the path opened: the
// named place, taken from the final place of the system folder it lies in.
bool ExpectedPlace(const std::wstring& path, std::wstring& out)
{
    if (!NamedPlace(path, out)) return false;
    for (const VLSystemFolders* scope = systemFolders; scope; scope = scope->outer)
        if (scope->Map(out)) break;
    return true;
}

// The handle's path as the drive of the expected path and the name on its
// volume, where the handle lies on that drive's volume: Wine answers no final
// path beyond MAX_PATH characters, but names on the volume of any length.
std::wstring PathOnDrive(HANDLE handle, DWORD volumeSerial, const std::wstring& expected)
{
    if (expected.size() < 3 || expected[1] != L':' || expected[2] != L'\\') return std::wstring();
    DWORD serial = 0;
    if (!GetVolumeInformationW(expected.substr(0, 3).c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
        serial != volumeSerial)
        return std::wstring();
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 1024 * sizeof(wchar_t));
    for (;;) {
        if (GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(), DWORD(buffer.size()))) break;
        if (GetLastError() != ERROR_MORE_DATA) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
    const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    return expected.substr(0, 2) + std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

// 0 when the handle is the very file the path names; otherwise the error.
// names: how many names a file may have (0: any). linkItself accepts a link
// opened as itself (its own entry, not its target).
DWORD CheckHandle(HANDLE handle, const std::wstring& path, DWORD names, bool linkItself = false)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return GetLastError();
    const bool link = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (link != linkItself) return kErrLinkInPath;
    std::wstring expected;
    if (!ExpectedPlace(path, expected)) return GetLastError();
    std::wstring final = FinalPath(handle);
    if (final.empty()) final = PathOnDrive(handle, information.dwVolumeSerialNumber, expected);
    if (final.empty() || !IsSamePathName(WithoutPrefix(final), expected)) return kErrLinkInPath;
    if (names && !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && information.nNumberOfLinks > names)
        return ERROR_TOO_MANY_LINKS;
    return 0;
}

bool Refuse(DWORD error)
{
    SetLastError(error);
    return false;
}

std::wstring ParentOf(const std::wstring& full)
{
    const size_t last = full.find_last_of(L'\\');
    if (last == std::wstring::npos || last + 1 >= full.size()) return std::wstring();
    // "C:\x" has the root "C:\" as its parent.
    return full.substr(0, last == 2 && full[1] == L':' ? 3 : last);
}

bool SetAttributes(HANDLE handle, DWORD attributes)
{
    FILE_BASIC_INFO basic = {};
    // No attribute at all reads as "leave them".
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic));
}

// The file goes when the last handle on it is closed. A read-only one would
// refuse to go, so the attribute is taken off first where asked; it belongs
// to the file, not to this name, so another name of the file (a hard link)
// gets it back, and so does a file that does not go.
bool MarkDeleted(HANDLE handle, bool changeAttributes)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    BY_HANDLE_FILE_INFORMATION information;
    if (!changeAttributes || !GetFileInformationByHandle(handle, &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
    const DWORD attributes = information.dwFileAttributes;
    // A handle that may not change attributes leaves them, and the file.
    SetAttributes(handle, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    const bool marked = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
    const DWORD error = GetLastError();
    if (!marked || information.nNumberOfLinks > 1) SetAttributes(handle, attributes);
    SetLastError(error);
    return marked;
}

// Opens the entry as itself with access enough to delete it.
bool DeleteThrough(const std::wstring& path, bool linkItself)
{
    VLFile entry;
    if (!entry.Open(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, kOpenFlags))
        return false;
    if (const DWORD error = CheckHandle(entry.handle.Get(), path, 0, linkItself)) return Refuse(error);
    return MarkDeleted(entry.handle.Get(), !linkItself);
}

bool OpenPlainFolder(const std::wstring& folder, VLPlainFile& entry)
{
    if (!entry.Open(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING))
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(entry.file.handle.Get(), &information)) return false;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || Refuse(ERROR_DIRECTORY);
}

} // namespace

VLSystemFolders::VLSystemFolders(const std::vector<std::wstring>& folders) : outer(systemFolders)
{
    for (const std::wstring& folder : folders) {
        Place place;
        // A drive's root is where it is.
        if (folder.size() <= 3 || !NamedPlace(folder, place.named) || !GetFinalPath(folder, place.final) ||
            IsSamePathName(place.named, place.final))
            continue;
        places_.push_back(std::move(place));
    }
    systemFolders = this;
}

VLSystemFolders::~VLSystemFolders()
{
    systemFolders = outer;
}

bool VLSystemFolders::Map(std::wstring& place) const
{
    // The deepest folder holding the place: a shell folder inside another.
    const Place* found = nullptr;
    std::wstring rest, deepest;
    for (const Place& each : places_) {
        if (!RestBelow(place, each.named, rest) || (found && found->named.size() >= each.named.size())) continue;
        found = &each;
        deepest = rest;
    }
    if (!found) return false;
    place = found->final + deepest;
    return true;
}

std::wstring GetPathKey(const std::wstring& path)
{
    std::wstring key;
    return LongPath(path, key) ? key : path;
}

bool IsSamePathName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

bool GetFinalPath(const std::wstring& path, std::wstring& out)
{
    VLFile entry;
    if (!entry.Open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS))
        return false;
    out = FinalPath(entry.handle.Get());
    if (out.empty()) return false;
    out = WithoutPrefix(out);
    return true;
}

bool IsPlainFolder(const std::wstring& folder)
{
    VLPlainFile entry;
    return OpenPlainFolder(folder, entry);
}

bool IsPlainPath(const std::wstring& path)
{
    std::wstring step;
    if (!FullPath(path, step)) return false;
    step = WithoutPrefix(step);
    while (!step.empty()) {
        VLPlainFile entry;
        if (entry.Open(step, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       OPEN_EXISTING))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
        step = ParentOf(step);
    }
    return false;
}

bool CreatePlainFolder(const std::wstring& folder)
{
    std::wstring full;
    if (!FullPath(folder, full)) return false;
    full = WithoutPrefix(full);
    if (IsPlainFolder(full)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    const std::wstring parent = ParentOf(full);
    if (parent.empty() || !CreatePlainFolder(parent)) return false;
    // The parent was just found plain; a folder made meanwhile by someone
    // else is judged like any other.
    if (!CreateDirectoryW(full.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    return IsPlainFolder(full);
}

bool DeletePlainFile(const std::wstring& path)
{
    return DeleteThrough(path, false);
}

bool GetFileId(HANDLE file, VLFileId& id)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return false;
    id.volume = information.dwVolumeSerialNumber;
    id.index = (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

bool RemoveLinkItself(const std::wstring& path)
{
    return DeleteThrough(path, true);
}

bool VLPlainFile::Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD names)
{
    file.handle.Reset();
    // A file with another name is refused for its bytes, read as well as
    // written: what is read through this unit is offered to peers, checked
    // or installed as the folder's own, and a hard link makes it some other
    // file of the machine. Its name alone, renamed or deleted, is the
    // folder's own (a user's file an install keeps aside may have others).
    constexpr DWORD kBytes = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA |
                             FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE;
    const DWORD allowed = (access & kBytes) ? names : 0;
    DWORD error = ERROR_FILE_NOT_FOUND;
    // A name that vanishes between the two opens is tried once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (disposition != CREATE_NEW) {
            if (file.Open(path, access, share, OPEN_EXISTING, kOpenFlags)) {
                error = CheckHandle(file.handle.Get(), path, allowed);
                if (error == 0 && disposition == CREATE_ALWAYS &&
                    (!file.SeekToBegin() || !SetEndOfFile(file.handle.Get())))
                    error = GetLastError();
                if (error != 0) break;
                return true;
            }
            error = GetLastError();
            if (disposition == OPEN_EXISTING || error != ERROR_FILE_NOT_FOUND) break;
        }
        // Made only in a plain folder and only where no name is taken, not
        // even by a link that leads nowhere (which the first open did not
        // find).
        std::wstring full;
        if (!FullPath(path, full) || !IsPlainFolder(ParentOf(WithoutPrefix(full)))) {
            error = GetLastError();
            break;
        }
        if (file.Open(path, access | DELETE, share, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | kOpenFlags)) {
            error = CheckHandle(file.handle.Get(), path, allowed);
            if (error == 0) return true;
            Delete();
            break;
        }
        error = GetLastError();
        if (disposition == CREATE_NEW || error != ERROR_FILE_EXISTS) break;
        error = kErrLinkInPath;
    }
    file.handle.Reset();
    return Refuse(error);
}

bool VLPlainFile::Delete()
{
    return MarkDeleted(file.handle.Get(), true);
}

bool VLPlainFile::Rename(const std::wstring& path, bool replace)
{
    std::wstring full;
    VLPlainFile folder;
    if (!FullPath(path, full) || !OpenPlainFolder(ParentOf(WithoutPrefix(full)), folder)) return false;
    // Named in the place the folder lies, which no mapping of names (a 32-bit
    // program's system folder) leads elsewhere.
    const std::wstring place = WithoutPrefix(FinalPath(folder.file.handle.Get()));
    if (!place.empty())
        full = place + (place.back() == L'\\' ? L"" : L"\\") + full.substr(full.find_last_of(L'\\') + 1);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + full.size() * sizeof(wchar_t));
    auto* information = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    information->ReplaceIfExists = replace;
    information->RootDirectory = nullptr;
    information->FileNameLength = DWORD(full.size() * sizeof(wchar_t));
    std::memcpy(information->FileName, full.data(), full.size() * sizeof(wchar_t));
    return SetFileInformationByHandle(file.handle.Get(), FileRenameInfo, information, DWORD(buffer.size()));
}

} // namespace Velora
