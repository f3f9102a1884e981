// Imports three shapes of registry data at two sizes each and prints the
// best time of each size and their ratio (about 2 when the time grows linearly
// with the size, 4 when with its square), applied and rolled back:
//   chain    nested key records, each holding the next, over a chain of
//            existing keys with 20 siblings on every level;
//   values   one key record writing every value of a key that holds them;
//   deletes  a record deleting each subkey of a key.
#include "install/RegParser.h"
#include "install/RegTransaction.h"
#include "install/TextWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace Velora;

namespace {

const std::wstring kBase = L"Software\\VLRegScaleBench-" + std::to_wstring(GetCurrentProcessId());
const std::wstring kBaseName = L"HKEY_CURRENT_USER\\" + kBase;

void Put(const std::wstring& path, const std::wstring& value)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (!value.empty()) RegSetValueExW(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"old"), 8);
    RegCloseKey(key);
}

VLRegKeyList Parse(const std::wstring& text)
{
    VLBuffer<unsigned char> bytes;
    VLTextWriter(bytes, L"\r\n").Write(L"Windows Registry Editor Version 5.00\r\n\r\n" + text, false);
    VLRegParser parser;
    parser.Parse(bytes);
    return parser.keys;
}

VLRegValue Text(const std::wstring& name)
{
    VLRegValue value(REG_SZ, name);
    value.text = L"new";
    return value;
}

// Makes the shape's keys at size n and answers the records that import it.
VLRegKeyList Chain(int n)
{
    std::wstring path = kBase;
    VLRegKey top;
    VLRegKey* record = &top;
    for (int level = 0; level < n; ++level) {
        for (int sibling = 0; sibling < 20; ++sibling) Put(path + L"\\s" + std::to_wstring(sibling), L"");
        path += L"\\c";
        Put(path, L"v");
        if (level) {
            record->subkeys.emplace_back();
            record = &record->subkeys.back();
        }
        *record = VLRegKey(kRegRootCurrentUser, path);
        record->values.push_back(Text(L"v"));
    }
    return VLRegKeyList{top};
}

VLRegKeyList Values(int n)
{
    VLRegKey key(kRegRootCurrentUser, kBase);
    for (int i = 0; i < n; ++i) {
        Put(kBase, L"v" + std::to_wstring(i));
        key.values.push_back(Text(L"V" + std::to_wstring(i)));
    }
    return VLRegKeyList{key};
}

VLRegKeyList Deletes(int n)
{
    std::wstring text;
    for (int i = 0; i < n; ++i) {
        Put(kBase + L"\\k" + std::to_wstring(i), L"v");
        text += L"[-" + kBaseName + L"\\K" + std::to_wstring(i) + L"]\r\n";
    }
    return Parse(text);
}

// Each figure is the best of this many runs: single runs of registry work
// under Wine vary widely, and the first pays for Wine's start.
constexpr int kRuns = 3;

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The shape made anew, then applied (followed by a key the registry refuses
// when rolledBack); negative when Apply did not answer as expected.
double TimeImport(VLRegKeyList (*shape)(int), int n, bool rolledBack)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase.c_str());
    VLRegKeyList keys = shape(n);
    if (rolledBack) keys.push_back(VLRegKey(kRegRootCurrentUser, kBase + L"\\" + std::wstring(300, L'x')));
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    VLRegTransaction transaction;
    const bool applied = transaction.Apply(keys);
    QueryPerformanceCounter(&end);
    if (applied == rolledBack || (rolledBack && !transaction.IsRolledBack())) return -1.0;
    return Seconds(start, end);
}

} // namespace

int wmain()
{
    const struct {
        const char* name;
        VLRegKeyList (*shape)(int);
        int size;
    } shapes[] = {{"chain", Chain, 256}, {"values", Values, 10000}, {"deletes", Deletes, 1500}};
    std::printf("shape     size    applied  rolled back   size    applied  rolled back   ratios\n");
    int failed = 0;
    for (const auto& shape : shapes) {
        double times[2][2];
        for (int doubled = 0; doubled < 2; ++doubled) {
            for (int rolledBack = 0; rolledBack < 2; ++rolledBack) {
                double& best = times[doubled][rolledBack];
                best = 1e9;
                for (int run = 0; run < kRuns; ++run) {
                    const double time = TimeImport(shape.shape, shape.size << doubled, rolledBack != 0);
                    if (time < 0) ++failed;
                    best = std::min(best, time);
                }
            }
        }
        std::printf("%-8s %5d %8.3f s %8.3f s   %5d %8.3f s %8.3f s   %.2f and %.2f\n", shape.name, shape.size,
                    times[0][0], times[0][1], shape.size * 2, times[1][0], times[1][1], times[1][0] / times[0][0],
                    times[1][1] / times[0][1]);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase.c_str());
    if (failed) std::fprintf(stderr, "%d imports did not answer as expected\n", failed);
    return failed ? 1 : 0;
}
