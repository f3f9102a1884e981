#include "download/ResumeState.h"

#include "tests/download/DownloadTestSupport.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

namespace Velora {
namespace {

using Test::ReadFileBytes;
using Test::TestFolder;
using Test::WriteFileBytes;

TEST(ResumeState, LayoutOffsets)
{
    EXPECT_EQ(2048u, offsetof(VLStoredBlock, mainPath));
    EXPECT_EQ(4096u, offsetof(VLStoredBlock, spareHost));
    EXPECT_EQ(6144u, offsetof(VLStoredBlock, sparePath));
    EXPECT_EQ(8192u, offsetof(VLStoredBlock, targetPath));
    EXPECT_EQ(8712u, offsetof(VLStoredBlock, dataPath));
    EXPECT_EQ(9232u, offsetof(VLStoredBlock, statePath));
    EXPECT_EQ(9752u, offsetof(VLStoredBlock, md5));
    EXPECT_EQ(9816u, offsetof(VLStoredBlock, mainPort));
    EXPECT_EQ(9818u, offsetof(VLStoredBlock, sparePort));
    EXPECT_EQ(9824u, offsetof(VLStoredBlock, totalSize));
    EXPECT_EQ(9832u, offsetof(VLStoredBlock, downloaded));
    EXPECT_EQ(9840u, offsetof(VLStoredBlock, rangeCount));
    EXPECT_EQ(9928u, RangeRecordOffset(2));
}

TEST(ResumeState, SplitRanges)
{
    struct Case {
        uint64_t total;
        uint64_t firstLength, secondStart, secondLength;
    } cases[] = {{3000001, 1500000, 1500000, 1500001}, {0, 0, 0, 0}, {1, 0, 0, 1}, {10, 5, 5, 5}};
    for (const auto& c : cases) {
        const auto ranges = SplitRanges(c.total, 2);
        ASSERT_EQ(2u, ranges.size());
        EXPECT_EQ(0u, ranges[0].start);
        EXPECT_EQ(c.firstLength, ranges[0].length);
        EXPECT_EQ(c.secondStart, ranges[1].start);
        EXPECT_EQ(c.secondLength, ranges[1].length);
        EXPECT_EQ(ranges[1].start, ranges[1].position);
        EXPECT_EQ(ranges[1].length, ranges[1].remaining);
    }
    EXPECT_EQ(1u, SplitRanges(7, 1).size());
}

// Each case damages a state file this program would write; none may load.
TEST(ResumeState, RejectsWhatWeNeverWrite)
{
    TestFolder folder;
    const std::wstring target = folder / L"pkg.exe";
    const std::wstring state = target + L".vll";
    typedef std::function<void(VLStoredBlock&, std::vector<VLRangeRecord>&)> Damage;
    const std::pair<const char*, Damage> cases[] = {
        {"intact", [](VLStoredBlock&, std::vector<VLRangeRecord>&) {}},
        {"count 0", [](VLStoredBlock& b, std::vector<VLRangeRecord>& r) { b.rangeCount = 0; r.clear(); }},
        {"count that wraps 32 bits", [](VLStoredBlock& b, std::vector<VLRangeRecord>&) { b.rangeCount = 107374183; }},
        {"gap between ranges", [](VLStoredBlock&, std::vector<VLRangeRecord>& r) { r[1].start += 1; r[1].position += 1; r[1].length -= 1; r[1].remaining -= 1; }},
        {"overlapping ranges", [](VLStoredBlock&, std::vector<VLRangeRecord>& r) { r[1].start -= 1; r[1].position -= 1; r[1].length += 1; r[1].remaining += 1; }},
        {"position beyond its range", [](VLStoredBlock&, std::vector<VLRangeRecord>& r) { r[0].position = r[0].start + r[0].length + 5; }},
        {"position disagrees with remaining", [](VLStoredBlock&, std::vector<VLRangeRecord>& r) { r[0].position += 1; }},
        {"remaining above length", [](VLStoredBlock&, std::vector<VLRangeRecord>& r) { r[0].remaining = r[0].length + 1; }},
        {"lengths miss the total", [](VLStoredBlock& b, std::vector<VLRangeRecord>&) { b.totalSize += 1; }},
        {"data path elsewhere", [](VLStoredBlock& b, std::vector<VLRangeRecord>&) { StoreText(b.dataPath, 260, L"C:\\windows\\x.vlt"); }},
        {"target without terminator", [](VLStoredBlock& b, std::vector<VLRangeRecord>&) { for (auto& c : b.targetPath) c = L'a'; }},
    };
    for (const auto& c : cases) {
        VLStoredBlock block = StateBlockFor(target, 1000);
        std::vector<VLRangeRecord> ranges = SplitRanges(1000, 2);
        ranges[0].position += 300;
        ranges[0].remaining -= 300;
        c.second(block, ranges);
        ASSERT_TRUE(WriteStateFile(state, block, ranges));
        VLStoredBlock read;
        std::vector<VLRangeRecord> records;
        const bool intact = std::string(c.first) == "intact";
        EXPECT_EQ(intact, ReadStateFile(state, read, records)) << c.first;
        if (intact) {
            EXPECT_EQ(300u, read.downloaded);
            EXPECT_EQ(2u, records.size());
        }
    }
}

TEST(ResumeState, FileOneByteLongOrShortIsRejected)
{
    TestFolder folder;
    const std::wstring target = folder / L"pkg.exe";
    const std::wstring state = target + L".vll";
    ASSERT_TRUE(WriteStateFile(state, StateBlockFor(target, 1000), SplitRanges(1000, 2)));
    std::string bytes = ReadFileBytes(state);
    ASSERT_EQ(9928u, bytes.size());
    VLStoredBlock read;
    std::vector<VLRangeRecord> records;
    ASSERT_TRUE(ReadStateFile(state, read, records));
    ASSERT_TRUE(WriteFileBytes(state, bytes + "x"));
    EXPECT_FALSE(ReadStateFile(state, read, records));
    ASSERT_TRUE(WriteFileBytes(state, bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(ReadStateFile(state, read, records));
    ASSERT_TRUE(WriteFileBytes(state, "x"));
    EXPECT_FALSE(ReadStateFile(state, read, records));
}

} // namespace
} // namespace Velora
