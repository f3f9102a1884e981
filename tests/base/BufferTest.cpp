#include <gtest/gtest.h>

#include "base/Buffer.h"

#include <exception>
#include <string>
#include <vector>

using namespace Velora;

namespace {

std::vector<unsigned char> Bytes(const VLBufferWriter& writer)
{
    return std::vector<unsigned char>(writer.buffer.data, writer.buffer.data + writer.buffer.size);
}

TEST(VLBuffer, SetCapacityKeepsContentsAndSize)
{
    VLBuffer<unsigned char> buffer(4);
    EXPECT_EQ(4u, buffer.capacity);
    EXPECT_EQ(0u, buffer.size);
    for (unsigned char i = 0; i < 4; ++i) buffer.data[i] = i + 1;
    buffer.size = 3;
    unsigned char* before = buffer.data;
    buffer.SetCapacity(4);
    EXPECT_EQ(before, buffer.data);
    buffer.SetCapacity(8);
    EXPECT_EQ(8u, buffer.capacity);
    EXPECT_EQ(3u, buffer.size);
    EXPECT_EQ(4, buffer.data[3]);
    buffer.SetCapacity(0);
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_EQ(0u, buffer.capacity);
}

TEST(VLBuffer, AssignCopiesTheWholeBlock)
{
    VLBuffer<unsigned char> source(6);
    for (unsigned char i = 0; i < 6; ++i) source.data[i] = 0xA0 + i;
    source.size = 2;
    VLBuffer<unsigned char> copy(1);
    copy.Assign(source);
    EXPECT_EQ(6u, copy.capacity);
    EXPECT_EQ(2u, copy.size);
    EXPECT_NE(source.data, copy.data);
    EXPECT_EQ(0xA5, copy.data[5]); // beyond size, still copied

    VLBuffer<unsigned char> empty;
    copy.Assign(empty);
    EXPECT_EQ(nullptr, copy.data);
    EXPECT_EQ(0u, copy.capacity);
    EXPECT_EQ(0u, copy.size);

    unsigned char* block = source.data;
    source.Assign(source);
    EXPECT_EQ(block, source.data);
    EXPECT_EQ(6u, source.capacity);
    EXPECT_EQ(2u, source.size);
}

TEST(VLBufferWriter, GrowsInSteps)
{
    VLBufferWriter writer;
    EXPECT_EQ(4096u, writer.buffer.capacity);
    EXPECT_EQ(0u, writer.buffer.size);
    for (int i = 0; i < 4096; ++i) {
        const unsigned char byte = static_cast<unsigned char>(i);
        writer.Write(&byte, 1);
    }
    EXPECT_EQ(4096u, writer.buffer.capacity);
    const unsigned char last = 0x5A;
    writer.Write(&last, 1);
    EXPECT_EQ(8192u, writer.buffer.capacity);
    EXPECT_EQ(4097u, writer.buffer.size);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(static_cast<unsigned char>(i), writer.buffer.data[i]);
    EXPECT_EQ(0x5A, writer.buffer.data[4096]);

    // A large write takes the same capacity as many small steps would.
    const std::vector<unsigned char> big(10000, 7);
    writer.Write(big.data(), uint32_t(big.size()));
    EXPECT_EQ(16384u, writer.buffer.capacity);
    EXPECT_EQ(14097u, writer.buffer.size);
}

TEST(VLBufferWriter, RefusesASizeBeyond32Bits)
{
    VLBufferWriter writer;
    const unsigned char byte = 1;
    writer.Write(&byte, 1);
    EXPECT_THROW(writer.Write(&byte, 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(1u, writer.buffer.size);
    EXPECT_EQ(4096u, writer.buffer.capacity);
}

TEST(Serialisation, PinnedLayout)
{
    struct Case { const char* what; std::vector<unsigned char> expected; void (*write)(VLBufferWriter&); };
    const Case cases[] = {
        {"uint32", {0x78, 0x56, 0x34, 0x12}, [](VLBufferWriter& w) { w.WriteUInt32(0x12345678); }},
        {"int32", {0xFE, 0xFF, 0xFF, 0xFF}, [](VLBufferWriter& w) { w.WriteInt32(-2); }},
        {"string", {3, 0, 0, 0, 0x61, 0, 0x62, 0, 0x63, 0}, [](VLBufferWriter& w) { w.WriteString(L"abc"); }},
        {"empty string", {0, 0, 0, 0}, [](VLBufferWriter& w) { w.WriteString(L""); }},
        {"wide string", {1, 0, 0, 0, 0xBD, 0x5B}, [](VLBufferWriter& w) { w.WriteString(L"\u5bbd"); }},
        {"vector", {2, 0, 0, 0, 1, 0, 0, 0, 0x78, 0, 0, 0, 0, 0},
         [](VLBufferWriter& w) { w.WriteStrings({L"x", L""}); }},
        {"map", {2, 0, 0, 0, 1, 0, 0, 0, 0x61, 0, 1, 0, 0, 0, 0x32, 0, 1, 0, 0, 0, 0x62, 0, 1, 0, 0, 0, 0x31, 0},
         [](VLBufferWriter& w) { w.WriteStringMap({{L"b", L"1"}, {L"a", L"2"}}); }},
    };
    for (const Case& c : cases) {
        VLBufferWriter writer;
        c.write(writer);
        EXPECT_EQ(c.expected, Bytes(writer)) << c.what;
    }
}

TEST(Serialisation, RoundTrip)
{
    const std::vector<std::wstring> strings = {L"one", L"", L"\u5bbd\u5e26"};
    const std::map<std::wstring, std::wstring> map = {{L"Z", L"last"}, {L"a", L""}, {L"B", L"x"}};
    VLBufferWriter writer;
    writer.WriteUInt32(7).WriteStrings(strings).WriteStringMap(map).WriteInt32(-1);
    VLBufferReader reader{writer.buffer.data, writer.buffer.size, 0};
    EXPECT_EQ(7u, reader.ReadUInt32());
    EXPECT_EQ(strings, reader.ReadStrings());
    EXPECT_EQ(map, reader.ReadStringMap());
    EXPECT_EQ(-1, reader.ReadInt32());
    EXPECT_EQ(writer.buffer.size, reader.position);
}

TEST(VLBufferReader, ReadsPastTheEndThrowAndKeepThePosition)
{
    const unsigned char block[3] = {1, 2, 3};
    VLBufferReader reader{block, 3, 0};
    unsigned char out[4] = {};
    EXPECT_THROW(reader.Read(out, 4), std::bad_exception);
    EXPECT_EQ(0u, reader.position);
    reader.Read(out, 1);
    EXPECT_EQ(1u, reader.position);
    // A hostile length must not wrap around the bounds check.
    EXPECT_THROW(reader.Read(out, 0xFFFFFFFFu), std::bad_exception);
    EXPECT_EQ(1u, reader.position);
    EXPECT_THROW(reader.Read(out, 0xFFFFFFFEu), std::bad_exception);
    EXPECT_EQ(1u, reader.position);
    reader.Read(out, 2);
    EXPECT_EQ(3u, reader.position);
    EXPECT_EQ(3, out[1]);
    reader.Read(out, 0);
    EXPECT_EQ(3u, reader.position);
    EXPECT_THROW(reader.Read(out, 1), std::bad_exception);
}

TEST(VLBufferReader, HostileCounts)
{
    // A string that promises more units than remain.
    const unsigned char shortString[] = {3, 0, 0, 0, 0x61, 0};
    VLBufferReader reader{shortString, sizeof(shortString), 0};
    EXPECT_THROW(reader.ReadString(), std::bad_exception);
    EXPECT_EQ(6u, reader.position);
    // Counts of four billion end at the block's end, without reserving.
    const unsigned char huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    VLBufferReader strings{huge, sizeof(huge), 0};
    EXPECT_THROW(strings.ReadStrings(), std::bad_exception);
    VLBufferReader text{huge, sizeof(huge), 0};
    EXPECT_THROW(text.ReadString(), std::bad_exception);
    VLBufferReader map{huge, sizeof(huge), 0};
    EXPECT_THROW(map.ReadStringMap(), std::bad_exception);
}

} // namespace
