// Times every detector of this machine's catalogue, warm: each runs once
// first, then the whole catalogue is timed over several rounds. Goal: the
// catalogue under 20 ms (the program's pause between rows not counted).
#include "app/RuntimeTable.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Velora;

namespace {

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

} // namespace

int wmain()
{
    SetDllDirectoryW(L"");
    std::vector<VLSoftwareDetect> table;
    BuildRuntimeTable(table);
    for (const VLSoftwareDetect& row : table) row.IsInstalled();

    const int rounds = 20;
    std::vector<double> perRow(table.size(), 0.0);
    std::vector<double> totals;
    for (int round = 0; round < rounds; ++round) {
        double total = 0.0;
        for (size_t i = 0; i < table.size(); ++i) {
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            table[i].IsInstalled();
            QueryPerformanceCounter(&end);
            const double ms = Milliseconds(start, end);
            perRow[i] += ms;
            total += ms;
        }
        totals.push_back(total);
    }
    for (size_t i = 0; i < table.size(); ++i) {
        printf("%5d  %-36ls %8.3f ms\n", table[i].id, table[i].name.c_str(), perRow[i] / rounds);
    }
    std::sort(totals.begin(), totals.end());
    printf("catalogue of %u rows, %d warm rounds: median %.2f ms, best %.2f ms, worst %.2f ms"
           " (goal: under 20 ms)\n",
           unsigned(table.size()), rounds, totals[rounds / 2], totals.front(), totals.back());
    return 0;
}
