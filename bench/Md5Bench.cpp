// Times Md5File on one file: prints the digest, the best of a few runs in
// seconds and the throughput in MiB/s, for bench/md5.sh to compare.
#include "base/Md5.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: md5_bench FILE [RUNS]\n");
        return 2;
    }
    const std::wstring path = argv[1];
    const int runs = argc > 2 ? _wtoi(argv[2]) : 3;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        fwprintf(stderr, L"md5_bench: cannot find the file\n");
        return 1;
    }
    const double mebibytes = double(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow) / (1 << 20);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 1e30;
    std::wstring digest;
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        digest = Velora::Md5FileHex(path);
        QueryPerformanceCounter(&end);
        const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        if (seconds < best) best = seconds;
    }
    if (digest.empty()) {
        fwprintf(stderr, L"md5_bench: no digest\n");
        return 1;
    }
    wprintf(L"%ls %.3f %.1f\n", digest.c_str(), best, mebibytes / best);
    return 0;
}
