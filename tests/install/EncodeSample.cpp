// Writes what our encoders make of one input file, for check_encoded.py to
// decode with an independent decoder.
//   encode-sample <input file> <output folder>
#include "base/File.h"
#include "install/LzmaEncoder.h"
#include "install/ZipEncoder.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <cstdio>

using namespace Velora;

namespace {

bool EncodeFileTo(const std::wstring& input, const std::wstring& output)
{
    VLFile in, out;
    uint64_t written = 0;
    VLLzmaEncoder encoder;
    return in.Open(input, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0) &&
           out.Open(output, GENERIC_WRITE, 0, CREATE_ALWAYS, 0) &&
           encoder.EncodeFile(in.handle.Get(), out.handle.Get(), written, nullptr, VLProgressTotals());
}

bool EncodeFilesTo(const std::string& bytes, const std::wstring& folder)
{
    // Three pieces, one of them empty, joined into one stream.
    const std::vector<std::wstring> parts = {folder + L"\\p0", folder + L"\\p1", folder + L"\\p2"};
    const size_t cut = bytes.size() / 3;
    if (!Test::WriteFileBytes(parts[0], bytes.substr(0, cut)) || !Test::WriteFileBytes(parts[1], "") ||
        !Test::WriteFileBytes(parts[2], bytes.substr(cut)))
        return false;
    bool ok;
    {
        VLFile out;
        uint64_t written = 0;
        VLLzmaEncoder encoder(9);
        ok = out.Open(folder + L"\\files.lzma", GENERIC_WRITE, 0, CREATE_ALWAYS, 0) &&
             encoder.EncodeFiles(parts, out.handle.Get(), written, nullptr, VLProgressTotals());
    }
    for (const std::wstring& part : parts) DeleteFileW(part.c_str());
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: encode-sample <input file> <output folder>\n");
        return 2;
    }
    const std::wstring input = argv[1];
    const std::wstring folder = argv[2];
    std::string bytes;
    if (!Test::ReadFileBytes(input, bytes)) return 1;
    bool ok = true;
    for (int level : {-1, 0, 9}) {
        ok = ok && Test::WriteFileBytes(folder + L"\\block" + std::to_wstring(level + 1) + L".lzma",
                                        Test::Encode(kMethodLzma, bytes, level));
        ok = ok && Test::WriteFileBytes(folder + L"\\block" + std::to_wstring(level + 1) + L".zlib",
                                        Test::Encode(kMethodZlib, bytes, level));
    }
    ok = ok && EncodeFileTo(input, folder + L"\\file.lzma") && EncodeFilesTo(bytes, folder);
    std::fprintf(stderr, ok ? "" : "encode-sample: encoding failed\n");
    return ok ? 0 : 1;
}
