// finish.exe, the last step of a runtime package's script: checks the
// script's verbs reached the package's own files (install folder written into
// setup.ini, readme.txt deleted), then reads and removes a sibling as a
// runtime's own installer would. Exits 0, or the number of the failed step.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain()
{
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::wstring folder = self;
    folder.erase(folder.find_last_of(L'\\'));

    wchar_t written[MAX_PATH] = {};
    GetPrivateProfileStringW(L"Install", L"Path", L"", written, MAX_PATH, (folder + L"\\setup.ini").c_str());
    if (CompareStringOrdinal(written, -1, folder.c_str(), -1, TRUE) != CSTR_EQUAL) return 2;
    if (GetFileAttributesW((folder + L"\\readme.txt").c_str()) != INVALID_FILE_ATTRIBUTES) return 3;

    const std::wstring sibling = folder + L"\\data.cab";
    FILE* data = _wfopen(sibling.c_str(), L"rb");
    if (!data) return 4;
    char buffer[4096];
    size_t total = 0;
    for (size_t read; (read = std::fread(buffer, 1, sizeof(buffer), data)) > 0;) total += read;
    std::fclose(data);
    if (total == 0) return 5;
    return DeleteFileW(sibling.c_str()) ? 0 : 6;
}
