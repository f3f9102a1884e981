// Extracting packages the tests build: every packing method, the solid set,
// memory and inline entries, hooks, failures that must not hang or pass as
// success, progress accounting, pause and cancel.
#include "install/Unpacker.h"
#include "base/FileUtil.h"
#include "base/FindFile.h"
#include "tests/install/RecordingProgress.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <LzmaEnc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace Velora::Test {
namespace {

constexpr uint64_t kTime = 130000000000000000ull; // 2012-12-11

uint64_t GetTimes(const std::wstring& path, int which)
{
    VLHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME t[3] = {};
    if (!h.Valid() || !GetFileTime(h.Get(), &t[0], &t[1], &t[2])) return 0;
    return uint64_t(t[which].dwHighDateTime) << 32 | t[which].dwLowDateTime;
}

PackageEntry Timed(PackageEntry e, uint64_t base)
{
    e.creationTime = kTime + base;
    // Access after write, so that reading a file does not move its access
    // time on a file system that updates it lazily.
    e.writeTime = kTime + base + 10000000ull * 3600;
    e.accessTime = kTime + base + 10000000ull * 7200;
    return e;
}

// Runs f on a thread and fails the whole run if it does not end in time:
// a reader that loops for ever must not pass by never finishing.
template <typename F> auto Within(int seconds, F f)
{
    auto future = std::async(std::launch::async, f);
    if (future.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        ADD_FAILURE() << "extraction did not end within " << seconds << " s";
        std::fflush(stdout);
        ExitProcess(3);
    }
    return future.get();
}

struct Extract : ::testing::Test {
    TestFolder folder;
    RecordingProgress progress;
    std::wstring target = folder / L"target";

    bool Run(VLUnpacker& unpacker, const PackageWriter& writer, bool withSink = true)
    {
        EXPECT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        if (withSink) unpacker.SetProgress(&progress);
        if (!unpacker.Open()) {
            ADD_FAILURE() << "package did not open";
            return false;
        }
        return Within(30, [&] { return unpacker.Install(target); });
    }
    bool Run(const PackageWriter& writer, bool withSink = true)
    {
        VLUnpacker unpacker(folder / L"p.vlz");
        return Run(unpacker, writer, withSink);
    }
    std::string Out(const std::wstring& relative) { return ReadFileBytes(target + L"\\" + relative); }
    bool Exists(const std::wstring& relative) { return PathExists(target + L"\\" + relative); }
    std::vector<uint32_t> Codes()
    {
        std::vector<uint32_t> codes;
        for (const auto& e : progress.events) codes.push_back(e.code);
        return codes;
    }
};

TEST_F(Extract, EveryKindAndMethodComesOutByteForByte)
{
    const std::string stored = SampleBytes(700000, 1), zipped = SampleBytes(1500000, 2),
                      lzma = SampleBytes(2500000, 3), s1 = SampleBytes(600000, 4), s2 = SampleBytes(10, 5),
                      s3 = SampleBytes(1200000, 6), after = SampleBytes(3000, 7), memory = SampleBytes(9000, 8);
    PackageWriter writer;
    writer.root.Add(Timed(File(L"stored.txt", stored, kMethodStored), 1));
    PackageEntry readOnly = Timed(File(L"zip.txt", zipped, kMethodZlib), 2);
    readOnly.attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    writer.root.Add(readOnly);
    writer.root.Add(Timed(File(L"lzma.bin", lzma, kMethodLzma), 3));
    writer.root.Add(Timed(File(L"s1.txt", s1, kMethodSolid), 4));
    PackageEntry sub = Timed(Folder(L"sub"), 5);
    sub.Add(Timed(File(L"s2.txt", s2, kMethodSolid), 6));
    PackageEntry deeper = Timed(Folder(L"deeper \u4e2d"), 7);
    deeper.Add(Timed(File(L"s3 \u6587.txt", s3, kMethodSolid), 8));
    sub.Add(deeper);
    sub.Add(Timed(File(L"after.txt", after, kMethodZlib), 9));
    writer.root.Add(sub);
    writer.root.Add(Memory(L"##reg##.bin", memory, kMethodZlib));
    writer.root.Add(Inline(L"vlmeta", "meta bytes"));

    VLUnpacker unpacker(folder / L"p.vlz");
    ASSERT_TRUE(Run(unpacker, writer));
    EXPECT_TRUE(progress.events.empty()) << ::testing::PrintToString(progress.events);

    struct Row { std::wstring path; uint64_t base; };
    const Row rows[] = {{L"stored.txt", 1}, {L"zip.txt", 2}, {L"lzma.bin", 3}, {L"s1.txt", 4}, {L"sub", 5},
                        {L"sub\\s2.txt", 6}, {L"sub\\deeper \u4e2d", 7}, {L"sub\\deeper \u4e2d\\s3 \u6587.txt", 8},
                        {L"sub\\after.txt", 9}};
    // Wine keeps no creation time on Linux file systems (it answers the
    // write time), so only access and write times can be checked here.
    for (const Row& row : rows) {
        const std::wstring path = target + L"\\" + row.path;
        const std::string name(row.path.begin(), row.path.end());
        EXPECT_EQ(kTime + row.base + 10000000ull * 7200, GetTimes(path, 1)) << name << " access";
        EXPECT_EQ(kTime + row.base + 10000000ull * 3600, GetTimes(path, 2)) << name << " write";
    }
    EXPECT_TRUE(Out(L"stored.txt") == stored);
    EXPECT_TRUE(Out(L"zip.txt") == zipped);
    EXPECT_TRUE(Out(L"lzma.bin") == lzma);
    EXPECT_TRUE(Out(L"s1.txt") == s1);
    EXPECT_TRUE(Out(L"sub\\s2.txt") == s2);
    EXPECT_TRUE(Out(L"sub\\deeper \u4e2d\\s3 \u6587.txt") == s3);
    EXPECT_TRUE(Out(L"sub\\after.txt") == after);
    EXPECT_FALSE(Exists(L"##reg##.bin"));
    EXPECT_FALSE(Exists(L"vlmeta"));

    EXPECT_TRUE(GetFileAttributesW((target + L"\\zip.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(GetFileAttributesW((target + L"\\stored.txt").c_str()) & FILE_ATTRIBUTE_READONLY);

    const VLTocNode& root = unpacker.GetRoot();
    const VLTocNode& mem = *root.children[5];
    EXPECT_EQ(memory, std::string(reinterpret_cast<const char*>(mem.data.data), mem.data.size));
    const VLTocNode& meta = *root.children[6];
    EXPECT_EQ("meta bytes", std::string(reinterpret_cast<const char*>(meta.data.data), meta.data.size));
    EXPECT_EQ(target + L"\\sub\\deeper \u4e2d", root.children[4]->children[1]->outputPath);

    // Progress runs over the packed bytes; the solid stream counts the input
    // of the conversion steps that made output.
    EXPECT_LE(unpacker.GetDone(), unpacker.GetTotal());
    EXPECT_GT(unpacker.GetDone(), unpacker.GetTotal() - 100);
    ASSERT_FALSE(progress.progress.empty());
    for (size_t i = 1; i < progress.progress.size(); ++i)
        EXPECT_LE(progress.progress[i - 1].first, progress.progress[i].first + 1e-9) << i;
    EXPECT_LE(progress.progress.back().first, 100.0 + 1e-9);
    EXPECT_GT(progress.progress.back().first, 95.0);
    EXPECT_EQ(1u, progress.Count(L"begin"));
    EXPECT_EQ(1u, progress.Count(L"finish"));
    EXPECT_EQ(1u, progress.Count(L"entry s2.txt"));
    EXPECT_EQ(1u, progress.Count(L"end sub"));
    EXPECT_EQ(0u, progress.Count(L"end s1.txt")); // solid files are not ended by the node walk
}

TEST_F(Extract, ProgressCountsPackedBytes)
{
    PackageWriter writer;
    writer.root.Add(File(L"a", std::string(300, 'a')));
    writer.root.Add(File(L"empty", ""));
    writer.root.Add(File(L"b", std::string(100, 'b')));
    {
        VLUnpacker unpacker(folder / L"p.vlz");
        ASSERT_TRUE(Run(unpacker, writer));
        EXPECT_EQ(400u, unpacker.GetTotal());
        EXPECT_EQ(400u, unpacker.GetDone());
    }
    // a: start, after its read; empty: start; b: start, after its read.
    const std::vector<std::pair<double, double>> expected = {{0, 0}, {75, 100}, {75, 100}, {75, 0}, {100, 100}};
    EXPECT_EQ(expected, progress.progress);

    PackageWriter empties;
    empties.root.Add(File(L"x", ""));
    empties.root.Add(Folder(L"f", {File(L"y", "")}));
    progress.progress.clear();
    DeleteTree(target);
    ASSERT_TRUE(Run(empties));
    ASSERT_FALSE(progress.progress.empty());
    for (const auto& p : progress.progress) EXPECT_EQ(std::make_pair(100.0, 100.0), p);
}

TEST_F(Extract, WithoutASinkNothingWaitsAndFailuresStop)
{
    PackageWriter writer;
    writer.root.Add(File(L"a", "alpha", kMethodZlib));
    ASSERT_TRUE(Run(writer, false));
    EXPECT_EQ("alpha", Out(L"a"));

    PackageWriter bad;
    bad.root.Add(File(L"b", "beta", kMethodZlib)).trailing = "junk";
    DeleteTree(target);
    EXPECT_FALSE(Run(bad, false));
}

TEST_F(Extract, BrokenStreamsFailQuicklyAndSaySo)
{
    const std::string text = SampleBytes(800000, 9);
    struct Row {
        const char* what;
        std::function<void(PackageWriter&)> build;
        uint32_t code; // 0: fails without an event
    };
    const Row rows[] = {
        {"zlib with trailing bytes",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodZlib)).trailing = std::string(100, 'j'); },
         kEventDecodeFailed},
        {"LZMA with trailing bytes",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodLzma)).trailing = std::string(3, '\0'); },
         kEventDecodeFailed},
        {"zlib cut short",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodZlib)).packedSize = 1000; },
         kEventDecodeFailed},
        {"LZMA cut short",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodLzma)).packedSize = 5000; },
         kEventDecodeFailed},
        {"LZMA shorter than its properties",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodLzma)).packedSize = 3; },
         kEventDecodeFailed},
        {"zlib promising more than it holds",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodZlib)).unpackedSize = text.size() + 1; },
         kEventDecodeFailed},
        {"LZMA holding more than it promises",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodLzma)).unpackedSize = text.size() - 1; },
         kEventDecodeFailed},
        {"corrupt zlib",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text, kMethodZlib)).stream = std::string(500, '\x55'); },
         kEventDecodeFailed},
        {"data area cut off",
         [&](PackageWriter& w) {
             w.root.Add(File(L"f", text, kMethodLzma));
             w.cutFromEnd = 100000;
         },
         kEventPackageFailed},
        {"solid stream shorter than its files",
         [&](PackageWriter& w) {
             w.root.Add(File(L"a", text, kMethodSolid));
             w.root.Add(File(L"b", text, kMethodSolid)).unpackedSize = 2 * text.size() + 10;
         },
         kEventDecodeFailed},
        {"solid stream with trailing bytes",
         [&](PackageWriter& w) {
             w.root.Add(File(L"a", text, kMethodSolid));
             w.root.Add(File(L"b", "tail", kMethodSolid)).trailing = "xyz";
         },
         kEventDecodeFailed},
        {"solid stream carried by its first file",
         [&](PackageWriter& w) {
             w.root.Add(File(L"a", text, kMethodSolid));
             w.root.Add(File(L"b", "tail", kMethodSolid));
             w.solidCarrier = 0;
         },
         kEventDecodeFailed},
        {"memory entry with trailing bytes",
         [&](PackageWriter& w) { w.root.Add(Memory(L"m", "memory", kMethodZlib)).trailing = "junk"; }, 0},
        {"memory entry larger than declared",
         [&](PackageWriter& w) { w.root.Add(Memory(L"m", "memory", kMethodLzma)).unpackedSize = 3; }, 0},
        {"memory entry shorter than declared",
         [&](PackageWriter& w) { w.root.Add(Memory(L"m", "memory", kMethodZlib)).unpackedSize = 30; }, 0},
        {"file with method 9", [&](PackageWriter& w) { w.root.Add(File(L"f", "x", 9)); }, 0},
    };
    for (const Row& row : rows) {
        PackageWriter writer;
        row.build(writer);
        progress.events.clear();
        progress.log.clear();
        DeleteTree(target);
        VLUnpacker unpacker(folder / L"p.vlz");
        EXPECT_FALSE(Run(unpacker, writer)) << row.what;
        EXPECT_EQ(row.code ? std::vector<uint32_t>{row.code} : std::vector<uint32_t>{}, Codes()) << row.what;
        EXPECT_EQ(0u, progress.Count(L"finish")) << row.what;
    }
}

TEST_F(Extract, OrphanSolidFilesAreNeverWritten)
{
    PackageWriter writer;
    writer.root.Add(File(L"orphan", "data", kMethodSolid));
    writer.root.Add(File(L"plain", "data"));
    writer.solidCarrier = -1;
    ASSERT_TRUE(Run(writer));
    EXPECT_FALSE(Exists(L"orphan"));
    EXPECT_EQ("data", Out(L"plain"));
}

TEST_F(Extract, EmptySolidFilesAreCreatedToo)
{
    PackageWriter writer;
    writer.root.Add(File(L"e1", "", kMethodSolid));
    writer.root.Add(File(L"a", "alpha", kMethodSolid));
    writer.root.Add(File(L"e2", "", kMethodSolid));
    writer.root.Add(File(L"b", "beta", kMethodSolid));
    ASSERT_TRUE(Run(writer));
    EXPECT_EQ("", Out(L"e1"));
    EXPECT_EQ("alpha", Out(L"a"));
    EXPECT_EQ("", Out(L"e2"));
    EXPECT_EQ("beta", Out(L"b"));
}

// The layout of methods 2 and 3 without the end-of-stream code, as another
// packer may write it.
std::string EncodeWithoutMarker(const std::string& bytes)
{
    ISzAlloc alloc = {+[](void*, size_t n) { return n ? std::malloc(n) : nullptr; },
                      +[](void*, void* address) { std::free(address); }};
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 1;
    std::string out(LZMA_PROPS_SIZE + bytes.size() + bytes.size() / 2 + 1024, '\0');
    SizeT propsSize = LZMA_PROPS_SIZE, size = out.size() - LZMA_PROPS_SIZE;
    auto* base = reinterpret_cast<Byte*>(&out[0]);
    EXPECT_EQ(SZ_OK, LzmaEncode(base + LZMA_PROPS_SIZE, &size, reinterpret_cast<const Byte*>(bytes.data()),
                                bytes.size(), &props, base, &propsSize, 0, nullptr, &alloc, &alloc));
    out.resize(LZMA_PROPS_SIZE + size);
    return out;
}

TEST_F(Extract, SolidSetsEndingInEmptyFilesComeOutWhole)
{
    const std::string a = SampleBytes(300000, 17);
    const std::vector<std::vector<std::string>> sets = {{a, "", ""}, {"", ""}, {""}, {"", a, "", "b", ""}, {a, "z"}};
    for (bool marker : {true, false}) {
        for (const auto& contents : sets) {
            const std::string what = (marker ? "marker, " : "no marker, ") + std::to_string(contents.size()) +
                                     " files, last " + std::to_string(contents.back().size()) + " bytes";
            PackageWriter writer;
            std::string all;
            for (size_t i = 0; i < contents.size(); ++i) {
                writer.root.Add(File(L"f" + std::to_wstring(i), contents[i], kMethodSolid));
                all += contents[i];
            }
            if (!marker) writer.root.children.back().stream = EncodeWithoutMarker(all);
            progress.events.clear();
            DeleteTree(target);
            EXPECT_TRUE(Run(writer)) << what;
            EXPECT_TRUE(progress.events.empty()) << what;
            for (size_t i = 0; i < contents.size(); ++i) {
                EXPECT_TRUE(Exists(L"f" + std::to_wstring(i))) << what << ", file " << i;
                EXPECT_TRUE(Out(L"f" + std::to_wstring(i)) == contents[i]) << what << ", file " << i;
            }
        }
    }
}

TEST_F(Extract, TablesListingWhatCannotComeOutAreRefused)
{
    const std::string text = SampleBytes(3000, 12);
    struct Row {
        const char* what;
        std::function<void(PackageWriter&)> build;
    };
    const Row rows[] = {
        {"stored file with fewer bytes than listed",
         [&](PackageWriter& w) { w.root.Add(File(L"f", text)).packedSize = 100; }},
        {"stored file running into the next entry",
         [&](PackageWriter& w) {
             w.root.Add(File(L"f", text)).packedSize = text.size() + 4;
             w.root.Add(File(L"s", "next"));
         }},
        {"stored file of 4 GiB - 1 with nothing stored",
         [&](PackageWriter& w) { w.root.Add(File(L"f", "")).unpackedSize = 0xFFFFFFFFull; }},
        {"stored memory entry", [&](PackageWriter& w) { w.root.Add(Memory(L"m", text)).packedSize = 10; }},
    };
    for (const Row& row : rows) {
        PackageWriter writer;
        row.build(writer);
        ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        VLUnpacker unpacker(folder / L"p.vlz");
        unpacker.SetProgress(&progress);
        progress.events.clear();
        EXPECT_FALSE(unpacker.Open()) << row.what;
        EXPECT_EQ(std::vector<RecordedEvent>({{kEventBadPackage, L"", 8, 0}}), progress.events) << row.what;
        EXPECT_FALSE(unpacker.Install(target)) << row.what;
        for (const wchar_t* name : {L"f", L"s", L"m"}) EXPECT_FALSE(Exists(name)) << row.what;
    }
}

// Records of kinds a newer writer added are read with the common layout and
// extract to nothing, whatever their method; one with method 3 has a stream
// of its own and stays out of the solid set.
TEST_F(Extract, RecordsOfNewerKindsArePassedOver)
{
    const std::string a = SampleBytes(5000, 21), b = SampleBytes(6000, 22), inner = SampleBytes(700, 23);
    auto unknown = [](uint32_t kind, uint32_t method) {
        PackageEntry e = File(L"k" + std::to_wstring(kind), SampleBytes(900, kind), method);
        e.kind = kind;
        return e;
    };
    PackageWriter writer;
    writer.root.Add(File(L"a", a, kMethodSolid));
    writer.root.Add(unknown(4, kMethodStored));
    writer.root.Add(Folder(L"sub", {unknown(7, kMethodZlib), File(L"inner", inner, kMethodLzma)}));
    writer.root.Add(unknown(200, kMethodSolid));
    writer.root.Add(File(L"b", b, kMethodSolid));
    ASSERT_TRUE(Run(writer));
    EXPECT_TRUE(progress.events.empty()) << ::testing::PrintToString(progress.events);
    EXPECT_TRUE(Out(L"a") == a);
    EXPECT_TRUE(Out(L"b") == b);
    EXPECT_TRUE(Out(L"sub\\inner") == inner);
    std::vector<std::wstring> written;
    for (const wchar_t* folderName : {L"", L"\\sub"}) {
        VLFindFile find;
        VLFindData found;
        for (bool more = find.FindFirst(target + folderName + L"\\*", found); more; more = find.FindNext(found))
            if (!found.IsDots()) written.push_back(found.name);
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(std::vector<std::wstring>({L"a", L"b", L"inner", L"sub"}), written);
}

TEST_F(Extract, OnlyFilesMakeUpTheSolidSet)
{
    const std::string a = SampleBytes(5000, 13), b = SampleBytes(7000, 14), m = SampleBytes(900, 15),
                      inner = SampleBytes(400, 16);
    PackageWriter writer;
    writer.root.Add(File(L"a", a, kMethodSolid));
    writer.root.Add(Memory(L"m", m, kMethodSolid)); // decoded from a stream of its own
    // A folder's method means nothing: its contents come out as any folder's.
    PackageEntry& sub = writer.root.Add(Folder(L"sub", {File(L"inner", inner, kMethodSolid), File(L"plain", "p")}));
    sub.method = kMethodSolid;
    PackageEntry& claiming = writer.root.Add(Folder(L"claiming", {File(L"deep", "d", kMethodZlib)}));
    claiming.method = kMethodSolid;
    claiming.packedSize = 100;
    writer.root.Add(File(L"b", b, kMethodSolid));

    {
        VLUnpacker unpacker(folder / L"p.vlz");
        ASSERT_TRUE(Run(unpacker, writer));
        const VLTocNode& memory = *unpacker.GetRoot().children[1];
        EXPECT_EQ(m, std::string(reinterpret_cast<const char*>(memory.data.data), memory.data.size));
    }
    EXPECT_TRUE(progress.events.empty()) << ::testing::PrintToString(progress.events);
    EXPECT_TRUE(Out(L"a") == a);
    EXPECT_TRUE(Out(L"sub\\inner") == inner);
    EXPECT_EQ("p", Out(L"sub\\plain"));
    EXPECT_EQ("d", Out(L"claiming\\deep"));
    EXPECT_TRUE(Out(L"b") == b);
    EXPECT_FALSE(Exists(L"m"));

    // A memory entry with method 3 and no stream has nothing to decode.
    PackageWriter empty;
    empty.root.Add(Memory(L"m", m, kMethodSolid)).stream = "";
    empty.root.Add(File(L"a", a, kMethodSolid));
    DeleteTree(target);
    EXPECT_FALSE(Run(empty));
}

TEST_F(Extract, TargetThatIsAFileIsRefused)
{
    ASSERT_TRUE(WriteFileBytes(target, "in the way"));
    PackageWriter writer;
    writer.root.Add(File(L"a", "x"));
    EXPECT_FALSE(Run(writer));
    EXPECT_EQ(std::vector<RecordedEvent>({{kEventWriteFailed, target, 0, ERROR_ALREADY_EXISTS}}), progress.events);
}

TEST_F(Extract, ExistingOutputsAreReplacedOrReported)
{
    PackageWriter writer;
    writer.root.Add(File(L"ro", "new ro"));
    writer.root.Add(File(L"held", "new held", kMethodZlib));
    writer.root.Add(File(L"dir", "new dir"));
    writer.root.Add(File(L"last", "new last"));
    CreateDirectories(target + L"\\dir");
    ASSERT_TRUE(WriteFileBytes(target + L"\\ro", "old"));
    SetFileAttributesW((target + L"\\ro").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteFileBytes(target + L"\\held", "old held"));
    // Open without delete sharing: the file cannot be deleted.
    VLHandle held(CreateFileW((target + L"\\held").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());

    // The base sink stops at the first failure.
    EXPECT_FALSE(Run(writer));
    EXPECT_EQ("new ro", Out(L"ro"));
    EXPECT_EQ(std::vector<RecordedEvent>({{kEventDeleteFailed, target + L"\\held", 0, ERROR_SHARING_VIOLATION}}),
              progress.events);

    // A sink that skips: the held file stays as it was, the folder in the
    // way is reported, and extraction goes on to the end.
    progress.events.clear();
    progress.answer = true;
    VLUnpacker unpacker(folder / L"p.vlz");
    ASSERT_TRUE(Run(unpacker, writer));
    EXPECT_EQ("old held", Out(L"held"));
    EXPECT_EQ("new last", Out(L"last"));
    ASSERT_EQ(2u, progress.events.size());
    EXPECT_EQ(kEventDeleteFailed, progress.events[0].code);
    EXPECT_EQ((RecordedEvent{kEventCreateFailed, target + L"\\dir", 0, ERROR_ACCESS_DENIED}), progress.events[1]);
    EXPECT_EQ(unpacker.GetTotal(), unpacker.GetDone());
}

TEST_F(Extract, FlagBitsInAttributesDoNotReachTheFile)
{
    PackageWriter writer;
    PackageEntry e = File(L"keep", "kept");
    e.attributes = FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_ARCHIVE;
    writer.root.Add(e);
    ASSERT_TRUE(Run(writer));
    EXPECT_EQ("kept", Out(L"keep"));
}

TEST_F(Extract, HostileNamesNeverLeaveTheTarget)
{
    target = folder / L"inner\\target";
    for (const wchar_t* name : {L"..\\x", L"C:\\x", L"\\\\srv\\x", L"a\\..\\..\\x", L"..", L"\\x"}) {
        PackageWriter writer;
        writer.root.Add(File(L"fine", "ok"));
        writer.root.Add(Folder(L"a", {File(name, "escaped")}));
        ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        VLUnpacker unpacker(folder / L"p.vlz");
        unpacker.SetProgress(&progress);
        progress.events.clear();
        EXPECT_FALSE(unpacker.Open());
        EXPECT_EQ(std::vector<uint32_t>{kEventBadPackage}, Codes());
        EXPECT_FALSE(unpacker.Install(target));
    }
    for (const std::wstring& outside : {folder / L"x", folder / L"inner\\x", folder / L"inner\\a"})
        EXPECT_FALSE(PathExists(outside));
    EXPECT_FALSE(Exists(L"fine"));
}

// Hooks as the installing subclass uses them.
class HookedUnpacker : public VLUnpacker {
public:
    using VLUnpacker::VLUnpacker;
    std::wstring skipName, mapName, mapTo, failFolder;
    bool pathErrorAnswer = false;
    int cancelAfter = -1;
    std::vector<std::wstring> after;

protected:
    bool MapEntryPath(VLTocNode& node, std::wstring& folder, std::wstring& name, bool& skip) override
    {
        skip = node.name == skipName;
        if (node.name == mapName) name = mapTo;
        return true;
    }
    bool CreateFolder(const std::wstring& path) override
    {
        if (GetFileName(path) == failFolder) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        return VLUnpacker::CreateFolder(path);
    }
    bool OnPathError(DWORD error, const std::wstring& path) override { return pathErrorAnswer; }
    bool AfterEntry(VLTocNode& node) override
    {
        after.push_back(node.name);
        if (int(after.size()) == cancelAfter) Cancel();
        return true;
    }
};

TEST_F(Extract, HooksSkipMapAndDecide)
{
    TestFolder elsewhere;
    PackageWriter writer;
    writer.root.Add(File(L"skipped", std::string(50, 's')));
    writer.root.Add(Folder(L"mapped", {File(L"inside", "in mapped")}));
    writer.root.Add(Folder(L"locked", {File(L"never", "x")}));
    writer.root.Add(File(L"last", "last"));
    HookedUnpacker unpacker(folder / L"p.vlz");
    unpacker.skipName = L"skipped";
    unpacker.mapName = L"mapped";
    unpacker.mapTo = elsewhere.Path(); // an absolute name stands for the folder itself
    unpacker.failFolder = L"locked";
    unpacker.pathErrorAnswer = true;
    ASSERT_TRUE(Run(unpacker, writer));

    const VLTocNode& root = unpacker.GetRoot();
    EXPECT_EQ(L"", root.children[0]->outputPath);
    EXPECT_FALSE(Exists(L"skipped"));
    EXPECT_EQ(0u, progress.Count(L"entry skipped"));
    EXPECT_EQ(target + L"\\", root.children[1]->outputPath);
    EXPECT_EQ("in mapped", Out(L"inside"));
    EXPECT_FALSE(Exists(L"locked"));
    EXPECT_EQ(L"", root.children[2]->children[0]->outputPath);
    EXPECT_EQ("last", Out(L"last"));
    EXPECT_EQ(std::vector<std::wstring>({L"inside", elsewhere.Path(), L"locked", L"last"}), unpacker.after);
    // The skipped file and the file inside the skipped folder were never counted.
    EXPECT_EQ(unpacker.GetTotal(), unpacker.GetDone() + 50 + 1);
}

TEST_F(Extract, FailedFolderWithoutSkipStops)
{
    PackageWriter writer;
    writer.root.Add(Folder(L"locked", {File(L"never", "x")}));
    writer.root.Add(File(L"last", "last"));
    HookedUnpacker unpacker(folder / L"p.vlz");
    unpacker.failFolder = L"locked";
    EXPECT_FALSE(Run(unpacker, writer));
    EXPECT_FALSE(Exists(L"last"));
    // The failure names the folder and the reason.
    EXPECT_EQ(progress.events,
              (std::vector<RecordedEvent>{{kEventCreateFailed, target + L"\\locked", 0, ERROR_ACCESS_DENIED}}));
}

TEST_F(Extract, CancelBetweenEntriesEndsWithTrue)
{
    PackageWriter writer;
    writer.root.Add(File(L"first", "1"));
    writer.root.Add(File(L"second", "2"));
    {
        HookedUnpacker unpacker(folder / L"p.vlz");
        unpacker.cancelAfter = 1;
        EXPECT_TRUE(Run(unpacker, writer));
        EXPECT_EQ("1", Out(L"first"));
        EXPECT_FALSE(Exists(L"second"));
        EXPECT_EQ(1u, progress.Count(L"finish cancelled"));
        EXPECT_TRUE(progress.IsCancelled());
    }

    // The next run starts afresh.
    HookedUnpacker again(folder / L"p.vlz");
    DeleteTree(target);
    EXPECT_TRUE(Run(again, writer));
    EXPECT_EQ("2", Out(L"second"));
    EXPECT_FALSE(progress.IsCancelled());
}

// Pauses itself at the third progress report and tells the test.
struct PauseAtThird {
    RecordingProgress& progress;
    std::promise<void> paused;
    PauseAtThird(RecordingProgress& p) : progress(p)
    {
        progress.onProgress = [this](size_t count) {
            if (count == 3) {
                progress.SetPaused(true);
                paused.set_value();
            }
        };
    }
};

TEST_F(Extract, PauseHoldsProgressStillAndResumeFinishes)
{
    const std::string big = SampleBytes(6 << 20, 10);
    PackageWriter writer;
    writer.root.Add(File(L"big", big));
    ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
    VLUnpacker unpacker(folder / L"p.vlz");
    unpacker.SetProgress(&progress);
    ASSERT_TRUE(unpacker.Open());
    PauseAtThird pause(progress);
    auto done = std::async(std::launch::async, [&] { return unpacker.Install(target); });
    ASSERT_EQ(std::future_status::ready, pause.paused.get_future().wait_for(std::chrono::seconds(20)));
    Sleep(400);
    {
        std::lock_guard<std::mutex> lock(progress.mutex);
        EXPECT_EQ(3u, progress.progress.size());
    }
    EXPECT_EQ(std::future_status::timeout, done.wait_for(std::chrono::milliseconds(0)));
    progress.SetPaused(false);
    ASSERT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(20)));
    EXPECT_TRUE(done.get());
    EXPECT_TRUE(Out(L"big") == big);
}

TEST_F(Extract, CancelDuringAnEntryReleasesThePauseAndFails)
{
    struct Row { const char* what; uint32_t method; };
    // Bytes that do not compress, so that the packed data spans many reads.
    std::string big(6 << 20, '\0');
    uint32_t state = 11;
    for (char& c : big) c = char((state = state * 1103515245u + 12345u) >> 16);
    for (const Row& row : {Row{"stored", kMethodStored}, Row{"lzma", kMethodLzma}, Row{"solid", kMethodSolid}}) {
        PackageWriter writer;
        writer.root.Add(File(L"big", big, row.method));
        writer.root.Add(File(L"small", "s", row.method));
        ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
        DeleteTree(target);
        progress.log.clear();
        progress.progress.clear();
        VLUnpacker unpacker(folder / L"p.vlz");
        unpacker.SetProgress(&progress);
        ASSERT_TRUE(unpacker.Open());
        PauseAtThird pause(progress);
        auto done = std::async(std::launch::async, [&] { return unpacker.Install(target); });
        ASSERT_EQ(std::future_status::ready, pause.paused.get_future().wait_for(std::chrono::seconds(20)))
            << row.what;
        unpacker.Cancel(); // also lets the paused worker go
        ASSERT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(20))) << row.what;
        EXPECT_FALSE(done.get()) << row.what;
        EXPECT_EQ(1u, progress.Count(L"finish cancelled")) << row.what;
        EXPECT_EQ(0u, progress.Count(L"finish")) << row.what;
        EXPECT_LT(ReadFileBytes(target + L"\\big").size(), big.size()) << row.what;
        EXPECT_FALSE(Exists(L"small")) << row.what;
        progress.onProgress = nullptr;
        progress.SetPaused(false);
    }
}

} // namespace
} // namespace Velora::Test
