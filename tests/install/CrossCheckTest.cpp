// Our decoders read what an independent encoder (Python's lzma and zlib,
// run at build time) wrote. The other direction is checked by
// check_encoded.py on the files EncodeSample writes.
#include "install/LzmaDecoder.h"
#include "install/LzmaEncoder.h"
#include "install/ZipDecoder.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace Velora::Test {
namespace {

std::wstring Fixture(const std::wstring& name)
{
    std::wstring path = VL_FIXTURE_DIR L"\\" + name;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

TEST(CrossCheck, DecodesStreamsOfAnIndependentEncoder)
{
    const std::string expected = ReadFileBytes(Fixture(L"input.bin"));
    ASSERT_GT(expected.size(), 1u << 20);
    struct Row { const wchar_t* file; std::shared_ptr<VLCompressConverter> decoder; size_t piece; };
    const Row rows[] = {{L"input.lzma", std::make_shared<VLLzmaDecoder>(), 1 << 19},
                        {L"input.lzma", std::make_shared<VLLzmaDecoder>(), 333},
                        {L"input.zlib", std::make_shared<VLZipDecoder>(), 1 << 19},
                        {L"input.zlib", std::make_shared<VLZipDecoder>(), 17}};
    for (const Row& row : rows) {
        const std::string stream = ReadFileBytes(Fixture(row.file));
        std::string out;
        size_t at = 0;
        while (at < stream.size() || out.size() < expected.size()) {
            const uint32_t n = uint32_t(std::min(row.piece, stream.size() - at));
            uint32_t used = 0;
            const bool final = expected.size() - out.size() <= row.decoder->GetFreeSpace();
            ASSERT_TRUE(row.decoder->Convert(stream.data() + at, n, used, final)) << row.file;
            at += used;
            uint32_t size = 0;
            const unsigned char* data = row.decoder->GetOutput(size);
            ASSERT_TRUE(used || size) << row.file << " stalled at " << at;
            out.append(reinterpret_cast<const char*>(data), size);
            row.decoder->ClearOutput();
        }
        EXPECT_TRUE(out == expected) << row.file << " piece " << row.piece;
    }
}

} // namespace
} // namespace Velora::Test
