// Times every detector of this machine's catalogue, warm: each runs once
// first, then the whole catalogue is timed over several rounds, each one
// check, which also expands a registered path naming a machine variable.
// Goal: the catalogue under 20 ms (the program's pause between rows not
// counted). The catalogue is also timed without DirectX, whose time is
// mostly the system's diagnostic provider, so that the other rows' own time
// shows; and again with 5,000 more values in the machine's environment key,
// which a check reads once the key has changed: goal within 2 times the
// check without them.
#include "app/RuntimeTable.h"
#include "base/MachineEnvironment.h"
#include "detect/Detectors.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace Velora;

namespace {

const int kRounds = 20;
const int kExtraValues = 5000;
const wchar_t kMachineEnvironment[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct Times {
    std::vector<double> perRow, totals, withoutDirectX;
};

Times Checks(const std::vector<VLSoftwareDetect>& table)
{
    Times times;
    times.perRow.assign(table.size(), 0.0);
    for (int round = 0; round < kRounds; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        ExpandMachineEnvironment(L"%ProgramFiles%\\Java\\bin\\client\\jvm.dll");
        QueryPerformanceCounter(&end);
        double total = Milliseconds(start, end), others = total;
        for (size_t i = 0; i < table.size(); ++i) {
            QueryPerformanceCounter(&start);
            table[i].IsInstalled();
            QueryPerformanceCounter(&end);
            const double ms = Milliseconds(start, end);
            times.perRow[i] += ms;
            total += ms;
            if (table[i].detect != DetectDirectX) others += ms;
        }
        times.totals.push_back(total);
        times.withoutDirectX.push_back(others);
    }
    return times;
}

// Sorts the times and prints their median, best and worst after the text;
// answers the median.
double Print(const std::string& what, std::vector<double>& times)
{
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    printf("%s: median %.2f ms, best %.2f ms, worst %.2f ms\n", what.c_str(), median, times.front(), times.back());
    return median;
}

// Writes the extra values, named after this process, or deletes them: half
// taken as written, half naming a variable of the system's and the value
// before them.
bool ExtraValues(bool write)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineEnvironment, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    const std::wstring prefix = L"VLBench" + std::to_wstring(GetCurrentProcessId()) + L"-";
    bool done = true;
    for (int i = 0; i < kExtraValues && done; ++i) {
        const std::wstring name = prefix + std::to_wstring(i);
        if (!write) {
            done = RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS;
            continue;
        }
        const bool expand = i % 2;
        const std::wstring text =
            expand ? L"%SystemRoot%\\VLBench;%" + prefix + std::to_wstring(i - 1) + L"%" : L"C:\\VLBench\\" + name;
        done = RegSetValueExW(key, name.c_str(), 0, expand ? REG_EXPAND_SZ : REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1) * 2) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return done;
}

} // namespace

int wmain()
{
    SetDllDirectoryW(L"");
    std::vector<VLSoftwareDetect> table;
    BuildRuntimeTable(table);
    for (const VLSoftwareDetect& row : table) row.IsInstalled();

    Times plain = Checks(table);
    for (size_t i = 0; i < table.size(); ++i) {
        printf("%5d  %-36ls %8.3f ms\n", table[i].id, table[i].name.c_str(), plain.perRow[i] / kRounds);
    }
    const double catalogue = Print("catalogue of " + std::to_string(table.size()) + " rows, " +
                                       std::to_string(kRounds) + " warm rounds (goal: under 20 ms)",
                                   plain.totals);
    const double others = Print("without DirectX", plain.withoutDirectX);

    if (!ExtraValues(true)) {
        printf("the machine's environment key cannot take %d more values here\n", kExtraValues);
        ExtraValues(false);
        return 1;
    }
    // Past the second in which a key's time may not yet tell a later write.
    Sleep(1100);
    Times extra = Checks(table);
    ExtraValues(false);
    const double first = extra.totals.front(), firstOthers = extra.withoutDirectX.front();
    const std::string more = "with " + std::to_string(kExtraValues) + " more values in the machine's environment key";
    const double extraCatalogue = Print(more, extra.totals);
    const double extraOthers = Print(more + ", without DirectX", extra.withoutDirectX);
    printf("the first check after they were written, which reads them: %.2f ms, %.2f ms without DirectX\n", first,
           firstOthers);
    printf("with them: %.2f times the check without them (the first check %.2f times), %.2f times without DirectX"
           " (goal: within 2 times)\n",
           extraCatalogue / catalogue, first / catalogue, extraOthers / others);
    return 0;
}
