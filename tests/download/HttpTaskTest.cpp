#include "download/HttpTask.h"

#include "base/FileUtil.h"
#include "base/PlainFile.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace Velora {
namespace {

using Test::MakeHostLink;
using Test::ReadFileBytes;
using Test::RunningOnWine;
using Test::TreeListing;
using Test::TestFolder;
using Test::WriteFileBytes;

constexpr uint32_t kRuntime = 40020;
const char* const kQuery = "/query_url.php?soft=2.0.0.2996&id=40020";

// The address service answers on the service host's port 80; the package
// lies on a second server whose port the answer names.
class HttpTaskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.Start(80)) << "the service port is taken";
        ASSERT_TRUE(files.Start());
        UseFile(RandomBytes(3000001, 11));
        task = new VLHttpTask(kRuntime, folder.Path());
        task->listener.Set(&recorder);
    }
    // A set-up that failed made no task: a crash here would leave the run
    // hanging in Wine's debugger instead of reporting the failure.
    void TearDown() override
    {
        if (task) task->Destroy();
    }

    void UseFile(const std::string& bytes, int type = 1, const std::string& md5 = std::string())
    {
        source = bytes;
        files.SetFile("/f/pkg.exe", source);
        service.SetFile(kQuery, AnswerXml(files.Url("/f/pkg.exe"), "", md5.empty() ? Md5Of(source) : md5,
                                          source.size(), "pkg.exe", type));
    }

    uint32_t Run()
    {
        uint32_t result = 0xFFFFFFFF;
        EXPECT_TRUE(task->Start());
        EXPECT_TRUE(recorder.WaitFinished(result));
        return result;
    }

    VLTestHttpServer service;
    VLTestHttpServer files;
    TestFolder folder;
    std::string source;
    RecordingListener recorder;
    VLHttpTask* task = nullptr;
    std::wstring Target() const { return folder / L"pkg.exe"; }
};

TEST_F(HttpTaskTest, FreshDownloadInTwoRangesWithExactRequests)
{
    ASSERT_EQ(kDownloadOk, Run());
    EXPECT_EQ(kTaskFinished, task->GetState());
    EXPECT_EQ(source, ReadFileBytes(Target()));
    EXPECT_FALSE(FileExists(Target() + L".vll"));
    EXPECT_FALSE(FileExists(Target() + L".vlt"));
    EXPECT_EQ(1, service.CountRequests(kQuery));

    const std::string common = "GET /f/pkg.exe HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(files.Port()) +
                               "\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
                               "User-Agent:  Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; march1.0)\r\n"
                               "Referer: http://127.0.0.1\r\nConnection: Keep-Alive\r\n";
    const auto requests = files.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(common + "\r\n", requests[0].head);
    const std::set<std::string> ranges{requests[1].head, requests[2].head};
    EXPECT_EQ((std::set<std::string>{common + "Range: bytes=0-1499999\r\n\r\n",
                                     common + "Range: bytes=1500000-3000000\r\n\r\n"}),
              ranges);

    // Progress codes (5, 6, 10) aside, the messages come in this order; the
    // first two may swap as the worker runs before Start reports state 2.
    std::vector<RecordedMessage> main;
    for (const auto& m : recorder.Messages()) {
        if (m.code != kMsgDownloaded && m.code != kMsgSpeed && m.code != kMsgTimeLeft) main.push_back(m);
    }
    ASSERT_EQ(11u, main.size());
    std::set<std::pair<uint32_t, uint32_t>> opening{{main[0].code, main[0].value1}, {main[1].code, main[1].value1}};
    EXPECT_EQ((std::set<std::pair<uint32_t, uint32_t>>{{kMsgState, kTaskRunning}, {kMsgPhase, 0}}), opening);
    const std::wstring target = Target();
    struct Expected {
        uint32_t code;
        uint32_t value1;
        std::wstring text;
    } expected[] = {
        {kMsgTotalSize, 0, L""}, {kMsgFinalPath, 0, target}, {kMsgDataPath, 0, target + L".vlt"},
        {kMsgStatePath, 0, target + L".vll"}, {kMsgPhase, 1, L""}, {kMsgTotalSize, 3000001, L""},
        {kMsgPhase, 3, L""}, {kMsgState, kTaskFinished, L""}, {kMsgFinished, kDownloadOk, L""},
    };
    for (size_t i = 0; i < 9; ++i) {
        const auto& m = main[i + 2];
        EXPECT_EQ(expected[i].code, m.code) << i;
        EXPECT_EQ(expected[i].value1, m.value1) << i;
        EXPECT_EQ(expected[i].text, m.text) << i;
    }
    EXPECT_EQ(0u, main[3].value2); // the target path is only announced
    // The counters start from zero and end at the total.
    const auto all = recorder.Messages();
    const auto firstDownloaded = std::find_if(all.begin(), all.end(),
                                              [](const RecordedMessage& m) { return m.code == kMsgDownloaded; });
    ASSERT_NE(all.end(), firstDownloaded);
    EXPECT_EQ(0u, firstDownloaded->value1);
    EXPECT_EQ(source.size(), recorder.LastDownloaded());
}

template <typename T> T At(const std::string& bytes, size_t offset)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

std::wstring TextAt(const std::string& bytes, size_t offset, size_t chars)
{
    std::wstring text(chars, L'\0');
    std::memcpy(&text[0], bytes.data() + offset, chars * 2);
    return text.substr(0, text.find(L'\0'));
}

TEST_F(HttpTaskTest, InterruptedRunLeavesResumeFilesAndTheNextRunContinues)
{
    const uint64_t size = 8 * 1048576;
    const uint64_t cut = 1572864; // 1.5 MiB per range
    UseFile(RandomBytes(size_t(size), 12));
    VLServerFaults faults;
    faults.cutAfter = cut;
    faults.holdOnCut = true;
    files.SetFaults(faults);
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < 3000 && recorder.LastDownloaded() < 2 * cut; ++i) Sleep(10);
    ASSERT_EQ(2 * cut, recorder.LastDownloaded());
    task->Stop();
    uint32_t result = 0;
    ASSERT_TRUE(recorder.WaitFinished(result));
    EXPECT_EQ(kErrStopped, result);
    EXPECT_EQ(kTaskStopped, task->GetState());
    EXPECT_EQ(0u, task->GetRetryCount());
    EXPECT_FALSE(FileExists(Target()));

    const std::string state = ReadFileBytes(Target() + L".vll");
    ASSERT_EQ(9928u, state.size());
    EXPECT_EQ(L"127.0.0.1", TextAt(state, 0, 1024));
    EXPECT_EQ(L"/f/pkg.exe", TextAt(state, 2048, 1024));
    EXPECT_EQ(L"", TextAt(state, 4096, 1024));
    EXPECT_EQ(L"", TextAt(state, 6144, 1024));
    EXPECT_EQ(Target(), TextAt(state, 8192, 260));
    EXPECT_EQ(Target() + L".vlt", TextAt(state, 8712, 260));
    EXPECT_EQ(Target() + L".vll", TextAt(state, 9232, 260));
    EXPECT_EQ(ToWide(Md5Of(source).c_str()), TextAt(state, 9752, 32));
    EXPECT_EQ(files.Port(), At<uint16_t>(state, 9816));
    EXPECT_EQ(80, At<uint16_t>(state, 9818));
    EXPECT_EQ(0u, At<uint32_t>(state, 9820));
    EXPECT_EQ(size, At<uint64_t>(state, 9824));
    EXPECT_EQ(2u, At<uint32_t>(state, 9840));
    EXPECT_EQ(0u, At<uint32_t>(state, 9844));
    for (uint32_t i = 0; i < 2; ++i) {
        const size_t record = 9848 + 40 * i;
        EXPECT_EQ(size / 2 * i, At<uint64_t>(state, record));
        EXPECT_EQ(size / 2, At<uint64_t>(state, record + 8));
        EXPECT_EQ(size / 2 * i + cut, At<uint64_t>(state, record + 16));
        EXPECT_EQ(size / 2 - cut, At<uint64_t>(state, record + 24));
        EXPECT_EQ(0u, At<uint32_t>(state, record + 36));
    }

    files.SetFaults(VLServerFaults());
    const size_t before = files.Requests().size();
    RecordingListener second;
    task->listener.Set(&second);
    ASSERT_TRUE(task->Start());
    ASSERT_TRUE(second.WaitFinished(result));
    ASSERT_EQ(kDownloadOk, result);
    EXPECT_EQ(source, ReadFileBytes(Target()));
    std::set<std::string> asked;
    const auto requests = files.Requests();
    for (size_t i = before; i < requests.size(); ++i) {
        if (requests[i].hasRange) asked.insert(std::to_string(requests[i].first) + "-" + std::to_string(requests[i].last));
    }
    EXPECT_EQ((std::set<std::string>{"1572864-4194303", "5767168-8388607"}), asked);
}

TEST_F(HttpTaskTest, ExistingGoodTargetFinishesWithoutTransfer)
{
    ASSERT_TRUE(WriteFileBytes(Target(), source));
    ASSERT_EQ(kDownloadOk, Run());
    EXPECT_TRUE(files.Requests().empty());
    const auto messages = recorder.Messages();
    const auto final = std::find_if(messages.begin(), messages.end(),
                                    [](const RecordedMessage& m) { return m.code == kMsgFinalPath; });
    ASSERT_NE(messages.end(), final);
    EXPECT_EQ(Target(), final->text);
    EXPECT_EQ(1u, final->value2);
}

TEST_F(HttpTaskTest, FileFailingItsCheckIsDeleted)
{
    const std::string real = Md5Of(source);
    const std::string cases[] = {
        std::string(32, '0'),      // another digest
        real.substr(0, 1),         // a prefix proves nothing
        real + "00",               // too long
        "ZZ" + real.substr(2),     // not hexadecimal
    };
    for (const auto& md5 : cases) {
        SCOPED_TRACE(md5);
        UseFile(source, 1, md5);
        RecordingListener fresh;
        task->listener.Set(&fresh);
        uint32_t result = 0;
        ASSERT_TRUE(task->Start());
        ASSERT_TRUE(fresh.WaitFinished(result));
        EXPECT_EQ(kErrCheckFailed, result);
        EXPECT_EQ(kTaskFailed, task->GetState());
        EXPECT_FALSE(FileExists(Target()));
        task->SetRetryCount(0);
    }
}

TEST_F(HttpTaskTest, WrongMd5TargetIsReplacedByAFreshDownload)
{
    std::string damaged = source;
    damaged[100] ^= 1;
    ASSERT_TRUE(WriteFileBytes(Target(), damaged));
    ASSERT_EQ(kDownloadOk, Run());
    EXPECT_EQ(source, ReadFileBytes(Target()));
    EXPECT_EQ(2, files.CountRangeRequests("/f/pkg.exe"));
}

TEST_F(HttpTaskTest, BitTorrentAnswerAsksForAKindSwitch)
{
    UseFile(source, 2);
    ASSERT_EQ(kErrKindSwitch, Run());
    const auto messages = recorder.Messages();
    const auto ask = std::find_if(messages.begin(), messages.end(),
                                  [](const RecordedMessage& m) { return m.code == kMsgSwitchKind; });
    ASSERT_NE(messages.end(), ask);
    EXPECT_EQ(2u, ask->value1);
    EXPECT_EQ(0u, ask->value2);
    EXPECT_TRUE(files.Requests().empty());
    EXPECT_FALSE(FileExists(Target()));
    EXPECT_FALSE(FileExists(Target() + L".vll"));
}

TEST_F(HttpTaskTest, AnswersThatEndTheRun)
{
    struct Case {
        const char* name;
        std::string answer;
        uint32_t result;
        uint32_t retries;
    } cases[] = {
        {"file name leaving the folder", AnswerXml(files.Url("/f/pkg.exe"), "", Md5Of(source), source.size(), "..\\pkg.exe"), kErrNoAddress, 1},
        {"absolute file name", AnswerXml(files.Url("/f/pkg.exe"), "", Md5Of(source), source.size(), "C:\\pkg.exe"), kErrNoAddress, 1},
        {"the folder itself", AnswerXml(files.Url("/f/pkg.exe"), "", Md5Of(source), source.size(), "."), kErrNoAddress, 1},
        {"version refused", "<FILE><DownloadUrl>http://x/</DownloadUrl><InvalidVersion>1</InvalidVersion></FILE>", kErrInvalidVersion, 0},
        {"no answer", "", kErrNoAddress, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VLServerFaults faults;
        if (c.answer.empty()) faults.notFoundPrefix = "/query_url.php";
        else service.SetFile(kQuery, c.answer);
        service.SetFaults(faults);
        RecordingListener fresh;
        task->listener.Set(&fresh);
        task->SetRetryCount(0);
        uint32_t result = 0;
        ASSERT_TRUE(task->Start());
        ASSERT_TRUE(fresh.WaitFinished(result));
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.retries, task->GetRetryCount());
        EXPECT_TRUE(files.Requests().empty());
    }
    EXPECT_FALSE(FileExists(folder.Path() + L"\\..\\pkg.exe"));
    for (const wchar_t* left : {L"\\..vlt", L"\\..vll"}) EXPECT_FALSE(FileExists(folder.Path() + left)) << left;
}

TEST_F(HttpTaskTest, StopDuringTheRetryDelayEndsAtOnce)
{
    task->SetRetryCount(2); // 30 rounds of 333 ms
    ASSERT_TRUE(task->Start());
    Sleep(300);
    task->Stop();
    uint32_t result = 0;
    ASSERT_TRUE(recorder.WaitFinished(result, 5000));
    EXPECT_EQ(kErrStopped, result);
    EXPECT_EQ(0, service.CountRequests(kQuery));
}

TEST_F(HttpTaskTest, StopWhileTheNewRunWaitsForTheOldOneHolds)
{
    // The second run waits for the first worker to wind down; a Stop in
    // that time must not be forgotten when the run begins.
    task->SetRetryCount(100); // far longer than the test waits
    ASSERT_TRUE(task->Start());
    Sleep(100);
    task->Stop();
    ASSERT_TRUE(task->Start());
    task->Stop();
    std::vector<RecordedMessage> finished;
    for (int i = 0; i < 500 && finished.size() < 2; ++i) {
        Sleep(10);
        finished.clear();
        for (const auto& m : recorder.Messages())
            if (m.code == kMsgFinished) finished.push_back(m);
    }
    ASSERT_EQ(2u, finished.size());
    EXPECT_EQ(kErrStopped, finished[0].value1);
    EXPECT_EQ(kErrStopped, finished[1].value1);
    EXPECT_EQ(0, service.CountRequests(kQuery));
}

TEST_F(HttpTaskTest, StopWhileAServerStallsEndsTheTaskWithin2s)
{
    const char* const steps[] = {"address query", "size probe", "range"};
    for (int step = 0; step < 3; ++step) {
        for (const auto& c : StallingFaults(step == 2)) {
            service.SetFaults(step == 0 ? c.second : VLServerFaults());
            files.SetFaults(step == 0 ? VLServerFaults() : c.second);
            RecordingListener listener;
            TestFolder taskFolder;
            VLHttpTask* stalled = new VLHttpTask(kRuntime, taskFolder.Path());
            stalled->listener.Set(&listener);
            ASSERT_TRUE(stalled->Start());
            Sleep(1000);
            const DWORD stopped = GetTickCount();
            stalled->Stop();
            uint32_t result = 0;
            EXPECT_TRUE(listener.WaitFinished(result, 10000)) << steps[step] << ", " << c.first;
            EXPECT_LT(GetTickCount() - stopped, 2000u) << steps[step] << ", " << c.first;
            EXPECT_EQ(kErrStopped, result) << steps[step] << ", " << c.first;
            stalled->Destroy();
        }
    }
}

TEST_F(HttpTaskTest, StalledServiceFailsTheRunWithNoAddress)
{
    ShortWaitLimits limits;
    VLServerFaults faults;
    faults.stall = true;
    service.SetFaults(faults);
    const DWORD started = GetTickCount();
    EXPECT_EQ(kErrNoAddress, Run());
    EXPECT_LT(GetTickCount() - started, ShortWaitLimits::kHeadMs + 2000u);
    EXPECT_EQ(kTaskFailed, task->GetState());
    EXPECT_EQ(1u, task->GetRetryCount());
}

TEST_F(HttpTaskTest, StopOfAQueuedTask)
{
    task->SetState(kTaskQueued);
    task->Stop();
    const auto messages = recorder.Messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(kMsgState, messages[1].code);
    EXPECT_EQ(uint32_t(kTaskStopped), messages[1].value1);
    EXPECT_EQ(kMsgFinished, messages[2].code);
    EXPECT_EQ(kErrStopped, messages[2].value1);
}

TEST_F(HttpTaskTest, ForgedStateFileIsNotTrusted)
{
    // A state file beside our target that describes another file: resuming
    // from it would move data over that file.
    TestFolder other;
    const std::wstring victim = other / L"victim.exe";
    ASSERT_TRUE(WriteFileBytes(victim, "precious"));
    VLStoredBlock block = StateBlockFor(victim, source.size());
    std::memcpy(block.md5, ToWide(Md5Of(source).c_str()).data(), 64);
    block.mainPort = files.Port();
    ASSERT_TRUE(WriteStateFile(Target() + L".vll", block, SplitRanges(source.size(), 2)));
    ASSERT_TRUE(WriteFileBytes(victim + L".vlt", std::string(source.size(), 'x')));

    ASSERT_EQ(kDownloadOk, Run());
    EXPECT_EQ(source, ReadFileBytes(Target()));
    EXPECT_EQ("precious", ReadFileBytes(victim));
}

TEST_F(HttpTaskTest, DestroyingARunningTaskReturnsAndKeepsResumeFiles)
{
    VLServerFaults faults;
    faults.cutAfter = 500000;
    faults.holdOnCut = true;
    files.SetFaults(faults);
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < 3000 && recorder.LastDownloaded() < 1000000; ++i) Sleep(10);
    ASSERT_EQ(1000000u, recorder.LastDownloaded());
    task->listener.Set(nullptr);
    task->Destroy();
    task = new VLHttpTask(kRuntime, folder.Path());
    EXPECT_TRUE(FileExists(Target() + L".vll"));
    EXPECT_TRUE(FileExists(Target() + L".vlt"));
}

// A link in the task's folder (a hard link too): nothing outside changes, and
// the download goes on with a file of its own or fails saying why.
TEST_F(HttpTaskTest, LinksInTheFolderLeadNothingOutside)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its links with the Unix host's ln";
    // link: in the folder, to the victim outside; none: the folder is one.
    struct Case { const wchar_t* link; uint32_t result; bool hard; };
    for (const Case& c : {Case{L"pkg.exe.vlt", kErrLinkInPath, false}, Case{L"pkg.exe.vll", kErrLinkInPath, false},
                          Case{L"pkg.exe", kDownloadOk, false}, Case{nullptr, kErrLinkInPath, false},
                          Case{L"pkg.exe.vlt", ERROR_TOO_MANY_LINKS, true}}) {
        SCOPED_TRACE(c.link ? Narrow(c.link) + (c.hard ? " (hard)" : "") : "the folder");
        TestFolder top;
        const std::wstring work = top / L"work", outside = top / L"outside", victim = outside + L"\\victim";
        ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr) && CreateDirectoryW(outside.c_str(), nullptr) &&
                    WriteFileBytes(victim, "precious"));
        ASSERT_TRUE(!c.link ? MakeHostLink(top / L"link", outside)
                    : c.hard ? CreateHardLinkW((work + L"\\" + c.link).c_str(), victim.c_str(), nullptr)
                             : MakeHostLink(work + L"\\" + c.link, victim));
        const std::string before = TreeListing(outside);
        RecordingListener listener;
        VLHttpTask* own = new VLHttpTask(kRuntime, c.link ? work : top / L"link");
        own->listener.Set(&listener);
        uint32_t result = 0;
        EXPECT_TRUE(own->Start() && listener.WaitFinished(result));
        own->Destroy();
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(before, TreeListing(outside));
        EXPECT_TRUE(result != kDownloadOk || source == ReadFileBytes(work + L"\\pkg.exe"));
    }
}

} // namespace
} // namespace Velora
