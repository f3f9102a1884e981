/* Stands in for the companion client's installer: leaves "<its own path>.ran"
   holding its command line (UTF-8), so a test can tell that it was started
   and how, and ends with 0. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR parameters, int show)
{
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    lstrcpyW(path + length, L".ran");
    const wchar_t* commandLine = GetCommandLineW();
    char text[4096];
    const int size = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, text, sizeof(text), NULL, NULL);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = size > 0 && WriteFile(file, text, (DWORD)(size - 1), &written, NULL);
    CloseHandle(file);
    return ok ? 0 : 1;
}
