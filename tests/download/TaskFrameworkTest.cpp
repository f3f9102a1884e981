#include "download/DownloadTask.h"
#include "download/DriveInfo.h"
#include "download/TaskList.h"

#include "tests/download/DownloadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace Velora {
namespace {

TEST(TaskMessages, RecordsAndSilentWithoutListener)
{
    static_assert(sizeof(TaskMessage) == 16, "four 32-bit words on the 32-bit program");
    RecordingListener recorder;
    VLListenerSlot slot(&recorder);
    SendSizeMessage(kMsgTotalSize, 40020, &slot, 0x123456789ull);
    SendValueMessage(kMsgSpeed, 40020, &slot, 0, 51200);
    SendTextMessage(kMsgFinalPath, 40020, &slot, L"C:\\x.exe", 1);
    const auto messages = recorder.Messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(0x23456789u, messages[0].value1);
    EXPECT_EQ(0x1u, messages[0].value2);
    EXPECT_EQ(51200u, messages[1].value2);
    EXPECT_EQ(L"C:\\x.exe", messages[2].text);
    EXPECT_EQ(1u, messages[2].value2);

    // Neither a missing slot nor an empty one gets anything delivered.
    VLListenerSlot empty;
    SendValueMessage(kMsgPhase, 1, nullptr, 3);
    SendValueMessage(kMsgPhase, 1, &empty, 3);
    EXPECT_EQ(3u, recorder.Messages().size());
}

class CountingList : public VLTaskList {
public:
    ~CountingList() override { StopThread(); }
    void ProcessTasks() override
    {
        SetEvent(entered.Get());
        if (block) WaitForSingleObject(release.Get(), 10000);
        if (++calls == awaited) SetEvent(reached.Get());
    }
    std::atomic<int> calls{0};
    int awaited = 0;
    bool block = false;
    VLHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    VLHandle entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    VLHandle reached{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST(TaskList, OneCallPerWakeAndAtMost64Waiting)
{
    CountingList list;
    list.block = true;
    // The restarted worker of the second round takes as many wakes again:
    // none was left over from the first.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        list.awaited = 65 * round;
        for (HANDLE event : {list.release.Get(), list.entered.Get(), list.reached.Get()}) ResetEvent(event);
        ASSERT_TRUE(list.StartThread());
        ASSERT_TRUE(list.StartThread());
        // The first wake is taken at once and blocks the worker; 64 more
        // wait and any further one is refused.
        ASSERT_TRUE(list.Wake());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(list.entered.Get(), 10000));
        int accepted = 1;
        for (int i = 0; i < 200 && list.Wake(); ++i) ++accepted;
        EXPECT_EQ(65, accepted);
        SetEvent(list.release.Get());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(list.reached.Get(), 10000));
        EXPECT_TRUE(list.StopThread());
        EXPECT_FALSE(list.IsRunning());
        EXPECT_EQ(65 * round, list.calls.load());
    }
    EXPECT_TRUE(list.StopThread());
}

TEST(TaskList, AWorkerFindsItsListRunning)
{
    // A wake waits before the start, so the new worker calls ProcessTasks
    // while its start has not been answered yet. There it may wake its own
    // list again: it must find the list running, or it would wait for the
    // lock that a StopThread joining it holds.
    struct Probe : VLTaskList {
        ~Probe() override { StopThread(); }
        void ProcessTasks() override
        {
            sawRunning = IsRunning();
            SetEvent(processed.Get());
        }
        void OnWorkerStarted() override { WaitForSingleObject(processed.Get(), 10000); }
        std::atomic<bool> sawRunning{false};
        VLHandle processed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    } list;
    list.Wake();
    ASSERT_TRUE(list.StartThread());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(list.processed.Get(), 0));
    EXPECT_TRUE(list.sawRunning);
}

TEST(DriveInfo, SystemDriveAndUnknownPath)
{
    DriveInfo drive;
    ASSERT_TRUE(GetDriveInfo(L"C:\\", drive));
    EXPECT_TRUE(drive.volumeInfoValid);
    EXPECT_FALSE(drive.fileSystem.empty());
    EXPECT_GT(drive.clusterSize, 0u);
    EXPECT_GT(drive.totalBytes, 0u);
    EXPECT_GT(drive.freeBytes, 0u);

    DriveInfo missing;
    missing.fileSystem = L"kept";
    if (GetDriveInfo(L"Q:\\", missing)) {
        EXPECT_FALSE(missing.volumeInfoValid);
        EXPECT_EQ(0u, missing.totalBytes);
    } else {
        EXPECT_EQ(L"kept", missing.fileSystem);
    }
}

} // namespace
} // namespace Velora
