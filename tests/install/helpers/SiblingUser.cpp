// Stands in for a setup program that uses the files it was shipped with: it
// reads its own program file and a sibling with ordinary sharing, rewrites
// one, renames one and deletes one (a temporary cabinet). It exits with the
// number of the first step that failed plus 10, 0 when all worked.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring program(self, length);
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);

    HANDLE own = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char bytes[2] = {};
    DWORD got = 0;
    const bool readOwn = own != INVALID_HANDLE_VALUE && ReadFile(own, bytes, 2, &got, nullptr) && got == 2;
    if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
    if (!readOwn || bytes[0] != 'M') return 11;

    FILE* data = _wfopen((folder + L"data.txt").c_str(), L"rb");
    char text[5] = {};
    const bool readData = data && std::fread(text, 1, 4, data) == 4;
    if (data) std::fclose(data);
    if (!readData || std::string(text) != "data") return 12;

    HANDLE rewrite = CreateFileW((folder + L"rewrite.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool rewritten = rewrite != INVALID_HANDLE_VALUE && WriteFile(rewrite, "rewritten", 9, &written, nullptr);
    if (rewrite != INVALID_HANDLE_VALUE) CloseHandle(rewrite);
    if (!rewritten) return 13;

    if (!MoveFileW((folder + L"rename.txt").c_str(), (folder + L"renamed.txt").c_str())) return 14;
    if (!DeleteFileW((folder + L"temp.cab").c_str())) return 15;
    return 0;
}
