// zlib and the LZMA SDK as linked into the program: both must round-trip and
// decode what an independent encoder produced.
#include <gtest/gtest.h>

#include <zlib.h>

#include <LzmaDec.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ZlibSmoke, InflatesWhatDeflateProduced)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "runtime " + std::to_string(i) + "\n";
    uLongf packedSize = compressBound(text.size());
    std::vector<Bytef> packed(packedSize);
    ASSERT_EQ(Z_OK, compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()), text.size()));
    EXPECT_LT(packedSize, text.size() / 2);

    std::vector<Bytef> out(text.size());
    uLongf outSize = out.size();
    ASSERT_EQ(Z_OK, uncompress(out.data(), &outSize, packed.data(), packedSize));
    EXPECT_EQ(text, std::string(reinterpret_cast<char*>(out.data()), outSize));
    EXPECT_EQ('1', zlibVersion()[0]);
}

void* LzmaAlloc(void*, size_t size) { return malloc(size); }
void LzmaFree(void*, void* p) { free(p); }

TEST(LzmaSmoke, DecodesAStreamFromAnIndependentEncoder)
{
    // Python's lzma module, FORMAT_ALONE: 5 property bytes, an unknown size
    // (all ones) and an end marker.
    const unsigned char stream[] = {
        0x5d, 0x00, 0x00, 0x01, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x29,
        0x1d, 0x49, 0xc7, 0x77, 0xb5, 0x74, 0x9a, 0x67, 0x1e, 0x60, 0x94, 0xca, 0xbb, 0x57, 0x9b,
        0x5f, 0x26, 0x47, 0x74, 0x36, 0x8c, 0x9b, 0xbb, 0xe9, 0x8b, 0x05, 0x37, 0xaf, 0x11, 0xba,
        0x92, 0x79, 0xab, 0xbb, 0xce, 0x15, 0x4f, 0xff, 0xfe, 0x23, 0xf8, 0x00};
    std::string expected;
    for (int i = 0; i < 4; ++i)
        expected += "Runtime check LZMA smoke test. ";

    std::vector<unsigned char> out(expected.size() + 16);
    SizeT outSize = out.size();
    SizeT inSize = sizeof(stream) - LZMA_PROPS_SIZE - 8;
    ELzmaStatus status;
    ISzAlloc alloc = {LzmaAlloc, LzmaFree};
    ASSERT_EQ(SZ_OK, LzmaDecode(out.data(), &outSize, stream + LZMA_PROPS_SIZE + 8, &inSize, stream,
                                LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &alloc));
    EXPECT_EQ(LZMA_STATUS_FINISHED_WITH_MARK, status);
    EXPECT_EQ(expected, std::string(reinterpret_cast<char*>(out.data()), outSize));
}

} // namespace
