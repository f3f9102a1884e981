#include "base/FileUtil.h"

#include "base/FindFile.h"
#include "base/Handles.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"

#include <winioctl.h>

#include <memory>

namespace Velora {

namespace {

constexpr uint32_t kMaxUniqueNumber = 0x100000;

std::wstring Plain(const std::wstring& path)
{
    std::wstring plain(path);
    NormalizePath(plain, kPathPlain);
    return plain;
}

DWORD Attributes(const std::wstring& path)
{
    return GetFileAttributesW(Plain(path).c_str());
}

// The tree at a plain path (its real place, or a path found plain): each
// file and folder goes through a handle found to be that very entry. A junction or symbolic link is never descended into, so that
// deleting a tree cannot reach files outside it: it is removed itself, or
// stays where the system cannot open a link as itself (Wine).
uint64_t DeleteRealTree(const std::wstring& path)
{
    uint64_t removed = 0;
    {
        VLFindFile find;
        VLFindData entry;
        for (bool found = find.FindFirst(path + L"\\*.*", entry); found; found = find.FindNext(entry)) {
            if (entry.IsDots()) continue;
            const std::wstring child = path + L'\\' + entry.name;
            if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) removed += RemoveLinkItself(child) ? 1 : 0;
            else if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) removed += IsPlainFolder(child) ? DeleteRealTree(child) : 0;
            else if (DeletePlainFile(child)) ++removed;
        }
    }
    // A folder that is some process's current folder cannot be removed.
    std::wstring current;
    if (GetCurrentDir(current) && GetFinalPath(current, current) && CompareNoCase(current, path) == 0)
        SetCurrentDirectoryW(GetGrandParentPath(path).c_str());
    if (DeletePlainFile(path)) ++removed;
    return removed;
}

size_t LastSeparator(const std::wstring& path)
{
    return path.find_last_of(L"\\/");
}

// The system folder calls answer alike: a length past the buffer is a folder
// that does not fit.
bool SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT), std::wstring& out)
{
    wchar_t buffer[MAX_PATH + 1];
    const UINT length = query(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return false;
    out.assign(buffer, length);
    return true;
}

} // namespace

bool PathExists(const std::wstring& path)
{
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileForce(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    return DeleteFileW(path.c_str()) != FALSE;
}

bool DeleteFileNormal(const std::wstring& path)
{
    const std::wstring plain = Plain(path);
    return SetFileAttributesW(plain.c_str(), 0) && DeleteFileW(plain.c_str());
}

uint64_t DeleteTree(const std::wstring& folder)
{
    std::wstring path(folder);
    NormalizePath(path, kPathNoTrailingSeparator);
    // An empty path would search (and empty) the current folder.
    if (path.empty()) return 0;
    const std::wstring prefix = path + L'\\';
    // "C:" alone would name the drive's current folder rather than its root.
    const DWORD attributes = GetFileAttributesW((path.back() == L':' ? prefix : path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLinkItself(path) ? 1 : 0;
    std::wstring real;
    return GetFinalPath(path.back() == L':' ? prefix : path, real) ? DeleteRealTree(real) : 0;
}

uint64_t DeletePlainTree(const std::wstring& folder)
{
    std::wstring path(folder);
    NormalizePath(path, kPathNoTrailingSeparator);
    return !path.empty() && IsPlainFolder(path) ? DeleteRealTree(path) : 0;
}

bool CreateDirectories(const std::wstring& path)
{
    for (size_t pos = path.find_first_of(L"\\/"); pos != std::wstring::npos;
         pos = path.find_first_of(L"\\/", pos + 1)) {
        const std::wstring prefix = path.substr(0, pos);
        // Failures are expected here ("C:", "\\server") and harmless.
        if (!prefix.empty() && !PathExists(prefix)) CreateDirectoryW(prefix.c_str(), nullptr);
    }
    if (!PathExists(path) && !CreateDirectoryW(path.c_str(), nullptr)) return false;
    return DirectoryExists(path);
}

bool GetWindowsDir(std::wstring& out)
{
    return SystemFolder(GetWindowsDirectoryW, out);
}

bool GetSystemWindowsDir(std::wstring& out)
{
    return SystemFolder(GetSystemWindowsDirectoryW, out);
}

bool GetSystemDir(std::wstring& out)
{
    return SystemFolder(GetSystemDirectoryW, out);
}

bool GetTempDir(std::wstring& out)
{
    wchar_t shortForm[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, shortForm);
    if (length == 0 || length > MAX_PATH) return false;
    wchar_t longForm[520];
    const DWORD longLength = GetLongPathNameW(shortForm, longForm, 520);
    if (longLength >= 1 && longLength < 520) out.assign(longForm, longLength);
    else out.assign(shortForm, length);
    return true;
}

bool EndsInLongNames(const std::wstring& path, const std::wstring& tail)
{
    if (tail.find(L'~') == std::wstring::npos) return true;
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return false;
    std::wstring longForm(needed, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), &longForm[0], needed);
    if (length == 0 || length >= needed) return false;
    longForm.resize(length);
    std::wstring steps = tail;
    NormalizePath(longForm, kPathBackslashes);
    NormalizePath(steps, kPathBackslashes);
    return longForm.size() > steps.size() && longForm[longForm.size() - steps.size() - 1] == L'\\' &&
           CompareNoCase(longForm.substr(longForm.size() - steps.size()), steps) == 0;
}

bool GetCurrentDir(std::wstring& out)
{
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0 || needed >= 520) return false;
    wchar_t buffer[521];
    const DWORD length = GetCurrentDirectoryW(521, buffer);
    if (length == 0 || length >= 520) return false;
    out.assign(buffer, length);
    return true;
}

bool GetFullPath(const std::wstring& path, std::wstring& out, size_t& fileIndex)
{
    wchar_t buffer[520];
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), 520, buffer, &filePart);
    if (length == 0 || length >= 520) return false;
    out.assign(buffer, length);
    fileIndex = filePart ? size_t(filePart - buffer) : length;
    return true;
}

std::wstring GetFullPathFileName(const std::wstring& path)
{
    std::wstring full;
    size_t fileIndex = 0;
    return GetFullPath(path, full, fileIndex) ? full.substr(fileIndex) : std::wstring();
}

std::wstring GetFullPathFolder(const std::wstring& path)
{
    std::wstring full;
    size_t fileIndex = 0;
    return GetFullPath(path, full, fileIndex) ? full.substr(0, fileIndex) : std::wstring();
}

std::wstring GetFileExtension(const std::wstring& path)
{
    const size_t separator = LastSeparator(path);
    const size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    const size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos || dot < nameStart ? std::wstring() : path.substr(dot);
}

std::wstring GetFileName(const std::wstring& path)
{
    const size_t separator = LastSeparator(path);
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring GetModuleFilePath()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0) return std::wstring();
    if (length < MAX_PATH) return std::wstring(buffer, length);
    // Truncated: one more try with room for the longest path Windows allows.
    const DWORD longSize = 32768;
    std::unique_ptr<wchar_t[]> longBuffer(new wchar_t[longSize]);
    const DWORD longLength = GetModuleFileNameW(nullptr, longBuffer.get(), longSize);
    if (longLength == 0 || longLength >= longSize) return std::wstring();
    return std::wstring(longBuffer.get(), longLength);
}

bool MoveFileSimple(const std::wstring& source, const std::wstring& target)
{
    return MoveFileW(source.c_str(), target.c_str()) != FALSE;
}

bool MoveFileReplace(const std::wstring& target, const std::wstring& source)
{
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // The target may be refused replacement but still be renamed: put it
    // aside, move the source in, and restore the target when that fails.
    std::wstring aside(target);
    if (!MakeUniqueFileName(aside) || !MoveFileSimple(target, aside)) return false;
    if (MoveFileSimple(source, target)) {
        DeleteFileNormal(aside);
        return true;
    }
    MoveFileSimple(aside, target);
    return false;
}

bool MakeUniqueFileName(std::wstring& path)
{
    const std::wstring extension = GetFileExtension(path);
    const std::wstring base = path.substr(0, path.size() - extension.size());
    std::wstring candidate;
    for (uint32_t number = 1; number <= kMaxUniqueNumber; ++number) {
        if (!NumberedNameExists(candidate, base, number, extension)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

bool NumberedNameExists(std::wstring& out, const std::wstring& base, uint32_t number,
                        const std::wstring& extension)
{
    out = base + L'(' + UIntToString(number) + L')' + extension;
    return GetFileAttributesW(out.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetFileTimes(const std::wstring& path, const FILETIME* creation, const FILETIME* access,
                  const FILETIME* write)
{
    VLHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Valid() && SetFileTime(file.Get(), creation, access, write);
}

bool CreateSizedFile(const std::wstring& path, uint64_t size)
{
    VLPlainFile file;
    if (!file.Open(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS)) return false;
    if (file.file.Seek(int64_t(size), FILE_BEGIN, nullptr) && SetEndOfFile(file.file.handle.Get())) return true;
    file.Delete();
    return false;
}

bool IsSparseFile(HANDLE file)
{
    LARGE_INTEGER size;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileSizeEx(file, &size) || !GetFileInformationByHandle(file, &information)) return false;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
}

bool HasAllocationGaps(HANDLE file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return true;
    FILE_ALLOCATED_RANGE_BUFFER query;
    query.FileOffset.QuadPart = 0;
    query.Length = size;
    // Room for two ranges: enough to tell one from more than one.
    FILE_ALLOCATED_RANGE_BUFFER ranges[2];
    DWORD returned = 0;
    if (!DeviceIoControl(file, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof(query), ranges, sizeof(ranges),
                         &returned, nullptr)) {
        return true;
    }
    return returned != sizeof(FILE_ALLOCATED_RANGE_BUFFER);
}

void Split(const std::wstring& text, wchar_t separator, std::vector<std::wstring>& pieces)
{
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(separator, start);
        if (end == std::wstring::npos) {
            pieces.push_back(text.substr(start));
            return;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

void SplitCommandLine(const std::wstring& text, std::vector<std::wstring>& arguments)
{
    arguments.clear();
    std::wstring argument;
    bool inArgument = false;
    bool quoted = false;
    auto endArgument = [&]() {
        if (!argument.empty()) arguments.push_back(argument);
        argument.clear();
        inArgument = false;
        quoted = false;
    };
    // Whether the argument so far ends with a quote that is not escaped.
    auto endsWithClosingQuote = [&]() {
        const size_t n = argument.size();
        return n >= 2 && argument[n - 1] == L'"' && argument[n - 2] != L'\\';
    };

    for (wchar_t c : text) {
        if (!inArgument) {
            if (c == L' ') continue;
            inArgument = true;
            quoted = c == L'"';
            argument += c;
        } else if (!quoted) {
            if (c == L' ') endArgument();
            else argument += c;
        } else if (c == L'"') {
            const bool escaped = argument.back() == L'\\';
            argument += c;
            if (!escaped) endArgument();
        } else if (c == L' ' && endsWithClosingQuote()) {
            endArgument();
        } else {
            argument += c;
        }
    }
    endArgument();
}

} // namespace Velora
