// Stands in for a package's program: does the steps its UTF-16 file lists,
// "verb<tab>path[<tab>text or path]" a line, as installers do with files.
// After its leading "list" steps (which a watch under Wine needs to hear the
// folders) a copy of it starts on the second file, if given, beside it. It
// exits 1, or 100 plus the number of its step that failed (200 plus, of the
// second's).
#include "base/FileUtil.h"
#include "base/Handles.h"
#include "tests/support/TestFolder.h"

#include <sstream>

using namespace Velora;
using namespace Velora::Test;

namespace {

bool Do(const std::wstring& verb, const std::wstring& path, const std::wstring& argument)
{
    const std::string text(argument.begin(), argument.end());
    std::string bytes;
    const auto through = [&](DWORD access, const std::string& data) {
        VLHandle file(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        return file.Valid() && WriteFile(file.Get(), data.data(), DWORD(data.size()), &written, nullptr);
    };
    WIN32_FIND_DATAW found;
    if (verb == L"write") return WriteFileBytes(path, text);
    if (verb == L"append") return through(FILE_APPEND_DATA, text);
    if (verb == L"touch") return ReadFileBytes(path, bytes) && through(GENERIC_WRITE, bytes);
    if (verb == L"save")
        return WriteFileBytes(path + L".tmp", text) &&
               MoveFileExW((path + L".tmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    // The system refuses to move a folder with leave to replace.
    if (verb == L"move")
        return MoveFileExW(path.c_str(), argument.c_str(), DirectoryExists(path) ? 0 : MOVEFILE_REPLACE_EXISTING);
    if (verb == L"md") return CreateDirectoryW(path.c_str(), nullptr);
    if (verb == L"rd") return DeleteTree(path) && !PathExists(path);
    if (verb == L"del") return DeleteFileW(path.c_str());
    return verb == L"list" && VLFindHandle(FindFirstFileW((path + L"\\*").c_str(), &found)).Valid();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::string bytes;
    if (argc < 2 || !ReadFileBytes(argv[1], bytes) || bytes.size() < 2) return 2;
    std::wistringstream lines(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
    std::wstring second = argc > 2 ? L"\"" + GetModuleFilePath() + L"\" \"" + argv[2] + L"\"" : L"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION started = {};
    const auto start = [&] {
        const bool ok = second.empty() || CreateProcessW(nullptr, &second[0], nullptr, nullptr, FALSE, 0, nullptr,
                                                         nullptr, &startup, &started);
        second.clear();
        return ok;
    };
    int failed = 0, number = 0;
    for (std::wstring line; !failed && std::getline(lines, line);) {
        std::wistringstream fields(line);
        std::wstring verb, path, argument;
        std::getline(std::getline(std::getline(fields, verb, L'\t'), path, L'\t'), argument);
        if (verb != L"list" && !start()) return 3;
        if (!Do(verb, path, argument)) failed = 101 + number;
        ++number;
    }
    if (!failed && !start()) return 3;
    const VLHandle process(started.hProcess), thread(started.hThread);
    DWORD code = 1;
    if (process.Valid() &&
        (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &code)))
        return 4;
    return failed ? failed : code == 1 ? 1 : code >= 100 ? int(code) + 100 : 5;
}
