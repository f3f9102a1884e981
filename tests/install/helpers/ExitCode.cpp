// Exits with the code given as the first argument, after the delay in
// milliseconds given as the second; a third names a marker file written just
// before it exits, so that a test can tell the program ran to its end.
#include <windows.h>

#include <cwchar>
#include <cstdlib>

int wmain(int argc, wchar_t** argv)
{
    const unsigned long code = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 0;
    if (argc > 2) Sleep(std::wcstoul(argv[2], nullptr, 10));
    if (argc > 3) {
        HANDLE marker = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
    return int(code);
}
