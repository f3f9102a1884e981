// The task handle over a real engine: pause and resume events, waiting for a
// pause, torrent metadata, a peer on loopback and write errors.
#include <gtest/gtest.h>

#include "download/BTSession.h"
#include "tests/download/BTTestSupport.h"
#include "tests/support/TestTorrent.h"
#include "tests/support/TorrentSeeder.h"
#include "tests/support/WebSeedServer.h"

#include "base/FileUtil.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace Velora;
using namespace Velora::Test;

TEST(BTTask, PausedEventOnlyAfterTheFirstResume)
{
    TestFolder folder;
    const std::string payload = MakePayload(200000, 21);
    BTRecorder recorder;
    auto session = LoopbackSession();
    BTTaskParam param = ParamFor(folder, MakeTorrent("pkg.exe", payload, 16384));
    auto task = session->AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    EXPECT_TRUE(task->IsPaused());
    EXPECT_FALSE(task->IsRunning());
    // Added paused: pausing again does nothing and reports nothing.
    task->Pause();
    EXPECT_TRUE(task->WaitPaused(600));

    task->Resume();
    EXPECT_TRUE(task->IsRunning());
    // No data and no source: the torrent keeps running, so the wait runs out.
    EXPECT_FALSE(task->WaitPaused(1000));
    task->Pause();
    EXPECT_TRUE(task->WaitPaused(5000));
    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::Paused, kWaitSeconds));
    EXPECT_EQ(1, recorder.Count(BTEvent::Paused));
    EXPECT_EQ(0, recorder.Count(BTEvent::Complete));
}

TEST(BTTask, PausedBeforeAnyResumeReportsNoEvent)
{
    TestFolder folder;
    const std::string payload = MakePayload(50000, 22);
    BTRecorder recorder;
    auto session = LoopbackSession();
    BTTaskParam param = ParamFor(folder, MakeTorrent("pkg.exe", payload, 16384));
    auto task = session->AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    // The status reaches the owner even before the torrent runs...
    for (int i = 0; i < kWaitSeconds * 10 && recorder.States().empty(); ++i) Sleep(100);
    ASSERT_FALSE(recorder.States().empty());
    // ...but a pause it never asked for resumed does not.
    session->RemoveTask(task.get(), BTRemoveMode::ForgetRecord);
    EXPECT_EQ(0, recorder.Count(BTEvent::Paused));
}

TEST(BTTask, PieceSizeOfAOnePieceTorrentIsItsSize)
{
    struct Case {
        size_t size;
        int pieceSize;
        int32_t answered;
        int32_t pieces;
    };
    const Case cases[] = {{10000, 65536, 10000, 1}, {65536, 65536, 65536, 1}, {70000, 16384, 16384, 5}};
    auto session = LoopbackSession();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        TestFolder folder;
        const std::string payload = MakePayload(c.size, 23);
        BTTaskParam param = ParamFor(folder, MakeTorrent("pkg.exe", payload, c.pieceSize));
        auto task = session->AddTask(&param, nullptr, nullptr);
        ASSERT_TRUE(task);
        EXPECT_EQ(c.answered, task->GetTorrentInfo()->GetPieceSize());
        EXPECT_EQ(c.pieces, task->GetTorrentInfo()->GetPieceCount());
        session->RemoveTask(task.get(), BTRemoveMode::ForgetRecord);
    }
}

TEST(BTTask, DownloadsFromAPeerOnLoopback)
{
    TestFolder seedFolder;
    TestFolder folder;
    const std::string payload = MakePayload(4 * 1024 * 1024 + 123, 24);
    const std::string torrent = MakeTorrent("pkg.exe", payload, 65536);
    ASSERT_TRUE(WriteFileBytes(seedFolder / L"pkg.exe", payload));
    TorrentSeeder seeder(torrent, seedFolder.Path());
    ASSERT_TRUE(seeder.WaitSeeding(kWaitSeconds));
    // Two seeds part at once: the peer is listed only while data flows.
    seeder.LimitUpload(1024 * 1024);

    BTRecorder recorder;
    auto session = LoopbackSession();
    BTTaskParam param = ParamFor(folder, torrent);
    auto task = session->AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    seeder.ConnectTo(static_cast<uint16_t>(session->GetListenPort()));

    std::vector<BTPeerInfo> peers;
    for (int i = 0; i < kWaitSeconds * 10 && peers.empty(); ++i) {
        task->GetPeers(peers, 0, 10);
        if (peers.empty()) Sleep(100);
    }
    ASSERT_EQ(1u, peers.size());
    // The seeder dials over TCP, so the port is that of its outgoing socket.
    const std::string prefix = "127.0.0.1:";
    ASSERT_EQ(prefix, peers[0].address.substr(0, prefix.size()));
    EXPECT_GT(std::atoi(peers[0].address.c_str() + prefix.size()), 0);

    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    EXPECT_EQ(payload, ReadFileBytes(folder / L"save\\pkg.exe"));
    BTTaskStatus status;
    task->GetStatus(&status);
    EXPECT_EQ(int64_t(payload.size()), status.totalWantedDone);
    EXPECT_GE(status.totalPayloadDownload, int64_t(payload.size()));
    EXPECT_EQ(0, status.hasError);
}

TEST(BTTask, RefusedWriteEndsTheDownloadAsAccessDenied)
{
    TestFolder folder;
    const std::string payload = MakePayload(300000, 25);
    WebSeedServer server("/f/pkg.exe", payload);
    ASSERT_TRUE(server.Started());
    // A folder where the download has to be written: opening it for writing
    // is refused with access denied. (A read-only file would not do: Wine
    // running as root lets every write through.)
    CreateDirectories(folder / L"save\\pkg.exe");

    BTRecorder recorder;
    auto session = LoopbackSession();
    BTTaskParam param = ParamFor(folder, MakeTorrent("pkg.exe", payload, 16384));
    param.urlSeeds = {server.Url()};
    auto task = session->AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::AccessDenied, kWaitSeconds))
        << ::testing::PrintToString(recorder.Events());
    EXPECT_EQ(0, recorder.Count(BTEvent::Complete));
    session->RemoveTask(task.get(), BTRemoveMode::ForgetRecord);
}

} // namespace
