// Stands in for a setup program that uses the files it was shipped with: it
// reads its own program file and a sibling with ordinary sharing, rewrites
// one, renames one and deletes one (a temporary cabinet). It exits with 10
// plus the number of the first step that failed, 0 when all worked.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain()
{
    wchar_t self[MAX_PATH];
    const std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    HANDLE own = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char mark[2] = {};
    DWORD n = 0;
    const bool readOwn = ReadFile(own, mark, 2, &n, nullptr) && mark[0] == 'M';
    CloseHandle(own);
    if (!readOwn) return 11;
    FILE* data = _wfopen((folder + L"data.txt").c_str(), L"rb");
    char text[4] = {};
    const bool readData = data && std::fread(text, 1, 4, data) == 4 && std::string(text, 4) == "data";
    if (data) std::fclose(data);
    if (!readData) return 12;
    HANDLE rewrite = CreateFileW((folder + L"rewrite.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const bool rewritten = WriteFile(rewrite, "rewritten", 9, &n, nullptr);
    CloseHandle(rewrite);
    if (!rewritten) return 13;
    if (!MoveFileW((folder + L"rename.txt").c_str(), (folder + L"renamed.txt").c_str())) return 14;
    return DeleteFileW((folder + L"temp.cab").c_str()) ? 0 : 15;
}
