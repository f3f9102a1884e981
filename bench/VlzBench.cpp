// Extraction throughput and peak memory on a generated package of about
// 200 MiB (LZMA and zlib entries). vlz-bench.sh compares the figures with
// xz and gzip decoding the same payloads.
//   vlz-bench generate <folder>   package.vlz, and eN.lzma / eN.gz for the host tools
//   vlz-bench extract <folder>    extracts into <folder>\out and prints figures
#include "install/Unpacker.h"
#include "tests/support/PackageWriter.h"

#include <psapi.h>
#include <zlib.h>

#include <cstdio>
#include <map>

using namespace Velora;
using namespace Velora::Test;

namespace {

constexpr int kEntriesPerMethod = 5;
constexpr size_t kEntrySize = 20u << 20;

bool Save(const std::wstring& path, const std::string& bytes)
{
    VLFile file;
    DWORD written = 0;
    return file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0) &&
           file.Write(bytes.data(), DWORD(bytes.size()), &written);
}

void PutLE(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out += char(value >> (8 * i));
}

// The same deflate data in a gzip wrapper, for gzip -d.
std::string GzipOf(const std::string& zlibStream, const std::string& content)
{
    std::string out("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10);
    out += zlibStream.substr(2, zlibStream.size() - 6);
    PutLE(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size()))));
    PutLE(out, uint32_t(content.size()));
    return out;
}

int Generate(const std::wstring& folder)
{
    PackageWriter writer;
    for (int i = 0; i < 2 * kEntriesPerMethod; ++i) {
        const uint32_t method = i < kEntriesPerMethod ? kMethodLzma : kMethodZlib;
        const std::string content = SampleBytes(kEntrySize, 100 + i);
        const std::string stream = Encode(method, content, -1);
        const std::wstring name = L"e" + std::to_wstring(i);
        const bool saved = method == kMethodLzma
                               ? Save(folder + L"\\" + name + L".lzma",
                                      stream.substr(0, 5) + std::string(8, '\xff') + stream.substr(5))
                               : Save(folder + L"\\" + name + L".gz", GzipOf(stream, content));
        if (!saved) return 1;
        PackageEntry entry = File(name, "", method);
        entry.stream = stream;
        entry.unpackedSize = content.size();
        writer.root.Add(entry);
    }
    return writer.WriteTo(folder + L"\\package.vlz") ? 0 : 1;
}

class TimingProgress : public VLCompressProgress {
public:
    void OnEntryBegin(const VLTocNode&) override { QueryPerformanceCounter(&start_); }
    void OnEntryEnd(const VLTocNode& node) override
    {
        LARGE_INTEGER end, frequency;
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        seconds[node.method] += double(end.QuadPart - start_.QuadPart) / double(frequency.QuadPart);
        bytes[node.method] += node.unpackedSize;
    }
    std::map<uint32_t, double> seconds;
    std::map<uint32_t, uint64_t> bytes;

private:
    LARGE_INTEGER start_;
};

int Extract(const std::wstring& folder)
{
    PROCESS_MEMORY_COUNTERS before = {sizeof(before)}, after = {sizeof(after)};
    VLUnpacker unpacker(folder + L"\\package.vlz");
    TimingProgress progress;
    unpacker.SetProgress(&progress);
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    if (!unpacker.Open() || !unpacker.Install(folder + L"\\out")) return 1;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    for (const auto& [method, seconds] : progress.seconds)
        std::printf("%s_seconds %.3f %s_bytes %llu\n", method == kMethodLzma ? "lzma" : "zlib", seconds,
                    method == kMethodLzma ? "lzma" : "zlib", (unsigned long long)progress.bytes[method]);
    std::printf("peak_working_set_mib %.1f\npeak_private_mib %.1f\nstart_working_set_mib %.1f\n",
                after.PeakWorkingSetSize / 1048576.0, after.PeakPagefileUsage / 1048576.0,
                before.WorkingSetSize / 1048576.0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"generate") return Generate(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"extract") return Extract(argv[2]);
    std::fprintf(stderr, "usage: vlz-bench generate|extract <folder>\n");
    return 2;
}
