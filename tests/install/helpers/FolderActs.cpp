// Stands in for a setup program that tidies its own folders, through direct
// calls: vltest_folder_acts <folder> <act> <name> ..., each act on a name
// below the folder, in order. Acts: "rd" a folder with all below it, "md" a
// folder, "write" a new file, "ren" a file or folder to the name after it.
// The result of each, the system's error or 0, goes into "acts.log" there.
#include <windows.h>

#include <string>

namespace {

bool RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path);
        else
            DeleteFileW(path.c_str());
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return RemoveDirectoryW(folder.c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return 2;
    const std::wstring folder = std::wstring(argv[1]) + L"\\";
    std::string log;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::wstring act = argv[i], path = folder + argv[i + 1];
        bool done = false;
        if (act == L"rd") {
            done = RemoveTree(path);
        } else if (act == L"md") {
            done = CreateDirectoryW(path.c_str(), nullptr);
        } else if (act == L"write") {
            const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            done = file != INVALID_HANDLE_VALUE && CloseHandle(file);
        } else if (act == L"ren" && i + 2 < argc) {
            done = MoveFileW(path.c_str(), (folder + argv[++i + 1]).c_str());
        }
        log += std::to_string(done ? 0 : GetLastError()) + " ";
    }
    const HANDLE file = CreateFileW((folder + L"acts.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool saved = file != INVALID_HANDLE_VALUE && WriteFile(file, log.data(), DWORD(log.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return saved ? 0 : 1;
}
