// Deletes a key tree holding a chain 1,500, 3,000 and 6,000 keys deep (one
// value on every key) through a ".reg" import, as the package install
// applies it: once on its own, once followed by a key the registry refuses,
// so that the import is rolled back and the tree written again; and the same
// tree with the system's RegDeleteTreeW. Goal: every column grows linearly
// with the depth, and the import stays within a small factor of the system.
#include "install/RegParser.h"
#include "install/RegTransaction.h"
#include "install/TextWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace Velora;

namespace {

// Each figure is the best of this many runs: single runs of registry work
// under Wine vary widely.
constexpr int kRuns = 3;

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The chain's keys are one character long: a path 6,000 keys deep is then
// about 12,000 characters.
bool MakeChain(const std::wstring& root, int depth)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, root.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    for (int level = 0; level <= depth; ++level) {
        const DWORD number = DWORD(level);
        RegSetValueExW(key, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
        HKEY child = nullptr;
        const LONG made = level < depth
                              ? RegCreateKeyExW(key, L"a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr)
                              : ERROR_SUCCESS;
        RegCloseKey(key);
        if (made != ERROR_SUCCESS) return false;
        key = child;
    }
    return true;
}

bool ChainIsWhole(const std::wstring& root, int depth)
{
    std::wstring deepest = root;
    for (int level = 0; level < depth; ++level) deepest += L"\\a";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, deepest.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD number = 0, size = sizeof(number);
    const bool whole =
        RegQueryValueExW(key, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS &&
        number == DWORD(depth);
    RegCloseKey(key);
    return whole;
}

// Parses the ".reg" text and applies it; negative when Apply did not answer
// as expected.
double TimeImport(const std::wstring& text, bool expectApplied)
{
    VLBuffer<unsigned char> bytes;
    VLTextWriter(bytes, L"\r\n").Write(text, false);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    VLRegParser parser;
    parser.Parse(bytes);
    VLRegTransaction transaction;
    const bool applied = transaction.Apply(parser.keys);
    QueryPerformanceCounter(&end);
    return applied == expectApplied ? Seconds(start, end) : -1.0;
}

int Fail(int depth, const char* what)
{
    std::fprintf(stderr, "depth %d: %s failed\n", depth, what);
    return 1;
}

} // namespace

int wmain()
{
    const std::wstring base = L"Software\\VLRegDeleteBench-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring root = base + L"\\Root";
    const std::wstring name = L"HKEY_CURRENT_USER\\" + root;
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::wstring deleteText = header + L"[-" + name + L"]\r\n\r\n";
    // Below the deleted key its parent is gone, so the key is created, and a
    // name over 255 characters fails there.
    const std::wstring failingText =
        deleteText + L"[" + name + L"\\" + std::wstring(300, L'x') + L"]\r\n" + L"\"v\"=\"1\"\r\n\r\n";

    std::printf("depth   import-delete   rolled back   RegDeleteTree   ratios to RegDeleteTree (best of %d)\n", kRuns);
    bool whole = true;
    for (const int depth : {1500, 3000, 6000}) {
        double deleted = 1e9, rolledBack = 1e9, system = 1e9;
        bool restored = true;
        for (int run = 0; run < kRuns; ++run) {
            if (!MakeChain(root, depth)) return Fail(depth, "making the chain");
            const double deleteRun = TimeImport(deleteText, true);
            if (deleteRun < 0) return Fail(depth, "the delete");
            if (!MakeChain(root, depth)) return Fail(depth, "making the chain");
            const double rollbackRun = TimeImport(failingText, false);
            if (rollbackRun < 0) return Fail(depth, "the import to roll back");
            restored = restored && ChainIsWhole(root, depth);
            if (!MakeChain(root, depth)) return Fail(depth, "making the chain");
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            const LONG result = RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
            QueryPerformanceCounter(&end);
            if (result != ERROR_SUCCESS) return Fail(depth, "RegDeleteTreeW");
            deleted = std::min(deleted, deleteRun);
            rolledBack = std::min(rolledBack, rollbackRun);
            system = std::min(system, Seconds(start, end));
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
        std::printf("%5d   %11.3f s   %9.3f s   %11.3f s   %.2f and %.2f%s\n", depth, deleted, rolledBack, system,
                    deleted / system, rolledBack / system, restored ? "" : "   (the rollback lost the tree)");
        whole = whole && restored;
    }
    return whole ? 0 : 1;
}
