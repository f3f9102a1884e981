// Imports a ".reg" file of about 6 MB whose one binary value is continued
// over 84,000 lines, as the package install reads and applies it, and the
// same bytes with the value on one line. Goal: the continued file takes at
// most twice as long.
#include "install/RegParser.h"
#include "install/RegTransaction.h"

#include <windows.h>

#include <cstdio>
#include <string>

using namespace Velora;

namespace {

constexpr int kLines = 84000;
constexpr int kBytesPerLine = 25;

// The text of the file; continued puts the usual backslash, line end and
// indentation behind every line of the value but the last.
std::string RegText(const std::string& keyName, bool continued)
{
    static const char digits[] = "0123456789abcdef";
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + keyName +
                       "]\r\n\"blob\"=hex:";
    text.reserve(size_t(kLines) * (kBytesPerLine * 3 + 5) + text.size() + 4);
    uint32_t state = 7;
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < kBytesPerLine; ++i) {
            state = state * 1103515245u + 12345u;
            text += digits[(state >> 20) & 15];
            text += digits[(state >> 16) & 15];
            if (line + 1 < kLines || i + 1 < kBytesPerLine) text += ',';
        }
        if (continued && line + 1 < kLines) text += "\\\r\n  ";
    }
    return text + "\r\n";
}

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// Reads and applies the file as a package install does; negative on failure.
double TimeImport(const std::wstring& path)
{
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    VLRegParser parser;
    try {
        parser.LoadFile(path);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "reading failed: %s\n", error.what());
        return -1.0;
    }
    VLRegTransaction transaction;
    const bool applied = transaction.Apply(parser.keys);
    QueryPerformanceCounter(&end);
    return applied ? Seconds(start, end) : -1.0;
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    return ok;
}

} // namespace

int wmain()
{
    const std::string keyName = "Software\\VLRegImportBench-" + std::to_string(GetCurrentProcessId());
    const std::wstring wideKey(keyName.begin(), keyName.end());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    double seconds[2] = {};
    size_t sizes[2] = {};
    for (int continued = 1; continued >= 0; --continued) {
        const std::wstring path = std::wstring(temp) + L"vl-reg-bench-" + std::to_wstring(GetCurrentProcessId()) +
                                  (continued ? L"-lines.reg" : L"-one.reg");
        const std::string text = RegText(keyName, continued != 0);
        sizes[continued] = text.size();
        if (!WriteText(path, text)) {
            std::fprintf(stderr, "cannot write the test file\n");
            return 1;
        }
        seconds[continued] = TimeImport(path);
        DeleteFileW(path.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, wideKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, wideKey.c_str());
        if (seconds[continued] < 0) {
            std::fprintf(stderr, "the import failed\n");
            return 1;
        }
    }
    std::printf("value over %d lines (%.1f MB): %.3f s; same bytes on one line (%.1f MB): %.3f s; "
                "ratio %.2f (goal at most 2)\n",
                kLines, sizes[1] / 1e6, seconds[1], sizes[0] / 1e6, seconds[0], seconds[1] / seconds[0]);
    return 0;
}
