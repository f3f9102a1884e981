#include "download/RangeDownloader.h"

#include "base/FileUtil.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <thread>

namespace Velora {
namespace {

using Test::ReadFileBytes;
using Test::TestFolder;
using Test::WriteFileBytes;

class RangeDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        source = RandomBytes(3000001, 7);
        server.SetFile("/f/pkg.exe", source);
        server.SetFile("/s/pkg.exe", source);
        info.DownloadUrl = ToWide(server.Url("/f/pkg.exe").c_str());
        info.FileSize = std::to_wstring(source.size());
        info.Md5 = ToWide(Md5Of(source).c_str());
        target = folder / L"pkg.exe";
    }

    // Every byte of the data file is either untouched or the source's byte
    // at that offset: nothing was spliced in from a wrong answer.
    void ExpectNoWrongBytes()
    {
        const std::string data = ReadFileBytes(target + L".vlt");
        ASSERT_EQ(source.size(), data.size());
        size_t wrong = 0;
        for (size_t i = 0; i < data.size(); ++i) wrong += data[i] != 0 && data[i] != source[i];
        EXPECT_EQ(0u, wrong);
    }

    VLTestHttpServer server;
    TestFolder folder;
    std::string source;
    DownloadFileInfo info;
    std::wstring target;
    TestDownloadCallback callback;
    VLRangeDownloader downloader;
};

TEST_F(RangeDownloaderTest, TwoRangesByteExact)
{
    ASSERT_EQ(kDownloadOk, downloader.StartNew(&callback, info, target));
    EXPECT_EQ(source, ReadFileBytes(target));
    EXPECT_FALSE(FileExists(target + L".vlt"));
    EXPECT_FALSE(FileExists(target + L".vll"));
    EXPECT_EQ(source.size(), callback.total);
    EXPECT_EQ(source.size(), callback.received);
    EXPECT_EQ(target + L".vll", callback.statePath);
    EXPECT_EQ((std::vector<uint32_t>{1, 3}), callback.phases);
    EXPECT_EQ(1, server.CountRequests("/f/pkg.exe") - server.CountRangeRequests("/f/pkg.exe"));
    EXPECT_EQ(2, server.CountRangeRequests("/f/pkg.exe"));
}

struct FaultCase {
    const char* name;
    VLServerFaults faults;
    bool completes;
};

TEST_F(RangeDownloaderTest, MisbehavingServerNeverSplicesWrongBytes)
{
    std::vector<FaultCase> cases(5);
    cases[0].name = "header block in one-byte sends";
    cases[0].faults.headByteMs = 1;
    cases[0].completes = true;
    cases[1].name = "junk after each range";
    cases[1].faults.trailingBytes = 100;
    cases[1].completes = true;
    cases[2].name = "first answer of each range cut";
    cases[2].faults.cutAfter = 300000;
    cases[2].faults.cutLimit = 2;
    cases[2].completes = true;
    cases[3].name = "whole file to a range request";
    cases[3].faults.wholeBodyForRange = true;
    cases[3].completes = false;
    cases[4].name = "wrong Content-Length";
    cases[4].faults.lengthDelta = 5;
    cases[4].completes = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetFaults(c.faults);
        TestDownloadCallback fresh;
        VLRangeDownloader one;
        const uint32_t result = one.StartNew(&fresh, info, target);
        if (c.completes) {
            EXPECT_EQ(kDownloadOk, result);
            EXPECT_EQ(source, ReadFileBytes(target));
        } else {
            // A wrong Content-Length also breaks the probe; either way no
            // target and no wrong byte.
            EXPECT_TRUE(result == kErrProbe || result == kErrCheckFailed) << std::hex << result;
            EXPECT_FALSE(FileExists(target));
            if (FileExists(target + L".vlt")) ExpectNoWrongBytes();
        }
        DeleteFileNormal(target);
        DeleteFileNormal(target + L".vlt");
        DeleteFileNormal(target + L".vll");
    }
}

TEST_F(RangeDownloaderTest, MainAddressMissingSwitchesToSpare)
{
    VLServerFaults faults;
    faults.notFoundPrefix = "/f/";
    server.SetFaults(faults);
    info.SpareUrl = ToWide(server.Url("/s/pkg.exe").c_str());
    ASSERT_EQ(kDownloadOk, downloader.StartNew(&callback, info, target));
    EXPECT_EQ(source, ReadFileBytes(target));
    EXPECT_EQ(2, server.CountRangeRequests("/s/pkg.exe"));
    EXPECT_EQ(0, server.CountRangeRequests("/f/pkg.exe"));
}

TEST_F(RangeDownloaderTest, ProbedSizeDifferentFromAnswerFails)
{
    info.FileSize = L"3000000";
    EXPECT_EQ(kErrCheckFailed, downloader.StartNew(&callback, info, target));
    EXPECT_EQ(0, server.CountRangeRequests("/f/pkg.exe"));
}

TEST_F(RangeDownloaderTest, UnsplittableAddressAndOverlongTarget)
{
    info.DownloadUrl = L"http://no-path";
    EXPECT_EQ(kErrBadUrl, downloader.StartNew(&callback, info, target));
    info.DownloadUrl = ToWide(server.Url("/f/pkg.exe").c_str());
    EXPECT_EQ(kErrBadUrl, downloader.StartNew(&callback, info, folder / std::wstring(255, L'a')));
}

TEST_F(RangeDownloaderTest, OneByteStateFileIsDeleted)
{
    const std::wstring state = target + L".vll";
    ASSERT_TRUE(WriteFileBytes(state, "x"));
    EXPECT_EQ(kErrBadStateFile, downloader.Resume(&callback, state, info));
    EXPECT_FALSE(FileExists(state));
}

TEST_F(RangeDownloaderTest, ResumeOfAChangedFileStartsOverAfterFourProbes)
{
    // A state file for a smaller earlier version of the file.
    {
        VLRangeDownloader first;
        server.SetFile("/f/pkg.exe", source.substr(0, 1000));
        VLServerFaults faults;
        faults.cutAfter = 100;
        faults.holdOnCut = true;
        server.SetFaults(faults);
        TestDownloadCallback stopper;
        info.FileSize = L"1000";
        std::thread cancel([&] {
            for (int i = 0; i < 500 && stopper.received < 200; ++i) Sleep(10);
            stopper.Cancel();
        });
        EXPECT_EQ(kErrStopped, first.StartNew(&stopper, info, target));
        cancel.join();
    }
    ASSERT_TRUE(FileExists(target + L".vll"));
    server.SetFaults(VLServerFaults());
    server.SetFile("/f/pkg.exe", source);
    info.FileSize = L"";
    const int probesBefore = server.CountRequests("/f/pkg.exe") - server.CountRangeRequests("/f/pkg.exe");
    ASSERT_EQ(kDownloadOk, downloader.Resume(&callback, target + L".vll", info));
    EXPECT_EQ(source, ReadFileBytes(target));
    const int probes = server.CountRequests("/f/pkg.exe") - server.CountRangeRequests("/f/pkg.exe");
    EXPECT_EQ(5, probes - probesBefore);
}

TEST_F(RangeDownloaderTest, CancelDuringAStalledProbe)
{
    VLServerFaults faults;
    faults.stall = true;
    server.SetFaults(faults);
    std::thread cancel([&] {
        Sleep(500);
        callback.Cancel();
    });
    const DWORD started = GetTickCount();
    EXPECT_EQ(kErrStopped, downloader.StartNew(&callback, info, target));
    const DWORD took = GetTickCount() - started;
    cancel.join();
    // Far below the sockets' two-minute time-out: the probe was broken off.
    EXPECT_LT(took, 30000u);
    EXPECT_FALSE(FileExists(target + L".vlt"));
}

struct StalledRun {
    const char* name;
    VLServerFaults faults;
    bool redirect = false;
    uint32_t result = 0;
    DWORD took = 0;
};

// A fresh download from a server of its own that misbehaves as told.
void RunStalled(StalledRun& run)
{
    VLTestHttpServer server;
    if (!server.Start()) return;
    server.SetFile("/f/pkg.exe", RandomBytes(100000, 3));
    if (run.redirect) server.SetRedirect("/f/pkg.exe", "/f/pkg.exe");
    server.SetFaults(run.faults);
    TestFolder folder;
    TestDownloadCallback callback;
    VLRangeDownloader downloader;
    DownloadFileInfo info;
    info.DownloadUrl = ToWide(server.Url("/f/pkg.exe").c_str());
    const DWORD started = GetTickCount();
    run.result = downloader.StartNew(&callback, info, folder / L"pkg.exe");
    run.took = GetTickCount() - started;
}

TEST(RangeDownloaderStalls, StalledProbeOrRangeFailsAfterTheRetriesWithinTheBounds)
{
    ShortWaitLimits limits;
    std::vector<StalledRun> runs;
    for (bool rangesOnly : {false, true}) {
        for (const auto& c : StallingFaults(rangesOnly)) runs.push_back({c.first, c.second});
    }
    runs.push_back({"redirect to itself", VLServerFaults(), true});
    // The cases wait out their bounds side by side.
    std::vector<std::thread> threads;
    for (auto& run : runs) threads.emplace_back(RunStalled, std::ref(run));
    for (auto& thread : threads) thread.join();
    // Four probes, or five attempts of a range, each within the head limit,
    // and the pauses between them.
    const DWORD bound = 5 * ShortWaitLimits::kHeadMs + 3 * 2100 + 5000;
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(kErrProbe, runs[i].result) << runs[i].name << (i >= 3 && i < 6 ? " (ranges)" : "");
        EXPECT_LT(runs[i].took, bound) << runs[i].name;
    }
}

TEST_F(RangeDownloaderTest, SpeedLimitHoldsEveryFiveSecondWindow)
{
    const std::string small = RandomBytes(700000, 9);
    server.SetFile("/f/small.bin", small);
    info.DownloadUrl = ToWide(server.Url("/f/small.bin").c_str());
    info.FileSize = std::to_wstring(small.size());
    callback.limit = 100;
    ASSERT_EQ(kDownloadOk, downloader.StartNew(&callback, info, target));
    EXPECT_EQ(small, ReadFileBytes(target));
    // A slower run only lowers these figures: the limit is an upper bound.
    const uint64_t bound = uint64_t(100 * 1024 * 5 * 1.2);
    const auto& samples = callback.samples;
    for (size_t i = 0; i < samples.size(); ++i) {
        uint64_t bytes = 0;
        for (size_t j = i; j < samples.size() && samples[j].tick - samples[i].tick <= 5000; ++j) {
            bytes = samples[j].bytes - (i ? samples[i - 1].bytes : 0);
        }
        ASSERT_LE(bytes, bound) << "window starting at sample " << i;
    }
}

} // namespace
} // namespace Velora
