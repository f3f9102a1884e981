// file-holder <path> <held event> <release event>: another program that has a
// file open for writing, as a backup tool or a second copy of the program
// may. Opens the file, signals the first named event, and keeps the file
// open until the second is signalled (or for two minutes).
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (!held || !release) return 1;
    SetEvent(held);
    WaitForSingleObject(release, 120000);
    CloseHandle(file);
    return 0;
}
