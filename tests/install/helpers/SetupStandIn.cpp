// Stands in for a runtime's setup program: takes its whole parameter text as
// the exchange file, notes what it found there under [seen], and reports the
// result named by VLTEST_SETUP_RESULT (no report when it is unset).
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
    WritePrivateProfileStringW(L"seen", L"dir", folder, exchange.c_str());
    WritePrivateProfileStringW(L"seen", L"parameters", exchange.c_str(), exchange.c_str());

    wchar_t result[64] = {};
    if (GetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", result, 64))
        WritePrivateProfileStringW(L"report", L"result", result, exchange.c_str());
    return 0;
}
