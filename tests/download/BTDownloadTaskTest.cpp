// The BitTorrent download task against a local address service, torrent
// server and web seed: answers it refuses, a stop and a resume from its
// record, and the pure pieces of its progress reports.
#include "download/BTDownloadTask.h"

#include "tests/download/BTDownloadTestSupport.h"
#include "tests/support/TorrentSeeder.h"

#include "base/FileUtil.h"
#include "download/BTText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace Velora {
namespace {

using namespace Velora::Test;

TEST(BTTaskReports, PhaseOfEveryTorrentState)
{
    const uint32_t expected[] = {3, 4, 8, 8, 6, 7, 2, 5, 5};
    for (int state = 0; state < 9; ++state) EXPECT_EQ(expected[state], uint32_t(PhaseOfTorrentState(state))) << state;
}

TEST(BTTaskReports, TimeLeftBlendsAverageAndCurrentRate)
{
    struct Case {
        uint64_t wanted, done;
        double average;
        uint32_t speed;
        uint32_t expected;
    };
    const Case cases[] = {
        {1000000, 0, 1000.0, 1000, 1000},           // (4000 + 6000) / 10 = 1000 B/s
        {1000000, 0, 0.0, 1000, 1666},              // 600 B/s
        {1000000, 0, 2500.0, 0, 1000},              // the average alone
        {1000000, 0, 2.0, 1, 1000000},              // 1.4 B/s truncates to 1
        {1000000, 0, 0.0, 0, kTimeLeftUnknown},
        {1000, 0, 0.0, 0x2AAAAAAB, kTimeLeftUnknown}, // six times the rate wraps at 32 bits to 2
        {500, 1000, 100.0, 100, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, EstimateSecondsLeft(c.wanted, c.done, c.average, c.speed)) << c.wanted << " " << c.speed;
}

TEST(BTTaskReports, FatDrivesRefuseFilesOf4GiB)
{
    struct Case {
        const wchar_t* fileSystem;
        bool valid;
        uint64_t size;
        bool refused;
    };
    const Case cases[] = {
        {L"FAT32", true, 0x100000000ull, true}, {L"FAT32", true, 0xFFFFFFFFull, false},
        {L"fat", true, 0x100000000ull, true},   {L"NTFS", true, 0x100000000ull, false},
        {L"FAT32", false, 0x100000000ull, false},
    };
    for (const Case& c : cases) {
        DriveInfo drive;
        drive.fileSystem = c.fileSystem;
        drive.volumeInfoValid = c.valid;
        EXPECT_EQ(c.refused, DriveRefusesSize(drive, c.size)) << ToMultiByte(c.fileSystem) << " " << c.size;
    }
}

class BTTaskTest : public BTDownloadTest {
protected:
    void TearDown() override
    {
        if (task) task->Destroy();
        BTDownloadTest::TearDown();
    }
    VLBTTask* NewTask(VLBTTask* made = nullptr)
    {
        if (task) task->Destroy();
        recorder = std::make_unique<RecordingListener>();
        task = made ? made : new VLBTTask(kRuntime, folder.Path());
        task->listener.Set(recorder.get());
        return task;
    }
    uint32_t Run()
    {
        uint32_t result = 0xFFFFFFFF;
        EXPECT_TRUE(NewTask()->Start());
        EXPECT_TRUE(recorder->WaitFinished(result, kWaitSeconds * 1000));
        return result;
    }
    // A finished download whose seed is gone at a restart: only its record,
    // torrent copy and data stay.
    void LeaveOnlyTheRecord()
    {
        ASSERT_EQ(kDownloadOk, Run());
        // The completion lists the seed, then saves the list, on its own
        // thread.
        const std::wstring list = folder / L"seeds.xml";
        for (int i = 0; i < kWaitSeconds * 10 && !(Manager().IsSeeding(kRuntime) && FileExists(list)); ++i)
            Sleep(100);
        Manager().Shutdown();
        ASSERT_TRUE(DeleteFileW(list.c_str()));
        ASSERT_TRUE(Manager().Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    }
    // Starts the new task over a slow web seed; returns once bytes arrived.
    void StartOverASlowSeed()
    {
        VLServerFaults slow;
        slow.throttle = 256 * 1024;
        files.SetFaults(slow);
        ASSERT_TRUE(task->Start());
        for (int i = 0; i < kWaitSeconds * 10 && recorder->LastDownloaded() == 0; ++i) Sleep(100);
        ASSERT_GT(recorder->LastDownloaded(), 0u);
    }
    // Stops the new task once bytes arrived; it ends aborted.
    void StopMidway()
    {
        ASSERT_NO_FATAL_FAILURE(StartOverASlowSeed());
        task->Stop();
        uint32_t result = 0;
        ASSERT_TRUE(recorder->WaitFinished(result, kWaitSeconds * 1000));
        EXPECT_EQ(kErrAborted, result);
    }
    // The results of the runs, once count of them have ended or the wait gave up.
    std::vector<uint32_t> Results(size_t count = 0)
    {
        std::vector<uint32_t> results;
        for (int i = 0; i < kWaitSeconds * 10; ++i, Sleep(100)) {
            results.clear();
            for (const auto& m : recorder->Messages())
                if (m.code == kMsgFinished) results.push_back(m.value1);
            if (results.size() >= count) break;
        }
        return results;
    }
    bool Saw(uint32_t code, uint32_t value1)
    {
        for (const auto& m : recorder->Messages())
            if (m.code == code && m.value1 == value1) return true;
        return false;
    }

    std::unique_ptr<RecordingListener> recorder;
    VLBTTask* task = nullptr;
};

TEST_F(BTTaskTest, RefusedAnswersEndWithTheirCodes)
{
    struct Case {
        const char* what;
        void (*change)(TorrentAnswer&, VLTestHttpServer&);
        uint32_t result;
        uint32_t retries;
    };
    const Case cases[] = {
        {"no Md5", [](TorrentAnswer& a, VLTestHttpServer&) { a.md5.clear(); }, kErrIncompleteAnswer, 1},
        {"torrent not found", [](TorrentAnswer& a, VLTestHttpServer& s) { a.torrentUrl = s.Url("/t/none"); },
         kErrTorrentFetch, 1},
        {"size of another torrent", [](TorrentAnswer& a, VLTestHttpServer&) { a.size += "1"; }, kErrTorrentSize, 1},
        {"empty torrent",
         [](TorrentAnswer& a, VLTestHttpServer& s) {
             s.SetFile("/t/empty", "");
             VLServerFaults faults;
             faults.omitLength = true;
             s.SetFaults(faults);
             a.torrentUrl = s.Url("/t/empty");
             a.size = "0";
         },
         kErrTorrentSize, 1},
        {"MD5 of another torrent", [](TorrentAnswer& a, VLTestHttpServer&) { a.md5 = Md5Of("x"); }, kErrTorrentMd5, 1},
        {"program version refused", [](TorrentAnswer& a, VLTestHttpServer&) { a.invalidVersion = true; },
         kErrInvalidVersion, 0},
        {"file name with a path", [](TorrentAnswer& a, VLTestHttpServer&) { a.fileName = "..\\pkg.exe"; },
         kErrNoAddress, 1},
        {"torrent of two files",
         [](TorrentAnswer& a, VLTestHttpServer& s) {
             const std::string two = "d4:infod5:filesld6:lengthi3e4:pathl1:aeed6:lengthi3e4:pathl1:beee4:name1:d12:"
                                     "piece lengthi16384e6:pieces20:01234567890123456789ee";
             s.SetFile("/t/two", two);
             a.torrentUrl = s.Url("/t/two");
             a.md5 = Md5Of(two);
             a.size = std::to_string(two.size());
         },
         kErrTorrent, 1},
    };
    const TorrentAnswer good = answer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        answer = good;
        files.SetFaults(VLServerFaults());
        c.change(answer, files);
        Serve();
        EXPECT_EQ(c.result, Run());
        EXPECT_EQ(kTaskFailed, task->GetState());
        EXPECT_EQ(c.retries, task->GetRetryCount());
        EXPECT_EQ(c.result == kErrTorrentFetch, Saw(kMsgNotice, kErrTorrentFetch));
    }
    EXPECT_EQ(0u, Manager().GetSession()->GetTaskCount());
    EXPECT_FALSE(Exists(folder / L"pkg.exe") || Exists(folder / L"d"));
    EXPECT_EQ(0, files.CountRequests(kPayloadTarget));
}

TEST_F(BTTaskTest, StopWhileAServerKeepsTheTaskWaitingEndsItWithin2s)
{
    auto faults = StallingFaults();
    faults.emplace_back("body a byte every 100 ms", VLServerFaults());
    faults.back().second.throttle = 1;
    struct Step {
        const char* what;
        VLTestHttpServer& server;
        const char* target;
    };
    const Step steps[] = {{"address query", service, kQueryTarget}, {"torrent fetch", files, kTorrentTarget}};
    for (const Step& step : steps) {
        for (const auto& c : faults) {
            SCOPED_TRACE(std::string(step.what) + ", " + c.first);
            step.server.SetFaults(c.second);
            const int asked = step.server.CountRequests(step.target);
            ASSERT_TRUE(NewTask()->Start());
            for (int i = 0; i < kWaitSeconds * 10 && step.server.CountRequests(step.target) == asked; ++i) Sleep(100);
            Sleep(500);
            const DWORD stopped = GetTickCount();
            task->Stop();
            uint32_t result = 0;
            EXPECT_TRUE(recorder->WaitFinished(result, 10000));
            EXPECT_LT(GetTickCount() - stopped, 2000u);
            EXPECT_EQ(kErrAborted, result);
            EXPECT_EQ(0u, task->GetRetryCount()) << "a stop is no failed request";
        }
        step.server.SetFaults(VLServerFaults());
    }
}

TEST_F(BTTaskTest, AnHttpAnswerAsksForTheSwitchAndEndsWithoutAResult)
{
    answer.type = 1;
    Serve();
    ASSERT_TRUE(NewTask()->Start());
    for (int i = 0; i < 100 && !Saw(kMsgSwitchKind, 1); ++i) Sleep(100);
    // As the owner does when it replaces the task.
    Sleep(500);
    task->listener.Set(nullptr);
    task->Destroy();
    task = nullptr;
    EXPECT_TRUE(Saw(kMsgSwitchKind, 1));
    for (const auto& m : recorder->Messages()) EXPECT_NE(uint32_t(kMsgFinished), m.code);
}

TEST_F(BTTaskTest, StopWhileDownloadingThenResumeFromTheRecord)
{
    NewTask();
    ASSERT_NO_FATAL_FAILURE(StopMidway());
    EXPECT_EQ(kTaskStopped, task->GetState());
    task->Destroy();
    task = nullptr;
    EXPECT_EQ(0u, Manager().GetSession()->GetTaskCount());
    ASSERT_TRUE(Exists(folder / L"pkg.exe.vll"));

    files.SetFaults(VLServerFaults());
    EXPECT_EQ(kDownloadOk, Run());
    EXPECT_EQ(kTaskFinished, task->GetState());
    EXPECT_EQ(1, files.CountRequests(kTorrentTarget)) << "the second run takes the torrent from its record";
    EXPECT_EQ(folder / L"pkg.exe", task->GetFinishedPath());
    EXPECT_EQ(payload, ReadFileBytes(folder / L"pkg.exe"));
    for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
    EXPECT_TRUE(Manager().IsSeeding(kRuntime));

    // Downloading the same package again replaces its seed.
    EXPECT_EQ(kDownloadOk, Run());
    for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
    EXPECT_EQ(1u, Manager().CountSeeds());
    EXPECT_EQ(1u, Manager().GetSession()->GetTaskCount());
    EXPECT_EQ(payload, ReadFileBytes(folder / L"pkg.exe"));
}

TEST_F(BTTaskTest, DestroyWaitsForTheStopReportUnderWay)
{
    // Holds the session's thread inside the task's report of its stop.
    struct Lingering : RecordingListener {
        void OnMessage(uint32_t code, const TaskMessage* message) override
        {
            RecordingListener::OnMessage(code, message);
            if (code != kMsgState || message->value1 != kTaskStopped) return;
            entered = true;
            Sleep(500);
            left = true;
        }
        std::atomic<bool> entered{false};
        std::atomic<bool> left{false};
    } lingering;
    NewTask();
    task->listener.Set(&lingering);
    VLServerFaults slow;
    slow.throttle = 256 * 1024;
    files.SetFaults(slow);
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < kWaitSeconds * 10 && lingering.LastDownloaded() == 0; ++i) Sleep(100);
    ASSERT_EQ(kTaskRunning, task->GetState());
    task->Stop();
    for (int i = 0; i < kWaitSeconds * 10 && !lingering.entered; ++i) Sleep(100);
    ASSERT_TRUE(lingering.entered);
    task->Destroy();
    task = nullptr;
    EXPECT_TRUE(lingering.left);
}

TEST_F(BTTaskTest, AReplacedTaskTakesItsFilesWithIt)
{
    NewTask()->SetCleanupPending(true);
    ASSERT_NO_FATAL_FAILURE(StopMidway());
    task->Destroy();
    task = nullptr;
    // The engine deletes the data on its own disk thread.
    for (int i = 0; i < kWaitSeconds * 10 && Exists(folder / L"pkg.exe"); ++i) Sleep(100);
    EXPECT_FALSE(Exists(folder / L"pkg.exe"));
    EXPECT_FALSE(Exists(folder / L"pkg.exe.vll"));
    EXPECT_FALSE(Exists(folder / ToWide(InfoHashHex(InfoHashOf(torrent)).c_str()) + L".torrent"));
}

TEST_F(BTTaskTest, ARecordForAnotherFolderDeletesNothingThere)
{
    // A record beside the package that names a download elsewhere, of
    // another torrent: it is not used, and what it names stays.
    TestFolder elsewhere;
    const std::string other = MakePayload(50000, 62);
    ASSERT_TRUE(WriteFileBytes(elsewhere / L"pkg.exe", other));
    {
        auto session = LoopbackSession();
        BTTaskParam param;
        param.savePath = ToMultiByte(elsewhere.Path());
        param.resumeFile = ToMultiByte(folder / L"pkg.exe.vll");
        param.sourceKind = 1;
        param.torrentData = MakeTorrent("pkg.exe", other, 16384);
        auto forged = session->AddTask(&param, nullptr, nullptr);
        ASSERT_TRUE(forged);
        session->RemoveTask(forged.get(), BTRemoveMode::KeepFiles);
    }
    EXPECT_EQ(kDownloadOk, Run());
    EXPECT_EQ(payload, ReadFileBytes(folder / L"pkg.exe"));
    EXPECT_EQ(other, ReadFileBytes(elsewhere / L"pkg.exe"));
}

TEST_F(BTTaskTest, AFileWithHolesIsCheckedAgainOnce)
{
    NewTask()->SetGapCheck([](const std::wstring&) { return true; });
    uint32_t result = 0xFFFFFFFF;
    ASSERT_TRUE(task->Start());
    ASSERT_TRUE(recorder->WaitFinished(result, kWaitSeconds * 1000));
    EXPECT_EQ(kDownloadOk, result);
    EXPECT_EQ(payload, ReadFileBytes(folder / L"pkg.exe"));
    int finals = 0;
    for (const auto& m : recorder->Messages()) finals += m.code == kMsgFinalPath;
    EXPECT_EQ(1, finals);
}

// Holds its worker where the session has taken a new torrent and the task
// does not hold it yet, until the session's thread has reported an event or
// for a second: a torrent taken from a record reports nothing before the
// task resumes it, as the engine checks its pieces first.
class HeldTask : public VLBTTask {
public:
    using VLBTTask::VLBTTask;
    void OnEvent(BTEvent event) override
    {
        SetEvent(reported_.Get());
        VLBTTask::OnEvent(event);
    }

protected:
    void OnTorrentAdded() override { WaitForSingleObject(reported_.Get(), 1000); }

private:
    VLHandle reported_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(BTTaskTest, ACompletionReportedBeforeTheTaskHoldsItsTorrentIsKept)
{
    // Taken from its record, the torrent completes once the engine has
    // checked its pieces.
    ASSERT_NO_FATAL_FAILURE(LeaveOnlyTheRecord());
    NewTask(new HeldTask(kRuntime, folder.Path()));
    uint32_t result = 0xFFFFFFFF;
    ASSERT_TRUE(task->Start());
    ASSERT_TRUE(recorder->WaitFinished(result, kWaitSeconds * 1000));
    EXPECT_EQ(kDownloadOk, result);
    EXPECT_EQ(1, files.CountRequests(kTorrentTarget)) << "the second run takes the torrent from its record";
}

TEST_F(BTTaskTest, AStartBeforeTheStopIsReportedGoesOn)
{
    // Holds the session's thread in a progress report while the owner stops
    // the download and starts it again: the pause is reported afterwards.
    struct Holding : RecordingListener {
        void OnMessage(uint32_t code, const TaskMessage* message) override
        {
            RecordingListener::OnMessage(code, message);
            if (code != kMsgDownloaded || !hold.exchange(false)) return;
            SetEvent(held.Get());
            WaitForSingleObject(release.Get(), kWaitSeconds * 1000);
        }
        std::atomic<bool> hold{false};
        VLHandle held{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        VLHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    } holding;
    NewTask()->listener.Set(&holding);
    VLServerFaults slow;
    slow.throttle = 256 * 1024;
    files.SetFaults(slow);
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < kWaitSeconds * 10 && holding.LastDownloaded() == 0; ++i) Sleep(100);
    holding.hold = true;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holding.held.Get(), kWaitSeconds * 1000));
    task->Stop();
    EXPECT_TRUE(task->Start());
    files.SetFaults(VLServerFaults());
    SetEvent(holding.release.Get());
    uint32_t result = 0xFFFFFFFF;
    EXPECT_TRUE(holding.WaitFinished(result, kWaitSeconds * 1000));
    EXPECT_EQ(kDownloadOk, result);
    task->Destroy();
    task = nullptr;
}

TEST_F(BTTaskTest, AStartDuringAStoppedTorrentFetchEndsThatRunAndGoesOn)
{
    // The first run's fetch stalls for good; the second run is pointed at
    // the address service for the torrent and the package.
    VLServerFaults stall;
    stall.stall = true;
    files.SetFaults(stall);
    ASSERT_TRUE(NewTask()->Start());
    for (int i = 0; i < kWaitSeconds * 10 && files.CountRequests(kTorrentTarget) == 0; ++i) Sleep(100);
    service.SetFile(kTorrentTarget, torrent);
    service.SetFile(kPayloadTarget, payload);
    answer.torrentUrl = service.Url(kTorrentTarget);
    answer.url = service.Url(kPayloadTarget);
    Serve();
    const DWORD stopped = GetTickCount();
    task->Stop();
    ASSERT_TRUE(task->Start());
    uint32_t result = 0;
    ASSERT_TRUE(recorder->WaitFinished(result, kWaitSeconds * 1000));
    EXPECT_LT(GetTickCount() - stopped, 2000u) << "the stopped run's fetch gives up";
    EXPECT_EQ((std::vector<uint32_t>{kErrAborted, kDownloadOk}), Results(2));
}

// Holds the thread ending a stopped run where the task has let go of its
// torrent and the session still has it, until a later run has ended or
// waits for that torrent to go.
class RemovingTask : public VLBTTask {
public:
    using VLBTTask::VLBTTask;
    std::atomic<bool> hold{false};
    VLHandle taken{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    VLHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

protected:
    void OnRemovingTorrent() override
    {
        if (!hold.exchange(false)) return;
        SetEvent(taken.Get());
        WaitForSingleObject(release.Get(), kWaitSeconds * 1000);
    }
    void OnAwaitingRemoval() override { SetEvent(release.Get()); }
};

TEST_F(BTTaskTest, AStartWhileTheStoppedTorrentIsRemovedWaitsForIt)
{
    auto* removing = new RemovingTask(kRuntime, folder.Path());
    NewTask(removing);
    ASSERT_NO_FATAL_FAILURE(StartOverASlowSeed());
    removing->hold = true;
    task->Stop();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(removing->taken.Get(), kWaitSeconds * 1000));
    files.SetFaults(VLServerFaults());
    ASSERT_TRUE(task->Start());
    // A restart the session refused has ended by now; one that waits has
    // let the removal go on.
    for (int i = 0; i < kWaitSeconds * 10 && Results().empty(); ++i)
        if (WaitForSingleObject(removing->release.Get(), 100) == WAIT_OBJECT_0) break;
    SetEvent(removing->release.Get());
    EXPECT_EQ((std::vector<uint32_t>{kErrAborted, kDownloadOk}), Results(2));
}

// Holds its first run once the session has taken its torrent, until released.
class AddingTask : public VLBTTask {
public:
    using VLBTTask::VLBTTask;
    VLHandle added{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    VLHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

protected:
    void OnTorrentAdded() override
    {
        SetEvent(added.Get());
        WaitForSingleObject(release.Get(), kWaitSeconds * 1000);
    }
};

TEST_F(BTTaskTest, EveryStopEndsTheRunsStartedBeforeItAndRunsTakeTurns)
{
    // The calls after the first Start come while its run is held.
    struct Case {
        const char* calls;
        std::vector<uint32_t> results;
    };
    const Case cases[] = {
        {"+-++", {kErrAborted, kDownloadOk}},              // the last start goes on with the second's torrent
        {"++-+", {kErrAborted, kErrAborted, kDownloadOk}}, // the stop ends the second run too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        auto* held = new AddingTask(kRuntime, folder.Path());
        NewTask(held);
        ASSERT_TRUE(task->Start());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held->added.Get(), kWaitSeconds * 1000));
        for (const char* call = c.calls + 1; *call; ++call) *call == '+' ? task->Start() : task->Stop();
        SetEvent(held->release.Get());
        EXPECT_EQ(c.results, Results(c.results.size()));
        EXPECT_EQ(kTaskFinished, task->GetState());
    }
}

TEST_F(BTTaskTest, AStartWhileTheCompletionHandsItsTorrentToTheSeedsWaitsForIt)
{
    // The session's thread reports the finish after the task has let go of
    // its torrent and before the seed list has it; it is held there until
    // the restart's run waits for the handover, or has ended.
    auto* removing = new RemovingTask(kRuntime, folder.Path());
    struct Holding : RecordingListener {
        void OnMessage(uint32_t code, const TaskMessage* message) override
        {
            RecordingListener::OnMessage(code, message);
            if (code == kMsgFinished && !held.exchange(true)) WaitForSingleObject(release, kWaitSeconds * 1000);
        }
        std::atomic<bool> held{false};
        HANDLE release;
    };
    auto holding = std::make_unique<Holding>();
    holding->release = removing->release.Get();
    NewTask(removing)->listener.Set(holding.get());
    recorder = std::move(holding);
    ASSERT_TRUE(task->Start());
    ASSERT_EQ(std::vector<uint32_t>{kDownloadOk}, Results(1));
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < kWaitSeconds * 10 && Results().size() < 2; ++i)
        if (WaitForSingleObject(removing->release.Get(), 100) == WAIT_OBJECT_0) break;
    SetEvent(removing->release.Get());
    EXPECT_EQ((std::vector<uint32_t>{kDownloadOk, kDownloadOk}), Results(2));
    for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
    EXPECT_EQ(1u, Manager().GetSession()->GetTaskCount());
}

// Other bytes written into the file at offset (past its end, they lengthen
// it), as another program may while the download's own handles let it.
bool Overwrite(const std::wstring& path, uint32_t offset = 0)
{
    VLHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    return file.Valid() && SetFilePointer(file.Get(), LONG(offset), nullptr, FILE_BEGIN) == offset &&
           WriteFile(file.Get(), "planted", 7, &written, nullptr) && written == 7;
}

// The check hook plants its bytes once, at g_plantAt.
std::atomic<bool> g_planted{false};
std::atomic<uint32_t> g_plantAt{0};

TEST(BTTaskCheck, EachCheckResultLeadsToItsStep)
{
    const struct {
        DWORD error;
        bool passed, badPieces;
        uint32_t refetches, fileWaits;
        BTCheckVerdict verdict;
    } cases[] = {
        {ERROR_SUCCESS, true, false, 2, 60, BTCheckVerdict::HandOver},
        {ERROR_SUCCESS, false, true, 0, 0, BTCheckVerdict::Refetch},
        {ERROR_SUCCESS, false, true, 1, 0, BTCheckVerdict::Refetch},
        {ERROR_SUCCESS, false, true, 2, 0, BTCheckVerdict::Fail},
        {ERROR_SHARING_VIOLATION, false, false, 2, 0, BTCheckVerdict::AwaitFile},
        {ERROR_SHARING_VIOLATION, false, false, 0, 59, BTCheckVerdict::AwaitFile},
        {ERROR_SHARING_VIOLATION, false, false, 0, 60, BTCheckVerdict::FailInUse},
        {ERROR_LOCK_VIOLATION, false, false, 0, 60, BTCheckVerdict::FailInUse},
        {ERROR_TOO_MANY_LINKS, false, false, 0, 0, BTCheckVerdict::Fail},
        {ERROR_FILE_NOT_FOUND, false, false, 0, 0, BTCheckVerdict::Fail},
        {ERROR_HANDLE_EOF, false, true, 0, 0, BTCheckVerdict::Fail},
    };
    for (const auto& c : cases) {
        VLPieceCheck check;
        check.error = c.error;
        if (c.passed) check.file.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (c.badPieces) check.badPieces.push_back(3);
        EXPECT_EQ(c.verdict, JudgeCheck(check, c.refetches, c.fileWaits)) << c.error << " " << c.refetches;
    }
}

// What is handed over is what the torrent's hashes say: pieces that fail
// the check at completion are fetched again, with no step of the user's. A
// file longer than the torrent's data (an older package of the same name) is
// cut to its length and keeps its pieces.
TEST_F(BTTaskTest, PiecesThatFailTheCheckAreFetchedAgain)
{
    // A record claims every piece; one may name only a web seed that is gone.
    enum When { Alone, BesideARecord, AtCompletion, BesideAMovedSeedsRecord };
    const struct {
        const char* what;
        When when;
        uint32_t offset;
        bool fetches;
    } cases[] = {
        {"an older, longer file alone", Alone, uint32_t(payload.size()), false},
        {"beside a record claiming every piece", BesideARecord, 0, true},
        {"one piece changed beside the record", BesideARecord, 20 * 65536 + 5, true},
        {"an older, longer file beside the record", BesideARecord, uint32_t(payload.size()), false},
        {"written after the engine finished", AtCompletion, 0, true},
        {"longer than the torrent's data", AtCompletion, uint32_t(payload.size()), false},
        {"beside a record whose web seed is gone", BesideAMovedSeedsRecord, 20 * 65536 + 5, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.when == BesideARecord || c.when == BesideAMovedSeedsRecord) {
            ASSERT_NO_FATAL_FAILURE(LeaveOnlyTheRecord());
        }
        if (c.when == BesideAMovedSeedsRecord) {
            // The service moved since the record was written: its web seed
            // answers 404, this run's answer names another.
            VLServerFaults gone;
            gone.notFoundPrefix = kPayloadTarget;
            files.SetFaults(gone);
            files.SetFile("/moved/pkg.exe", payload);
            answer.url = files.Url("/moved/pkg.exe");
            Serve();
        }
        ASSERT_TRUE(c.when != Alone || WriteFileBytes(folder / L"pkg.exe", payload));
        ASSERT_TRUE(c.when == AtCompletion || Overwrite(folder / L"pkg.exe", c.offset));
        NewTask();
        g_planted = false;
        g_plantAt = c.offset;
        if (c.when == AtCompletion)
            task->SetGapCheck(
                [](const std::wstring& path) { return !g_planted.exchange(true) && !Overwrite(path, g_plantAt); });
        uint32_t result = 0;
        ASSERT_TRUE(task->Start() && recorder->WaitFinished(result, kWaitSeconds * 1000));
        EXPECT_EQ(kDownloadOk, result);
        EXPECT_TRUE(payload == ReadFileBytes(folder / L"pkg.exe"));
        // Message 2 says whether nothing was fetched.
        for (const auto& m : recorder->Messages()) EXPECT_TRUE(m.code != kMsgFinalPath || c.fetches == (m.value2 == 0));
        for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
        EXPECT_NE(std::string::npos, ReadFileBytes(folder / L"pkg.exe.vll").find(answer.url));
    }
}

// With no peer and a web seed that answers 404, a download, first or resumed
// from its record, gains nothing: it ends with a torrent error, keeping its
// record and data, from which the next start finishes once the seed is back.
TEST_F(BTTaskTest, ADownloadWithNoSourceEndsKeepingItsRecordAndData)
{
    for (bool resumed : {false, true}) {
        SCOPED_TRACE(resumed ? "resumed" : "first");
        if (resumed) {
            NewTask();
            ASSERT_NO_FATAL_FAILURE(StopMidway());
        }
        VLServerFaults gone;
        gone.notFoundPrefix = kPayloadTarget;
        files.SetFaults(gone);
        {
            ShortWaitLimits limits;
            EXPECT_EQ(uint32_t(kErrTorrent), Run());
        }
        EXPECT_EQ(kTaskFailed, task->GetState());
        EXPECT_TRUE(Exists(folder / L"pkg.exe.vll") && Exists(folder / L"pkg.exe"));
    }
    files.SetFaults(VLServerFaults());
    EXPECT_EQ(kDownloadOk, Run());
    EXPECT_TRUE(payload == ReadFileBytes(folder / L"pkg.exe"));
}

// Leaves one free stretch of the address space of room bytes, and none
// other as long as the stride: every stretch that long keeps a post of the
// allocation granularity at each end. A file of a length between the two can
// be mapped once and not twice, as a gigabyte in a 32-bit process; shorter
// allocations still find room.
class AddressSpaceFences {
public:
    AddressSpaceFences(size_t stride, size_t room)
    {
        constexpr size_t kGrain = 65536;
        void* kept = VirtualAlloc(nullptr, room, MEM_RESERVE, PAGE_NOACCESS);
        std::vector<char*> taken;
        taken.reserve(4096);
        while (void* stretch = VirtualAlloc(nullptr, stride, MEM_RESERVE, PAGE_NOACCESS))
            taken.push_back(static_cast<char*>(stretch));
        for (char* stretch : taken) {
            VirtualFree(stretch, 0, MEM_RELEASE);
            for (char* post : {stretch, stretch + stride - kGrain})
                if (VirtualAlloc(post, kGrain, MEM_RESERVE, PAGE_NOACCESS)) posts_.push_back(post);
        }
        if (kept) VirtualFree(kept, 0, MEM_RELEASE);
    }
    ~AddressSpaceFences()
    {
        for (void* post : posts_) VirtualFree(post, 0, MEM_RELEASE);
    }

private:
    std::vector<void*> posts_;
};

// A file whose changed pieces are found beside its record, where the
// address space has room to map it once only, as a gigabyte in a 32-bit
// process: the engine, having read it through for its check, writes the
// pieces it finds changed all the same.
TEST_F(BTTaskTest, AFileTheAddressSpaceMapsOnceOnlyIsWrittenAfterItsCheck)
{
    UsePayload(MakePayload(24 * 1024 * 1024 + 17, 63));
    ASSERT_NO_FATAL_FAILURE(LeaveOnlyTheRecord());
    ASSERT_TRUE(Overwrite(folder / L"pkg.exe", 300 * 65536 + 5));
    uint32_t result = 0;
    {
        AddressSpaceFences fences(payload.size() - 65536, 2 * payload.size() - 2 * 65536);
        ASSERT_TRUE(NewTask()->Start() && recorder->WaitFinished(result, kWaitSeconds * 1000));
    }
    EXPECT_EQ(kDownloadOk, result);
    EXPECT_TRUE(payload == ReadFileBytes(folder / L"pkg.exe"));
}

// The same with a peer alone, named by the tracker (the web seed answers
// 404): the engine, asked to check its finished data again, dialled no peer.
// A peer gone by then leaves nothing to gain: the download ends, keeping its
// record and data.
std::unique_ptr<TorrentSeeder> g_seeder;
bool g_seederLeaves = false;

TEST_F(BTTaskTest, APieceChangedAfterTheEngineFinishedComesFromAPeer)
{
    TestFolder seeds;
    ASSERT_TRUE(WriteFileBytes(seeds / L"pkg.exe", payload));
    torrent = MakeTorrent("pkg.exe", payload, 65536, {}, {files.Url("/announce")});
    files.SetFile(kTorrentTarget, torrent);
    answer = {2, Md5Of(torrent), std::to_string(torrent.size()), answer.torrentUrl, files.Url("/none")};
    Serve();
    for (bool leaves : {false, true}) {
        SCOPED_TRACE(leaves ? "the peer leaves" : "the peer stays");
        Manager().RemoveSeedById(kRuntime);
        g_seeder = std::make_unique<TorrentSeeder>(torrent, seeds.Path());
        const uint16_t port = g_seeder->ListenPort();
        files.SetFile("/announce?",
                      "d8:intervali30e5:peers6:" + std::string{127, 0, 0, 1, char(port >> 8), char(port)} + "e");
        g_planted = false;
        g_seederLeaves = leaves;
        NewTask()->SetGapCheck([](const std::wstring& path) {
            if (g_seederLeaves && !g_planted) g_seeder.reset();
            return !g_planted.exchange(true) && !Overwrite(path, 20 * 65536 + 5);
        });
        std::unique_ptr<ShortWaitLimits> limits(leaves ? new ShortWaitLimits : nullptr);
        uint32_t result = 0;
        ASSERT_TRUE(task->Start() && recorder->WaitFinished(result, kWaitSeconds * 1000));
        EXPECT_EQ(leaves ? kErrCheckFailed : kDownloadOk, result);
        EXPECT_EQ(!leaves, payload == ReadFileBytes(folder / L"pkg.exe"));
        EXPECT_TRUE(g_planted && Exists(folder / L"pkg.exe.vll"));
    }
    g_seeder.reset();
}

// The same for a package that is listed as a seed: its seed comes back from
// its record at the start without reading the data, and the fetch checks it.
TEST_F(BTTaskTest, ASeedBesideOtherBytesIsFetchedAgain)
{
    ASSERT_EQ(kDownloadOk, Run());
    for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
    Manager().Shutdown();
    ASSERT_TRUE(Overwrite(folder / L"pkg.exe", 65536 + 3));
    ASSERT_TRUE(Manager().Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    for (int i = 0; i < kWaitSeconds * 10 && Manager().CountActiveSeeds() == 0; ++i) Sleep(100);
    ASSERT_TRUE(Manager().IsSeeding(kRuntime));
    EXPECT_EQ(kDownloadOk, Run());
    EXPECT_TRUE(payload == ReadFileBytes(folder / L"pkg.exe"));
}

// Another program that has a file open for writing until it is released.
class FileHolder {
public:
    ~FileHolder() { Release(); }
    bool Hold(const std::wstring& path)
    {
        std::wstring program = L"Z:" + ToWide(VL_FILE_HOLDER);
        for (wchar_t& c : program)
            if (c == L'/') c = L'\\';
        const std::wstring suffix = std::to_wstring(GetCurrentProcessId());
        const std::wstring heldName = L"vl-held-" + suffix, releaseName = L"vl-release-" + suffix;
        VLHandle held(CreateEventW(nullptr, TRUE, FALSE, heldName.c_str()));
        release_.Reset(CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
        std::wstring command = L"\"" + program + L"\" \"" + path + L"\" " + heldName + L" " + releaseName;
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION started = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
            return false;
        VLHandle thread(started.hThread);
        process_.Reset(started.hProcess);
        const HANDLE either[] = {held.Get(), process_.Get()};
        return WaitForMultipleObjects(2, either, FALSE, kWaitSeconds * 1000) == WAIT_OBJECT_0;
    }
    void Release()
    {
        if (release_.Valid()) SetEvent(release_.Get());
        if (process_.Valid()) WaitForSingleObject(process_.Get(), kWaitSeconds * 1000);
        process_.Reset();
    }

private:
    VLHandle process_;
    VLHandle release_;
};

FileHolder* g_holder = nullptr;

// Another program writes the finished file when the download completes: the
// check waits for it, says so, forgets nothing, and hands the file over once
// the other program has let go. The program starts at the first completion
// only: a completion that comes again looks for gaps again, and a program
// started then, on the session's thread, would race the release here.
TEST_F(BTTaskTest, AFileInUseAtCompletionIsCheckedOnceItsWriterLetsGo)
{
    FileHolder holder;
    g_holder = &holder;
    g_planted = false;
    NewTask()->SetGapCheck([](const std::wstring& path) { return !g_planted.exchange(true) && !g_holder->Hold(path); });
    ASSERT_TRUE(task->Start());
    for (int i = 0; i < kWaitSeconds * 10 && !Saw(kMsgNotice, kErrFileInUse) && Results().empty(); ++i) Sleep(100);
    ASSERT_TRUE(Saw(kMsgNotice, kErrFileInUse));
    EXPECT_TRUE(Exists(folder / L"pkg.exe.vll"));
    EXPECT_TRUE(Exists(folder / ToWide(InfoHashHex(InfoHashOf(torrent)).c_str()) + L".torrent"));
    holder.Release();
    EXPECT_EQ(std::vector<uint32_t>{kDownloadOk}, Results(1));
    for (const auto& m : recorder->Messages()) EXPECT_NE(uint32_t(kErrCheckFailed), m.value1) << m.code;
    EXPECT_TRUE(payload == ReadFileBytes(folder / L"pkg.exe"));
    // The completion lists the seed, starts it, then saves the list, on its
    // own thread.
    const auto listed = [&] { return ReadFileBytes(folder / L"seeds.xml").find("pkg.exe.vll") != std::string::npos; };
    for (int i = 0; i < kWaitSeconds * 10 && !listed(); ++i) Sleep(100);
    EXPECT_TRUE(listed());
    EXPECT_TRUE(Exists(folder / L"pkg.exe.vll"));
}

// The data file is held from its check: while the engine writes it, no
// other program renames or deletes it.
TEST_F(BTTaskTest, TheDataFileCannotBeRenamedOrDeletedWhileDownloading)
{
    NewTask();
    ASSERT_NO_FATAL_FAILURE(StartOverASlowSeed());
    EXPECT_FALSE(MoveFileW((folder / L"pkg.exe").c_str(), (folder / L"aside").c_str()));
    EXPECT_FALSE(DeleteFileW((folder / L"pkg.exe").c_str()));
}

// A record whose data passes a link (first step, middle step, the file), met
// by an answer for another torrent: dropped, deleting nothing outside.
TEST_F(BTTaskTest, AForgottenRecordDeletesNothingBehindALink)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its links with the Unix host's ln";
    TestFolder outside;
    UsePayload(MakePayload(100000, 63));
    const std::wstring copy = folder / (std::wstring(40, L'a') + L".torrent");
    ASSERT_TRUE(WriteFileBytes(outside / L"victim.dat", "precious") && CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    ASSERT_TRUE(MakeHostLink(folder / L"link", outside.Path()) && MakeHostLink(folder / L"sub\\link", outside.Path()) &&
                MakeHostLink(folder / L"victim.dat", outside / L"victim.dat"));
    auto text = [](const std::string& value) { return std::to_string(value.size()) + ":" + value; };
    for (const char* root : {"link\\victim.dat", "sub\\link\\victim.dat", "victim.dat"}) {
        SCOPED_TRACE(root);
        Manager().RemoveSeedById(kRuntime);
        const std::string record = "d8:taskDatad" + text("resumeFile") + text(ToMultiByte(folder / L"pkg.exe.vll")) +
                                   text("rootPath") + text(root) + text("savePath") + text(ToMultiByte(folder.Path())) +
                                   text("torrentFile") + text(ToMultiByte(copy)) + "ee";
        ASSERT_TRUE(WriteFileBytes(outside / L"victim.dat", "precious") &&
                    WriteFileBytes(folder / L"pkg.exe.vll", record) && WriteFileBytes(copy, "another torrent"));
        const std::string before = TreeListing(outside.Path());
        EXPECT_EQ(kDownloadOk, Run());
        EXPECT_EQ(before, TreeListing(outside.Path()));
        // The completion writes the record as it lists the seed, on its own
        // thread: the next round's record is planted after that.
        for (int i = 0; i < kWaitSeconds * 10 && !Manager().IsSeeding(kRuntime); ++i) Sleep(100);
    }
}

} // namespace
} // namespace Velora
