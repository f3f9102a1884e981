// Reading the header and table of contents: every malformed case gives its
// exact event, and the tree holds what the records say.
#include "base/File.h"
#include "install/Unpacker.h"
#include "tests/install/RecordingProgress.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace Velora::Test {
namespace {

constexpr uint32_t kNoEvent = 0;

struct OpenResult {
    bool opened;
    std::vector<RecordedEvent> events;
};

struct Toc : ::testing::Test {
    TestFolder folder;
    RecordingProgress progress;

    OpenResult Open(const std::string& bytes, std::unique_ptr<VLUnpacker>* keep = nullptr)
    {
        const std::wstring path = folder / L"p.vlz";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        auto unpacker = std::make_unique<VLUnpacker>(path);
        unpacker->SetProgress(&progress);
        progress.events.clear();
        const bool opened = unpacker->Open();
        if (keep) *keep = std::move(unpacker);
        return {opened, progress.events};
    }
    OpenResult Open(const PackageWriter& writer, std::unique_ptr<VLUnpacker>* keep = nullptr)
    {
        return Open(writer.Build(), keep);
    }
};

RecordedEvent Bad(uint32_t value)
{
    return {kEventBadPackage, L"", value, 0};
}

TEST_F(Toc, HeaderCasesGiveTheirEvents)
{
    struct Row {
        const char* what;
        std::function<void(PackageWriter&)> change;
        bool opens;
        uint32_t value; // of event 0x30000001; kNoEvent for none
    };
    const Row rows[] = {
        {"empty root, version 1", [](PackageWriter&) {}, true, kNoEvent},
        {"version 0", [](PackageWriter& w) { w.version = 0; }, true, kNoEvent},
        {"version 2", [](PackageWriter& w) { w.version = 2; }, false, 3},
        {"TOC length above the limit", [](PackageWriter& w) { w.tocLength = 0x3200001; }, false, 4},
        // At the limit the length is accepted; this package is then short.
        {"TOC length at the limit", [](PackageWriter& w) { w.tocLength = 0x3200000; }, false, 8},
        {"TOC longer than the file", [](PackageWriter& w) { w.tocLength = 200; }, false, 8},
        {"one spare byte", [](PackageWriter& w) { w.tocTrailer = std::string(1, '\0'); }, false, 8},
        {"TOC length one short", [](PackageWriter& w) { w.tocLength = 61; }, false, 8},
        {"wrong magic", [](PackageWriter& w) { w.magic = "VLX"; }, false, kNoEvent},
        {"header cut short", [](PackageWriter& w) { w.cutFromEnd = 62 + 3; }, false, kNoEvent},
    };
    for (const Row& row : rows) {
        PackageWriter writer;
        row.change(writer);
        std::unique_ptr<VLUnpacker> unpacker;
        const OpenResult result = Open(writer, &unpacker);
        EXPECT_EQ(row.opens, result.opened) << row.what;
        if (row.value == kNoEvent)
            EXPECT_TRUE(result.events.empty()) << row.what << ": " << ::testing::PrintToString(result.events);
        else
            EXPECT_EQ(std::vector<RecordedEvent>{Bad(row.value)}, result.events) << row.what;
        if (row.opens) {
            EXPECT_EQ(writer.version, unpacker->GetFormatVersion());
            EXPECT_EQ(0u, unpacker->GetTotal());
            EXPECT_EQ(kNodeFolder, unpacker->GetRoot().kind);
        }
    }
}

TEST_F(Toc, ZeroTocLengthIsAFailedRead)
{
    PackageWriter writer;
    writer.tocLength = 0;
    const OpenResult result = Open(writer);
    EXPECT_FALSE(result.opened);
    ASSERT_EQ(1u, result.events.size());
    EXPECT_EQ(kEventPackageFailed, result.events[0].code);
    EXPECT_EQ(L"", result.events[0].text);
}

TEST_F(Toc, MissingPackageReportsTheError)
{
    VLUnpacker unpacker(folder / L"missing.vlz");
    unpacker.SetProgress(&progress);
    EXPECT_FALSE(unpacker.Open());
    EXPECT_EQ(std::vector<RecordedEvent>({{kEventPackageFailed, L"", 0, ERROR_FILE_NOT_FOUND}}), progress.events);
    VLUnpacker noPath(L"");
    EXPECT_FALSE(noPath.Open());
}

TEST_F(Toc, OpensOnlyOnce)
{
    PackageWriter writer;
    writer.root.Add(File(L"a", "x"));
    std::unique_ptr<VLUnpacker> unpacker;
    ASSERT_TRUE(Open(writer, &unpacker).opened);
    EXPECT_FALSE(unpacker->Open());
    EXPECT_TRUE(progress.events.empty());
}

TEST_F(Toc, ReadsAHandedInFileAtItsPosition)
{
    PackageWriter writer;
    writer.root.Add(File(L"a", "x"));
    ASSERT_TRUE(WriteFileBytes(folder / L"p.vlz", writer.Build()));
    VLFile file;
    ASSERT_TRUE(file.Open(folder / L"p.vlz", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    VLUnpacker unpacker(&file);
    ASSERT_TRUE(unpacker.Open());
    EXPECT_EQ(L"a", unpacker.GetRoot().children.at(0)->name);
}

TEST_F(Toc, RecordsHoldTheirFieldsInOrder)
{
    PackageWriter writer;
    PackageEntry file = File(L"data.bin", "payload", kMethodStored);
    file.attributes = 0x21;
    file.creationTime = 0x0102030405060708ull;
    file.accessTime = 0x1112131415161718ull;
    file.writeTime = 0x2122232425262728ull;
    PackageEntry odd = File(L"abc", "zz");
    odd.oddNameLength = true; // a length of 7: three units and a skipped byte
    writer.root.Add(file);
    writer.root.Add(odd);
    writer.root.Add(Inline(L"vlmeta", std::string(4096, 'm')));
    std::unique_ptr<VLUnpacker> unpacker;
    ASSERT_TRUE(Open(writer, &unpacker).opened);
    const VLTocNode& root = unpacker->GetRoot();
    ASSERT_EQ(3u, root.children.size());
    const VLTocNode& a = *root.children[0];
    EXPECT_EQ(L"data.bin", a.name);
    EXPECT_EQ(0x21u, a.attributes);
    EXPECT_EQ(0x0102030405060708ull, a.creationTime);
    EXPECT_EQ(0x1112131415161718ull, a.accessTime);
    EXPECT_EQ(0x2122232425262728ull, a.writeTime);
    EXPECT_EQ(7u, a.unpackedSize);
    EXPECT_EQ(7u, a.packedSize);
    EXPECT_EQ(kNodeFile, a.kind);
    EXPECT_EQ(&root, a.parent);
    EXPECT_EQ(L"abc", root.children[1]->name);
    EXPECT_EQ(2u, root.children[1]->packedSize);
    EXPECT_EQ(a.dataOffset + 7, root.children[1]->dataOffset);
    const VLTocNode& meta = *root.children[2];
    EXPECT_EQ(kNodeInline, meta.kind);
    EXPECT_EQ(4096u, meta.data.size);
    EXPECT_EQ(std::string(4096, 'm'), std::string(reinterpret_cast<const char*>(meta.data.data), meta.data.size));
    EXPECT_EQ(0u, meta.packedSize);
    EXPECT_EQ(9u, unpacker->GetTotal());

    // A copy shares the children and owns its data.
    VLTocNode copy(root);
    EXPECT_EQ(root.children[0].get(), copy.children[0].get());
    VLTocNode metaCopy(meta);
    EXPECT_NE(meta.data.data, metaCopy.data.data);
    EXPECT_EQ(4096u, metaCopy.data.size);
}

TEST_F(Toc, ChildCountIsBigEndian24Bit)
{
    PackageWriter writer;
    PackageEntry& many = writer.root.Add(Folder(L"many"));
    for (int i = 0; i < 256; ++i) many.Add(Inline(L"i" + std::to_wstring(i), ""));
    std::unique_ptr<VLUnpacker> unpacker;
    ASSERT_TRUE(Open(writer, &unpacker).opened);
    EXPECT_EQ(256u, unpacker->GetRoot().children.at(0)->children.size());
}

TEST_F(Toc, MalformedRecordsFailWithValue8)
{
    struct Row {
        const char* what;
        std::function<void(PackageWriter&)> change;
    };
    const Row rows[] = {
        {"inline data of 4097 bytes", [](PackageWriter& w) { w.root.Add(Inline(L"x", std::string(4097, 'x'))); }},
        {"more children than records",
         [](PackageWriter& w) { w.root.Add(Folder(L"f", {File(L"a", "1")})).childCount = 2; }},
        {"a count that would reserve 16M children",
         [](PackageWriter& w) { w.root.Add(Folder(L"f")).childCount = 0xFFFFFF; }},
        {"memory entry above the cap",
         [](PackageWriter& w) { w.root.Add(Memory(L"m", "x")).unpackedSize = 0x100000001ull; }},
        {"memory entry packed above the cap",
         [](PackageWriter& w) { w.root.Add(Memory(L"m", "x", kMethodZlib)).packedSize = 0x7FFFFFFFull; }},
        {"nesting deeper than the cap",
         [](PackageWriter& w) {
             PackageEntry* at = &w.root;
             for (int i = 0; i < 200; ++i) at = &at->Add(Folder(L"d"));
         }},
    };
    for (const Row& row : rows) {
        PackageWriter writer;
        row.change(writer);
        const OpenResult result = Open(writer);
        EXPECT_FALSE(result.opened) << row.what;
        EXPECT_EQ(std::vector<RecordedEvent>{Bad(8)}, result.events) << row.what;
    }

    PackageWriter deepButFine;
    PackageEntry* at = &deepButFine.root;
    for (int i = 0; i < 100; ++i) at = &at->Add(Folder(L"d"));
    EXPECT_TRUE(Open(deepButFine).opened);
}

TEST_F(Toc, NamesThatWouldLeaveTheTargetAreRefused)
{
    const std::wstring names[] = {L"",          L".",       L"..",          L"..\\x",  L"C:\\x",
                                  L"\\\\srv\\x", L"a\\..\\..\\x", L"a/b", L"c:", L"a:stream",
                                  std::wstring(L"a\0b", 3), L"\\x", L"...", L". ."};
    for (const std::wstring& name : names) {
        for (uint32_t kind : {kNodeFolder, kNodeFile, kNodeMemory, kNodeInline}) {
            PackageWriter writer;
            PackageEntry& entry = writer.root.Add(Folder(L"ok"));
            PackageEntry bad = kind == kNodeFolder ? Folder(name) : File(name, "x");
            bad.kind = kind;
            entry.Add(bad);
            const OpenResult result = Open(writer);
            EXPECT_FALSE(result.opened) << "kind " << kind << " name " << std::string(name.begin(), name.end());
            EXPECT_EQ(std::vector<RecordedEvent>{Bad(8)}, result.events);
        }
    }
    // Dots and spaces inside a name are fine.
    PackageWriter writer;
    writer.root.Add(File(L"..a. b..", "x"));
    EXPECT_TRUE(Open(writer).opened);
}

} // namespace
} // namespace Velora::Test
