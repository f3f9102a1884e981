#include "tests/support/TestFolder.h"

#include "base/Handles.h"
#include "base/Md5.h"
#include "base/TextConvert.h"

#include <windows.h>

#include <atomic>

namespace Velora::Test {

namespace {

// Removes a tree on its own terms (not through the code under test), and
// never follows a link.
void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    VLFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find.Valid()) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (!DeleteFileW(child.c_str()) && !RemoveDirectoryW(child.c_str())) {
                RemoveHostLink(child);
            }
        } while (FindNextFileW(find.Get(), &found));
        find.Reset();
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(path.c_str());
}

} // namespace

std::wstring UniqueName()
{
    static std::atomic<int> counter{0};
    // Process ids repeat across prefixes, whose tests may share a folder
    // (the user's home behind Wine's shell folders).
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return L"vltest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(now.QuadPart) + L"-" +
           std::to_wstring(counter++);
}

TestFolder::TestFolder()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + UniqueName();
    CreateDirectoryW(path_.c_str(), nullptr);
}

TestFolder::~TestFolder()
{
    RemoveTree(path_);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    VLHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!file.Valid()) return false;
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size());
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    VLHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return false;
    char block[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), block, sizeof(block), &read, nullptr)) {
        if (read == 0) return true;
        bytes.append(block, read);
    }
    return false;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : std::string("<unreadable>");
}

std::string Utf16File(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t unit : text) bytes += std::string{char(unit), char(unit >> 8)};
    return bytes;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RunningOnWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring& path)
{
    typedef char*(CDECL * UnixName)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    std::string result = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool RunUnixCommand(const std::wstring& commandLine, bool (*done)(const std::wstring&), const std::wstring& probe)
{
    std::wstring line(commandLine);
    const std::wstring program = line.substr(0, line.find(L' '));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    // Wine gives no handles for a host program: what it leaves in their
    // place is whatever its own stack held, which may be one of our handles
    // (a registry root, once). They are never closed, and the effect is
    // watched for instead of the program's end.
    for (int i = 0; i < 200; ++i) {
        if (done(probe)) return true;
        Sleep(25);
    }
    return false;
}

bool MakeHostLink(const std::wstring& link, const std::wstring& target)
{
    const std::string command = "Z:\\bin\\ln -s " + UnixPath(target) + " " + UnixPath(link);
    return RunUnixCommand(std::wstring(command.begin(), command.end()), Exists, link);
}

bool RemoveHostLink(const std::wstring& link)
{
    const std::string command = "Z:\\bin\\rm -f " + UnixPath(link);
    return RunUnixCommand(
        std::wstring(command.begin(), command.end()), [](const std::wstring& path) { return !Exists(path); }, link);
}

std::string TreeListing(const std::wstring& folder, const std::string& shownBelow)
{
    std::string listing;
    WIN32_FIND_DATAW found;
    VLFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found)) {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        const std::string shown = shownBelow + ToMultiByte(name);
        if (name == L"." || name == L"..") continue;
        // A folder with what it holds; a link as itself, never where it leads.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            listing += shown + "\\\n" + TreeListing(path, shown + "\\");
            continue;
        }
        const std::string bytes = ReadFileBytes(path);
        // Long contents by their digest, so that a failure stays readable.
        listing += shown + " = " +
                   (bytes.size() <= 32 ? bytes : ToMultiByte(Md5BufferHex(bytes.data(), int32_t(bytes.size())))) + "\n";
    }
    return listing;
}

} // namespace Velora::Test
