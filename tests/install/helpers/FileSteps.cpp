// Stands in for a package's program and a program it starts: it does the
// steps a file lists, one a line ("verb<tab>path[<tab>text or path]"), the
// way installers and other programs act on files. The file is UTF-16 text,
// as the tests write it. The leading "list" steps read their folders before
// anything else, so that a watch under Wine hears them; then a second copy
// starts on the second file, if one is given, while this one goes on.
// It exits 1, the failure the install expects, or 100 plus the number of its
// step that failed (200 plus, of the second's).
#include "base/FileUtil.h"
#include "base/Handles.h"
#include "tests/support/TestFolder.h"

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

bool WriteThrough(const std::wstring& path, DWORD access, const std::string& bytes)
{
    VLHandle file(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    return file.Valid() && WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool Do(const std::wstring& verb, const std::wstring& path, const std::wstring& argument)
{
    const std::string text(argument.begin(), argument.end());
    if (verb == L"write") return WriteFileBytes(path, text);
    if (verb == L"append") return WriteThrough(path, FILE_APPEND_DATA, text);
    std::string bytes;
    if (verb == L"touch") return ReadFileBytes(path, bytes) && WriteThrough(path, GENERIC_WRITE, bytes);
    if (verb == L"save")
        return WriteFileBytes(path + L".tmp", text) &&
               MoveFileExW((path + L".tmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    // The system refuses to move a folder with leave to replace.
    if (verb == L"move")
        return MoveFileExW(path.c_str(), argument.c_str(), DirectoryExists(path) ? 0 : MOVEFILE_REPLACE_EXISTING);
    if (verb == L"md") return CreateDirectoryW(path.c_str(), nullptr);
    if (verb == L"rd") return DeleteTree(path) && !PathExists(path);
    if (verb == L"del") return DeleteFileW(path.c_str());
    if (verb != L"list") return false;
    WIN32_FIND_DATAW found;
    VLFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (!find.Valid()) return false;
    while (FindNextFileW(find.Get(), &found)) {
    }
    return true;
}

// Starts a copy of this program on the steps file.
bool Start(const wchar_t* steps, VLHandle& process)
{
    std::wstring commandLine = L"\"" + GetModuleFilePath() + L"\" \"" + steps + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION started;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    process.Reset(started.hProcess);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::string bytes;
    if (argc < 2 || !ReadFileBytes(argv[1], bytes) || bytes.size() < 2) return 2;
    std::wistringstream lines(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
    VLHandle second;
    int failed = 0, number = 0;
    for (std::wstring line; !failed && std::getline(lines, line);) {
        std::wistringstream fields(line);
        std::wstring verb, path, argument;
        std::getline(fields, verb, L'\t');
        std::getline(fields, path, L'\t');
        std::getline(fields, argument);
        ++number;
        if (verb != L"list" && argc > 2 && !second && !Start(argv[2], second)) return 3;
        if (!Do(verb, path, argument)) failed = 100 + number;
    }
    if (!failed && argc > 2 && !second && !Start(argv[2], second)) return 3;
    DWORD code = 1;
    if (second &&
        (WaitForSingleObject(second.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(second.Get(), &code)))
        return 4;
    return failed ? failed : code == 1 ? 1 : code >= 100 ? int(code) + 100 : 5;
}
