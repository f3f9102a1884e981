// Tasks driven from several threads at once: start, stop, remove and
// completion (which hands a torrent to the seed list) in every order, and a
// listener that must never be called once Remove has returned.
#include "download/BTDownloadTask.h"
#include "download/DownloadManager.h"
#include "download/HttpTask.h"
#include "tests/download/BTDownloadTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace Velora {
namespace {

using namespace Velora::Test;

// A deadlock cannot be undone: the run ends here with the message instead of
// hanging the suite.
[[noreturn]] void EndRun(const std::string& message)
{
    ADD_FAILURE() << message;
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) Sleep(INFINITE);
}

class TaskConcurrencyTest : public BTDownloadTest {
protected:
    // Thread t downloads runtime 40030 + t over HTTP and 40040 + t over
    // BitTorrent, each a package of its own, into a folder of its own.
    void ServeThread(int t)
    {
        const std::string id = std::to_string(40030 + t);
        const std::string bytes = MakePayload(200000 + t, 70 + t);
        files.SetFile("/h/" + id, bytes);
        service.SetFile("/query_url.php?soft=2.0.0.2996&id=" + id,
                        AnswerXml(files.Url("/h/" + id), "", Md5Of(bytes), bytes.size(), "http.exe"));
        const std::string seedId = std::to_string(40040 + t);
        const std::string torrentBytes = MakeTorrent("pkg.exe", bytes, 16384);
        files.SetFile("/b/" + seedId, bytes);
        files.SetFile("/t/" + seedId, torrentBytes);
        TorrentAnswer torrentAnswer;
        torrentAnswer.md5 = Md5Of(torrentBytes);
        torrentAnswer.size = std::to_string(torrentBytes.size());
        torrentAnswer.torrentUrl = files.Url("/t/" + seedId);
        torrentAnswer.url = files.Url("/b/" + seedId);
        service.SetFile("/query_url.php?soft=2.0.0.2996&id=" + seedId, torrentAnswer.Xml());
    }
    VLDownloadTask* NewTask(int t, bool torrent, const std::wstring& subfolder)
    {
        const std::wstring where = folder / subfolder;
        if (torrent) return new VLBTTask(40040 + t, where);
        return new VLHttpTask(40030 + t, where);
    }
};

enum class Ending { Complete, Stop, Remove, StopAll };

TEST_F(TaskConcurrencyTest, TwoHundredCyclesFromFourThreadsEachEndWithinTheirBound)
{
    constexpr int kThreads = 4;
    constexpr int kCyclesEach = 50;
    constexpr DWORD kCycleBoundMs = kWaitSeconds * 1000;
    struct Progress {
        std::atomic<int> cycle{0};
        std::atomic<DWORD> cycleStarted{GetTickCount()};
        std::atomic<bool> done{false};
    } progress[kThreads];
    for (int t = 0; t < kThreads; ++t) ServeThread(t);
    // Slow enough that a stop or a removal often comes mid-transfer.
    VLServerFaults slow;
    slow.throttle = 256 * 1024;
    files.SetFaults(slow);

    auto runCycles = [&](int t) {
        for (int c = 0; c < kCyclesEach; ++c) {
            progress[t].cycleStarted = GetTickCount();
            progress[t].cycle = c;
            const bool torrent = c % 2 == 1;
            const auto ending = static_cast<Ending>((c / 2 + t) % 4);
            RecordingListener owner;
            VLDownloadManager manager(&owner);
            VLDownloadTask* task = NewTask(t, torrent, std::to_wstring(t) + L"_" + std::to_wstring(c));
            manager.Add(task);
            manager.StartTask(task);
            uint32_t result = 0;
            switch (ending) {
            case Ending::Complete:
                if (!owner.WaitFinished(result, kCycleBoundMs)) EndRun("a download never finished");
                EXPECT_EQ(kDownloadOk, result) << "thread " << t << ", cycle " << c;
                break;
            case Ending::Stop:
                Sleep((c * 37 + t * 11) % 300);
                task->Stop();
                if (!owner.WaitFinished(result, kCycleBoundMs)) EndRun("a stopped download never finished");
                break;
            case Ending::Remove:
                Sleep((c * 53 + t * 7) % 300);
                manager.Remove(task);
                task->Destroy();
                break;
            case Ending::StopAll: Sleep((c * 29 + t * 13) % 300); break;
            }
            manager.StopAll();
        }
        progress[t].done = true;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(runCycles, t);
    for (bool all = false; !all; Sleep(100)) {
        all = true;
        for (int t = 0; t < kThreads; ++t) {
            if (progress[t].done) continue;
            all = false;
            if (GetTickCount() - progress[t].cycleStarted > kCycleBoundMs)
                EndRun("thread " + std::to_string(t) + ", cycle " + std::to_string(progress[t].cycle) +
                       " did not end within its bound: the download or a lock is stuck");
        }
    }
    for (auto& thread : threads) thread.join();

    // Every torrent left in the session is a seed's: none was orphaned.
    std::shared_ptr<IBTSession> session = Manager().GetSession();
    for (int i = 0; i < kWaitSeconds * 10 && session->GetTaskCount() != Manager().CountActiveSeeds(); ++i) Sleep(100);
    EXPECT_EQ(Manager().CountActiveSeeds(), session->GetTaskCount());
}

// Records whether a call of it was still under way when Remove had returned.
class LateCallProbe : public VLDownloadMessage {
public:
    void OnMessage(uint32_t code, const TaskMessage*) override
    {
        if (code == kMsgDownloaded) ++progress;
        // A slow listener: a call is under way most of the time.
        Sleep(3);
        if (removed) ++late;
    }
    std::atomic<int> progress{0};
    std::atomic<bool> removed{false};
    std::atomic<int> late{0};
};

TEST_F(TaskConcurrencyTest, NoListenerCallOnceRemoveHasReturned)
{
    ServeThread(0);
    VLServerFaults slow;
    slow.throttle = 64 * 1024;
    files.SetFaults(slow);
    for (bool torrent : {false, true}) {
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE(torrent ? "BitTorrent" : "HTTP");
            LateCallProbe probe;
            VLDownloadManager manager(&probe);
            VLDownloadTask* task = NewTask(0, torrent, (torrent ? L"b" : L"h") + std::to_wstring(round));
            manager.Add(task);
            ASSERT_TRUE(manager.StartTask(task));
            for (int i = 0; i < kWaitSeconds * 100 && probe.progress < 3 + round; ++i) Sleep(10);
            ASSERT_GE(probe.progress, 3 + round) << "the task never reported progress";
            ASSERT_TRUE(manager.Remove(task));
            probe.removed = true;
            task->Destroy();
            EXPECT_EQ(0, probe.late.load());
        }
    }
}

// A real HTTP task whose Stop can be held open, and whose Destroy only marks
// it, so that a start after it shows instead of using freed memory.
class WatchedTask : public VLHttpTask {
public:
    using VLHttpTask::VLHttpTask;
    bool Start() override
    {
        if (destroyed) ++startsAfterDestroy;
        return VLHttpTask::Start();
    }
    bool Stop() override
    {
        SetEvent(stopping.Get());
        WaitForSingleObject(release.Get(), kWaitSeconds * 1000);
        return VLHttpTask::Stop();
    }
    void Destroy() override { destroyed = true; }
    std::atomic<bool> destroyed{false};
    std::atomic<int> startsAfterDestroy{0};
    VLHandle stopping{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    VLHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST_F(TaskConcurrencyTest, RemoveWaitsForAReplaceUnderWay)
{
    RecordingListener owner;
    WatchedTask old(40030, folder / L"old");
    WatchedTask replacement(40030, folder / L"new");
    SetEvent(replacement.release.Get());
    VLDownloadManager manager(&owner);
    ASSERT_TRUE(manager.Add(&old));
    // The Replace lists the replacement, then stops the old task, which holds
    // it there; only then does it start the replacement.
    std::thread replacing([&] { manager.Replace(&old, &replacement); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(old.stopping.Get(), kWaitSeconds * 1000));
    std::atomic<bool> removed{false};
    std::thread removing([&] {
        manager.Remove(&replacement);
        replacement.Destroy();
        removed = true;
    });
    // A Remove that returns meanwhile lets its caller free the task under the Replace.
    for (int i = 0; i < 10 && !removed; ++i) Sleep(100);
    SetEvent(old.release.Get());
    replacing.join();
    removing.join();
    EXPECT_EQ(0, replacement.startsAfterDestroy.load());
}

TEST_F(TaskConcurrencyTest, RemoveAndStopAllFromInsideAMessageAreRefusedWhileAReplaceWaitsForItsThread)
{
    // The Replace stops the old task, which waits until this thread has
    // delivered a message of another task; from inside it the owner removes
    // the replacement, then stops every task.
    WatchedTask old(40030, folder / L"old");
    WatchedTask replacement(40030, folder / L"new");
    WatchedTask reporting(40031, folder / L"other");
    SetEvent(replacement.release.Get());
    SetEvent(reporting.release.Get());
    struct Owner : VLDownloadMessage {
        void OnMessage(uint32_t, const TaskMessage* message) override
        {
            if (message->taskId != 40031) return;
            removed = manager->Remove(task);
            error = GetLastError();
            stopped = manager->StopAll();
            stopError = GetLastError();
            SetEvent(release);
        }
        VLDownloadManager* manager;
        VLDownloadTask* task;
        HANDLE release;
        bool removed = true, stopped = true;
        DWORD error = 0, stopError = 0;
    } owner;
    owner.task = &replacement;
    owner.release = old.release.Get();
    VLDownloadManager manager(&owner);
    owner.manager = &manager;
    ASSERT_TRUE(manager.Add(&old));
    ASSERT_TRUE(manager.Add(&reporting));
    std::thread replacing([&] { manager.Replace(&old, &replacement); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(old.stopping.Get(), kWaitSeconds * 1000));
    SendValueMessage(kMsgPhase, reporting.id, &reporting.listener, 1);
    replacing.join();
    EXPECT_FALSE(owner.removed);
    EXPECT_EQ(DWORD(ERROR_BUSY), owner.error);
    EXPECT_FALSE(owner.stopped);
    EXPECT_EQ(DWORD(ERROR_BUSY), owner.stopError);
    // Asked again from a thread of its own, each is done.
    EXPECT_TRUE(manager.Remove(&replacement));
    EXPECT_TRUE(manager.StopAll());
}

// A Stop from inside the state report a Start sends before it begins the run.
TEST_F(TaskConcurrencyTest, AStopBetweenAStartsReportAndItsRunEndsTheRunOnce)
{
    ServeThread(0);
    struct Owner : RecordingListener {
        void OnMessage(uint32_t code, const TaskMessage* message) override
        {
            RecordingListener::OnMessage(code, message);
            if (code != kMsgState || message->value1 != kTaskRunning) return;
            if (VLDownloadTask* stopping = task.exchange(nullptr)) stopping->Stop(); // the first report only
        }
        std::atomic<VLDownloadTask*> task{nullptr};
    } owner;
    VLTaskPtr task(NewTask(0, true, L"b"));
    owner.task = task.get();
    task->listener.Set(&owner);
    ASSERT_TRUE(task->Start());
    uint32_t result = 0;
    ASSERT_TRUE(owner.WaitFinished(result, kWaitSeconds * 1000));
    task.reset(); // waits for its runs
    const auto messages = owner.Messages();
    EXPECT_EQ(1, std::count_if(messages.begin(), messages.end(),
                               [](const RecordedMessage& m) { return m.code == kMsgFinished; }));
}

} // namespace
} // namespace Velora
