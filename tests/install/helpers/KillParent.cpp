// Ends the process that started it at once, as a crash or the task manager
// would end an installer while its script runs, then exits with 0.
#include <windows.h>
#include <tlhelp32.h>

int wmain()
{
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    HANDLE process = parent ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, parent) : nullptr;
    if (!process) return 1;
    const bool ended = TerminateProcess(process, 9) && WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended ? 0 : 1;
}
