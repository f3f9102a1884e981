// Times every detector of this machine's catalogue, warm: each runs once
// first, then the whole catalogue is timed over several rounds. Goal: the
// catalogue under 20 ms (the program's pause between rows not counted). The
// catalogue is also timed without DirectX, whose time is mostly the system's
// diagnostic provider, so that the other rows' own time shows.
#include "app/RuntimeTable.h"
#include "detect/Detectors.h"

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
    std::vector<double> totals, withoutDirectX;
    for (int round = 0; round < rounds; ++round) {
        double total = 0.0, others = 0.0;
        for (size_t i = 0; i < table.size(); ++i) {
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            table[i].IsInstalled();
            QueryPerformanceCounter(&end);
            const double ms = Milliseconds(start, end);
            perRow[i] += ms;
            total += ms;
            if (table[i].detect != DetectDirectX) others += ms;
        }
        totals.push_back(total);
        withoutDirectX.push_back(others);
    }
    for (size_t i = 0; i < table.size(); ++i) {
        printf("%5d  %-36ls %8.3f ms\n", table[i].id, table[i].name.c_str(), perRow[i] / rounds);
    }
    std::sort(totals.begin(), totals.end());
    std::sort(withoutDirectX.begin(), withoutDirectX.end());
    printf("catalogue of %u rows, %d warm rounds: median %.2f ms, best %.2f ms, worst %.2f ms"
           " (goal: under 20 ms)\n",
           unsigned(table.size()), rounds, totals[rounds / 2], totals.front(), totals.back());
    printf("without DirectX: median %.2f ms, best %.2f ms, worst %.2f ms\n", withoutDirectX[rounds / 2],
           withoutDirectX.front(), withoutDirectX.back());
    return 0;
}
