// The session object: its settings words, its task list and its end.
#include <gtest/gtest.h>

#include "download/BTSession.h"
#include "tests/download/BTTestSupport.h"
#include "tests/support/TestTorrent.h"

#include <memory>

namespace {

using namespace Velora;
using namespace Velora::Test;

std::vector<int32_t> Words(const BTSessionSettings& s)
{
    return {s.activeDownloads, s.activeSeeds, s.uploadRateLimit, s.downloadRateLimit,
            s.localUploadRateLimit, s.localDownloadRateLimit, s.unchokeSlotsLimit,
            s.halfOpenLimit, s.connectionsLimit, int32_t(s.reserved1), int32_t(s.reserved2)};
}

TEST(BTSession, FreshSessionAnswersTheDefaults)
{
    auto session = LoopbackSession();
    BTSessionSettings settings;
    settings.activeDownloads = 99;
    EXPECT_EQ(&settings, session->GetSettings(&settings));
    EXPECT_EQ((std::vector<int32_t>{3, 5, 0, 0, 0, 0, 8, 0, 200, 0, 0}), Words(settings));
    EXPECT_EQ(BTSessionSettings(), settings);
}

TEST(BTSession, SettingsReachTheEngineAndKeptWordsStay)
{
    auto session = LoopbackSession();
    BTSessionSettings wanted;
    wanted.activeDownloads = 2;
    wanted.activeSeeds = 7;
    wanted.uploadRateLimit = 30720;
    wanted.downloadRateLimit = 102400;
    wanted.unchokeSlotsLimit = 4;
    wanted.connectionsLimit = 50;
    session->SetSettings(wanted);
    BTSessionSettings read;
    session->GetSettings(&read);
    EXPECT_EQ(Words(wanted), Words(read));

    // Only a kept word differs: it is stored, the engine values stay as they are.
    wanted.reserved1 = 0xDEADBEEF;
    wanted.reserved2 = 12;
    session->SetSettings(wanted);
    session->GetSettings(&read);
    EXPECT_EQ(Words(wanted), Words(read));
}

TEST(BTSession, ListensOnTheGivenRange)
{
    auto session = LoopbackSession();
    const int32_t port = session->GetListenPort();
    EXPECT_GE(port, 6881);
    EXPECT_LE(port, 6890);
    BTSessionStatus status;
    status.numPeers = 5;
    session->GetStatus(&status);
    EXPECT_EQ(0, status.numPeers);
    EXPECT_EQ(0, status.totalDownload);
}

TEST(BTSession, RemovingAnUnknownTaskChangesNothing)
{
    TestFolder folder;
    const std::string payload = MakePayload(40000, 1);
    BTTaskParam param;
    param.savePath = ToMultiByte(folder / L"save");
    param.sourceKind = 1;
    param.torrentData = MakeTorrent("a.bin", payload, 16384);

    auto session = LoopbackSession();
    auto other = LoopbackSession();
    std::string error;
    auto task = session->AddTask(&param, nullptr, &error);
    ASSERT_TRUE(task) << error;
    auto foreign = other->AddTask(&param, nullptr, &error);
    ASSERT_TRUE(foreign) << error;

    session->RemoveTask(foreign.get(), BTRemoveMode::ForgetAll);
    session->RemoveTask(nullptr, BTRemoveMode::ForgetRecord);
    EXPECT_EQ(1u, session->GetTaskCount());
    EXPECT_EQ(1u, other->GetTaskCount());
    std::string name;
    task->GetTorrentInfo()->GetName(name);
    EXPECT_EQ("a.bin", name);
}

TEST(BTSession, DestroyedSessionLeavesOwnersHarmlessTasks)
{
    TestFolder folder;
    const std::string payload = MakePayload(40000, 2);
    BTTaskParam param;
    param.savePath = ToMultiByte(folder / L"save");
    param.resumeFile = ToMultiByte(folder / L"save\\a.bin.vll");
    param.sourceKind = 1;
    param.torrentData = MakeTorrent("a.bin", payload, 16384);
    BTRecorder recorder;

    std::shared_ptr<IBTTask> task;
    {
        auto session = LoopbackSession();
        task = session->AddTask(&param, &recorder, nullptr);
        ASSERT_TRUE(task);
        task->Resume();
    }
    // Every call on the orphaned task is answered without the engine.
    EXPECT_FALSE(task->IsRunning());
    EXPECT_TRUE(task->IsPaused());
    EXPECT_TRUE(task->WaitPaused(1000));
    int32_t down = -1, up = -1;
    task->GetRateLimits(down, up);
    EXPECT_EQ(0, down);
    EXPECT_EQ(0, up);
    task->Pause();
    task->Resume();
    task->SetRateLimits(10, 10);
    task->ForceRecheck();
    std::vector<BTPeerInfo> peers(3);
    EXPECT_TRUE(task->GetPeers(peers, 0, 10).empty());
    EXPECT_EQ(0, task->GetTorrentInfo()->GetTotalSize());
    BTTaskStatus status;
    task->GetStatus(&status);
    EXPECT_EQ("a.bin", task->GetRecord()->rootPath);
}

} // namespace
