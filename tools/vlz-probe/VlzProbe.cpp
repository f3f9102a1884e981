// Looks into a package from the command line:
//   vlz-probe list <package>             prints the table of contents
//   vlz-probe extract <package> <folder> extracts it, printing events and progress
// The exit status is 0 only when the whole command succeeded.
#include "base/TextConvert.h"
#include "install/Unpacker.h"

#include <cstdio>
#include <string>

using namespace Velora;

namespace {

void Print(const std::wstring& text)
{
    const std::string utf8 = WideToMultiByteCP(text, CP_UTF8, 0, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

class ProbeProgress : public VLCompressProgress {
public:
    void OnEntryBegin(const VLTocNode& node) override
    {
        if (node.kind != kNodeFolder) Print(L"  " + node.outputPath + L"\n");
    }
    void OnProgress(double overall, double) override
    {
        const int percent = int(overall);
        if (percent / 10 == lastTenth_) return;
        lastTenth_ = percent / 10;
        wchar_t line[32];
        swprintf(line, 32, L"%3d%%\n", percent);
        Print(line);
    }
    bool OnEvent(const VLUnpackEvent* event) override
    {
        Print(DescribeEvent(*event) + L"\n");
        ++events;
        return false;
    }
    void OnEnd(bool cancelled) override { Print(cancelled ? L"cancelled\n" : L"done\n"); }

    int events = 0;

private:
    int lastTenth_ = -1;
};

const wchar_t* KindName(uint32_t kind)
{
    switch (kind) {
    case kNodeFolder: return L"folder";
    case kNodeFile: return L"file";
    case kNodeMemory: return L"memory";
    case kNodeInline: return L"inline";
    default: return L"kind?";
    }
}

void List(const VLTocNode& node, int depth)
{
    wchar_t line[160];
    swprintf(line, 160, L"%-6ls m%-2u %12llu %12llu @%-10llu %08X ", KindName(node.kind), unsigned(node.method),
             (unsigned long long)(node.kind == kNodeInline ? node.data.size : node.unpackedSize),
             (unsigned long long)node.packedSize, (unsigned long long)node.dataOffset, unsigned(node.attributes));
    Print(line + std::wstring(size_t(depth) * 2, L' ') + node.name + L"\n");
    for (const auto& child : node.children) List(*child, depth + 1);
}

int Usage()
{
    std::fprintf(stderr, "usage: vlz-probe list <package>\n       vlz-probe extract <package> <folder>\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return Usage();
    const std::wstring command = argv[1];
    const bool extract = command == L"extract";
    if (!(command == L"list" && argc == 3) && !(extract && argc == 4)) return Usage();

    VLUnpacker unpacker(argv[2]);
    ProbeProgress progress;
    unpacker.SetProgress(&progress);
    if (!unpacker.Open()) {
        Print(L"cannot open the package\n");
        return 1;
    }
    wchar_t header[96];
    swprintf(header, 96, L"format %u, %llu packed bytes\n", unsigned(unpacker.GetFormatVersion()),
             (unsigned long long)unpacker.GetTotal());
    Print(header);
    if (!extract) {
        Print(L"kind   method   unpacked       packed offset      attrib   name\n");
        for (const auto& child : unpacker.GetRoot().children) List(*child, 0);
        return 0;
    }
    const bool ok = unpacker.Install(argv[3]);
    return ok && progress.events == 0 ? 0 : 1;
}
