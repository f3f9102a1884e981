// The converters over zlib and the LZMA SDK: reuse across streams, feeding in
// pieces, the encoders' file modes with progress, pause and cancel.
#include "base/File.h"
#include "install/LzmaDecoder.h"
#include "install/LzmaEncoder.h"
#include "install/RawConverter.h"
#include "install/ZipDecoder.h"
#include "install/CompressProgress.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace Velora::Test {
namespace {

// Feeds the stream in pieces of at most `piece` bytes and drains after every
// step; the final flag is set once the rest of the output fits.
bool DecodeAll(VLCompressConverter& decoder, const std::string& stream, size_t expected, size_t piece,
               std::string& out)
{
    out.clear();
    size_t at = 0;
    int idle = 0;
    while ((at < stream.size() || out.size() < expected) && idle < 4) {
        const uint32_t n = uint32_t(std::min(piece, stream.size() - at));
        uint32_t used = 0;
        const bool final = expected - out.size() <= decoder.GetFreeSpace();
        if (!decoder.Convert(n ? stream.data() + at : nullptr, n, used, final)) return false;
        at += used;
        uint32_t size = 0;
        const unsigned char* data = decoder.GetOutput(size);
        out.append(reinterpret_cast<const char*>(data), size);
        decoder.ClearOutput();
        idle = used == 0 && size == 0 ? idle + 1 : 0;
    }
    return true;
}

TEST(ConverterFactory, AnswersADecoderPerMethod)
{
    struct Row { int method; bool exists; int type; };
    const Row rows[] = {{0, true, kConverterRaw}, {1, true, kConverterZlib}, {2, true, kConverterLzma},
                        {3, true, kConverterLzma}, {4, false, 0},            {9, false, 0},
                        {31, false, 0},           {40, false, 0},            {-1, false, 0}};
    for (const Row& row : rows) {
        auto converter = CreateDecodingConverter(row.method);
        EXPECT_EQ(row.exists, bool(converter)) << "method " << row.method;
        if (converter) {
            EXPECT_EQ(row.type, converter->GetType()) << "method " << row.method;
        }
    }
    EXPECT_TRUE(std::dynamic_pointer_cast<VLLzmaDecoder>(CreateDecodingConverter(3)));
    EXPECT_TRUE(std::dynamic_pointer_cast<VLZipDecoder>(CreateDecodingConverter(1)));
    EXPECT_FALSE(CreateEncodingConverter(0));
    EXPECT_TRUE(std::dynamic_pointer_cast<VLLzmaEncoder>(CreateEncodingConverter(3)));
}

TEST(RawConverter, TakesWhatFitsAndNothingUntilDrained)
{
    VLRawConverter raw;
    const std::string input = SampleBytes(200000, 1);
    uint32_t used = 0;
    ASSERT_TRUE(raw.Convert(input.data(), uint32_t(input.size()), used, false));
    EXPECT_EQ(102400u, used);
    EXPECT_EQ(0u, raw.GetFreeSpace());
    ASSERT_TRUE(raw.Convert(input.data() + used, uint32_t(input.size() - used), used, false));
    EXPECT_EQ(0u, used);

    // TakeOutput moves the rest to the front.
    std::string first(1000, '\0');
    ASSERT_TRUE(raw.TakeOutput(&first[0], 1000));
    EXPECT_EQ(input.substr(0, 1000), first);
    uint32_t size = 0;
    const unsigned char* rest = raw.GetOutput(size);
    EXPECT_EQ(101400u, size);
    EXPECT_EQ(input.substr(1000, 101400), std::string(reinterpret_cast<const char*>(rest), size));
    raw.End();
    EXPECT_EQ(0u, raw.GetOutputSize());
}

TEST(ZipConverter, OneBytePiecesDecodeLikeOneBlock)
{
    const std::string input = SampleBytes(700000, 2);
    const std::string stream = Encode(kMethodZlib, input, 5);
    ASSERT_EQ(0x78, uint8_t(stream[0])); // RFC 1950 header
    VLZipDecoder whole, bytewise;
    std::string a, b;
    ASSERT_TRUE(DecodeAll(whole, stream, input.size(), stream.size(), a));
    ASSERT_TRUE(DecodeAll(bytewise, stream, input.size(), 1, b));
    EXPECT_EQ(input, a);
    EXPECT_EQ(input, b);
}

TEST(ZipConverter, EndResetsForTheNextStreamAndLevelsRoundTrip)
{
    VLZipDecoder decoder;
    for (int level : {-1, 0, 1, 5, 9, 12}) {
        const std::string input = SampleBytes(50000 + level * 1000, 3 + level);
        const std::string stream = Encode(kMethodZlib, input, level);
        decoder.End();
        std::string out;
        ASSERT_TRUE(DecodeAll(decoder, stream, input.size(), 4096, out)) << "level " << level;
        EXPECT_EQ(input, out) << "level " << level;
    }
}

TEST(ZipConverter, CorruptStreamFails)
{
    std::string stream = Encode(kMethodZlib, SampleBytes(10000, 4), 5);
    stream[0] = 0x12; // not a zlib header
    VLZipDecoder decoder;
    std::string out;
    EXPECT_FALSE(DecodeAll(decoder, stream, 10000, stream.size(), out));
}

TEST(LzmaConverter, RoundTripsAtEveryLevelAndPieceSize)
{
    VLLzmaDecoder decoder;
    struct Row { int level; size_t size; size_t piece; };
    const Row rows[] = {{-1, 1500000, 1 << 20}, {0, 1, 5}, {1, 0, 16}, {3, 300000, 7}, {9, 200000, 65536},
                        {42, 10000, 6}};
    for (const Row& row : rows) {
        const std::string input = SampleBytes(row.size, uint32_t(row.size));
        const std::string stream = Encode(kMethodLzma, input, row.level);
        ASSERT_GE(stream.size(), 5u);
        // Levels 8 and 9 ask for a 64 MiB dictionary; 42 falls back to 7, whose
        // default is 64 MiB as well.
        uint32_t dictionary = 0;
        memcpy(&dictionary, stream.data() + 1, 4);
        const uint32_t expected = row.level == 9 ? 0x4000000u : row.level == 42 ? 0x4000000u
                                  : row.level == -1 ? 1u << 24 : dictionary;
        EXPECT_EQ(expected, dictionary) << "level " << row.level;
        EXPECT_EQ(0x5D, uint8_t(stream[0])); // lc 3, lp 0, pb 2
        decoder.End();
        std::string out;
        ASSERT_TRUE(DecodeAll(decoder, stream, input.size(), row.piece, out)) << "level " << row.level;
        EXPECT_EQ(input, out) << "level " << row.level << " piece " << row.piece;
    }
}

TEST(LzmaConverter, EncoderOutputGrowsAndEndStartsANewStream)
{
    // Random bytes do not compress, so the stream outgrows the first 1 MiB.
    std::string input(1300000, '\0');
    uint32_t state = 7;
    for (char& c : input) c = char((state = state * 1103515245u + 12345u) >> 16);
    VLLzmaEncoder encoder(0);
    uint32_t used = 0;
    ASSERT_TRUE(encoder.Convert(input.data(), uint32_t(input.size()), used, true));
    EXPECT_EQ(input.size(), used);
    uint32_t size = 0;
    const unsigned char* data = encoder.GetOutput(size);
    EXPECT_GT(size, input.size());
    const std::string stream(reinterpret_cast<const char*>(data), size);

    encoder.End();
    EXPECT_EQ(5u, encoder.GetOutputSize());
    EXPECT_EQ(stream.substr(0, 5), std::string(reinterpret_cast<const char*>(encoder.GetOutput(size)), 5));

    VLLzmaDecoder decoder;
    std::string out;
    ASSERT_TRUE(DecodeAll(decoder, stream, input.size(), 1 << 20, out));
    EXPECT_EQ(input, out);
}

TEST(LzmaConverter, AfterEndTheDecoderExpectsPropertyBytesAgain)
{
    const std::string input = SampleBytes(20000, 5);
    const std::string stream = Encode(kMethodLzma, input, 1);
    VLLzmaDecoder decoder;
    std::string out;
    ASSERT_TRUE(DecodeAll(decoder, stream, input.size(), 1000, out));
    decoder.End();
    // Without its property bytes the data is no stream: byte 0 of the data
    // read as properties is out of range or decodes to something else.
    const std::string headless = stream.substr(5);
    const bool ok = DecodeAll(decoder, headless, input.size(), headless.size(), out);
    EXPECT_FALSE(ok && out == input);
    decoder.End();
    ASSERT_TRUE(DecodeAll(decoder, stream, input.size(), stream.size(), out));
    EXPECT_EQ(input, out);
}

TEST(LzmaConverter, FirstInputShorterThanThePropertiesFails)
{
    const std::string stream = Encode(kMethodLzma, SampleBytes(100, 6), 1);
    for (uint32_t n : {0u, 1u, 4u}) {
        VLLzmaDecoder decoder;
        uint32_t used = 99;
        EXPECT_FALSE(decoder.Convert(stream.data(), n, used, false)) << n;
        EXPECT_EQ(0u, used);
    }
    VLLzmaDecoder decoder;
    uint32_t used = 0;
    EXPECT_FALSE(decoder.Convert("\xff\0\0\0\0\0", 6, used, false)); // properties byte out of range
}

class CountingProgress : public VLCompressProgress {
public:
    void OnProgress(double overall, double entry) override
    {
        lastOverall = overall;
        lastEntry = entry;
        ++calls;
    }
    std::atomic<int> calls{0};
    std::atomic<double> lastOverall{-1}, lastEntry{-1};
};

struct EncodeFiles : ::testing::Test {
    TestFolder folder;
    std::string parts[3] = {SampleBytes(300000, 11), std::string(), SampleBytes(5000, 12)};
    std::vector<std::wstring> paths;
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) {
            paths.push_back(folder / (L"part" + std::to_wstring(i)));
            ASSERT_TRUE(WriteFileBytes(paths.back(), parts[i]));
        }
    }
    std::string Decode(const std::wstring& path, size_t size)
    {
        VLLzmaDecoder decoder;
        std::string out;
        EXPECT_TRUE(DecodeAll(decoder, ReadFileBytes(path), size, 1 << 16, out));
        return out;
    }
};

TEST_F(EncodeFiles, FileAndFilesEncodeAndCountWhatTheyWrote)
{
    VLLzmaEncoder encoder(1);
    CountingProgress progress;
    {
        VLFile in, out;
        ASSERT_TRUE(in.Open(paths[0], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
        ASSERT_TRUE(out.Open(folder / L"one.lzma", GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
        uint64_t written = 0;
        VLProgressTotals totals;
        totals.total = 600000;
        totals.done = 300000;
        totals.current = 300000;
        ASSERT_TRUE(encoder.EncodeFile(in.handle.Get(), out.handle.Get(), written, &progress, totals));
        out.Close();
        EXPECT_EQ(ReadFileBytes(folder / L"one.lzma").size(), written);
        EXPECT_GT(progress.calls, 0);
        EXPECT_DOUBLE_EQ(100.0, progress.lastOverall);
        EXPECT_DOUBLE_EQ(100.0, progress.lastEntry);
    }
    EXPECT_EQ(parts[0], Decode(folder / L"one.lzma", parts[0].size()));

    VLFile out;
    ASSERT_TRUE(out.Open(folder / L"all.lzma", GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
    uint64_t written = 0;
    ASSERT_TRUE(encoder.EncodeFiles(paths, out.handle.Get(), written, nullptr, VLProgressTotals()));
    out.Close();
    EXPECT_EQ(ReadFileBytes(folder / L"all.lzma").size(), written);
    const std::string all = parts[0] + parts[1] + parts[2];
    EXPECT_EQ(all, Decode(folder / L"all.lzma", all.size()));
}

TEST_F(EncodeFiles, MissingFileAndFailedWritesFail)
{
    VLLzmaEncoder encoder(1);
    uint64_t written = 0;
    {
        VLFile out;
        ASSERT_TRUE(out.Open(folder / L"x.lzma", GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
        std::vector<std::wstring> withMissing = {paths[0], folder / L"missing", paths[2]};
        EXPECT_FALSE(encoder.EncodeFiles(withMissing, out.handle.Get(), written, nullptr, VLProgressTotals()));
    }
    // An output handle that cannot be written: the encoder must not report
    // success with nothing stored.
    ASSERT_TRUE(WriteFileBytes(folder / L"ro.lzma", ""));
    VLFile in, readOnly;
    ASSERT_TRUE(in.Open(paths[0], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    ASSERT_TRUE(readOnly.Open(folder / L"ro.lzma", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    written = 0;
    EXPECT_FALSE(encoder.EncodeFile(in.handle.Get(), readOnly.handle.Get(), written, nullptr, VLProgressTotals()));
    EXPECT_EQ(0u, written);
}

TEST_F(EncodeFiles, OnlyTheLzmaEncoderEncodesFiles)
{
    VLFile in, out;
    ASSERT_TRUE(in.Open(paths[0], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    ASSERT_TRUE(out.Open(folder / L"x", GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
    VLRawConverter raw;
    VLZipEncoder zip;
    VLZipDecoder unzip;
    VLLzmaDecoder unlzma;
    for (VLCompressConverter* c : std::initializer_list<VLCompressConverter*>{&raw, &zip, &unzip, &unlzma}) {
        uint64_t written = 0;
        EXPECT_FALSE(c->EncodeFile(in.handle.Get(), out.handle.Get(), written, nullptr, VLProgressTotals()));
        EXPECT_FALSE(c->EncodeFiles(paths, out.handle.Get(), written, nullptr, VLProgressTotals()));
        EXPECT_EQ(0u, written);
    }
}

TEST_F(EncodeFiles, CancelStopsAndPauseHoldsTheEncoder)
{
    const std::string big = SampleBytes(6000000, 13);
    ASSERT_TRUE(WriteFileBytes(folder / L"big", big));
    VLLzmaEncoder encoder(1);
    CountingProgress progress;
    progress.SetPaused(true);
    std::atomic<bool> finished{false};
    bool result = true;
    std::thread worker([&] {
        VLFile in, out;
        in.Open(folder / L"big", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
        out.Open(folder / L"big.lzma", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
        uint64_t written = 0;
        VLProgressTotals totals;
        totals.total = totals.current = big.size();
        result = encoder.EncodeFile(in.handle.Get(), out.handle.Get(), written, &progress, totals);
        finished = true;
    });
    // Paused: the first progress report blocks the encoder.
    for (int i = 0; i < 200 && progress.calls == 0; ++i) Sleep(10);
    Sleep(300);
    EXPECT_EQ(1, progress.calls);
    EXPECT_FALSE(finished);
    progress.cancelled = true;
    progress.SetPaused(false);
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_LE(progress.calls, 2);
}

} // namespace
} // namespace Velora::Test
