// Stands in for a runtime's setup program: takes its whole parameter text as
// the exchange file, notes what it found there under [seen], and reports the
// result named by VLTEST_SETUP_RESULT (no report when it is unset).
// VLTEST_SETUP_WRITE says how the answer gets there: written in place
// through the profile functions (unset), written into a new file that then
// replaces the exchange file ("replace"), or into the exchange file made
// anew after deleting it ("recreate").
#include <windows.h>

#include <string>

int wmain()
{
    const wchar_t* rest = GetCommandLineW();
    if (*rest == L'"') {
        ++rest;
        while (*rest && *rest != L'"') ++rest;
        if (*rest) ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
    }
    while (*rest == L' ' || *rest == L'\t') ++rest;
    const std::wstring exchange = rest;

    wchar_t folder[MAX_PATH] = {};
    GetPrivateProfileStringW(L"install", L"dir", L"", folder, MAX_PATH, exchange.c_str());
    wchar_t write[16] = {};
    GetEnvironmentVariableW(L"VLTEST_SETUP_WRITE", write, 16);
    const std::wstring mode = write;
    const std::wstring answer = mode == L"replace" ? exchange + L".new" : exchange;
    if (mode == L"recreate" && !DeleteFileW(exchange.c_str())) return 1;

    WritePrivateProfileStringW(L"seen", L"dir", folder, answer.c_str());
    WritePrivateProfileStringW(L"seen", L"parameters", exchange.c_str(), answer.c_str());
    wchar_t result[64] = {};
    if (GetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", result, 64))
        WritePrivateProfileStringW(L"report", L"result", result, answer.c_str());
    if (answer != exchange && !MoveFileExW(answer.c_str(), exchange.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;
    return 0;
}
