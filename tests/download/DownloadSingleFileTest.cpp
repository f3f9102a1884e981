// One package through the single-file download: over HTTP, over BitTorrent
// after the service says so (then seeded and restored at the next start),
// a service that changes its mind, teardown mid-download, and the manager's
// speed sharing.
#include "download/DownloadSingleFile.h"

#include "download/BTDownloadTask.h"
#include "download/HttpTask.h"
#include "tests/download/BTDownloadTestSupport.h"

#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <atomic>

namespace Velora {
namespace {

using namespace Velora::Test;

std::wstring g_folder;

std::wstring TestFolderCallback(unsigned int)
{
    return g_folder;
}

class SingleFileTest : public BTDownloadTest {
protected:
    void SetUp() override
    {
        BTDownloadTest::SetUp();
        g_folder = folder.Path();
        download.SetFolderCallback(&TestFolderCallback);
    }
    bool WaitFinished(DWORD ms = kWaitSeconds * 1000)
    {
        return WaitForSingleObject(download.GetFinishEvent(), ms) == WAIT_OBJECT_0;
    }
    // The seed list once it holds the entry; the last list read when it
    // never does.
    std::string SeedList(const std::string& entry)
    {
        std::string list;
        for (int i = 0; i < kWaitSeconds * 10; ++i, Sleep(100)) {
            list.clear();
            // Without the layout: one line per element, indented.
            for (char c : ReadFileBytes(folder / L"seeds.xml"))
                if (c != '\r' && c != '\n' && c != ' ') list += c;
            if (list.find(entry) != std::string::npos) break;
        }
        return list;
    }
    // The service answers with the package itself over HTTP instead of the torrent.
    void AnswerHttp()
    {
        answer.type = 1;
        answer.md5 = Md5Of(payload);
        answer.size = std::to_string(payload.size());
    }

    VLDownloadSingleFile download;
};

TEST_F(SingleFileTest, ATorrentAnswerSwitchesToBitTorrentAndEndsSeeding)
{
    ASSERT_TRUE(download.Start(kRuntime));
    EXPECT_FALSE(download.Start(kRuntime)) << "one download per object";
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(download.IsSucceeded());
    EXPECT_EQ(DownloadTaskKind::BitTorrent, download.GetTaskKind());
    EXPECT_EQ(folder / L"pkg.exe", download.GetFilePath());
    EXPECT_EQ(payload, ReadFileBytes(download.GetFilePath()));

    const std::string entry = "<Seed><gameId>40020</gameId><resume>" + ToMultiByte(folder / L"pkg.exe.vll") +
                              "</resume></Seed>";
    const std::string list = SeedList(entry);
    EXPECT_NE(std::string::npos, list.find(entry)) << list;
    EXPECT_EQ(list.find("<Seed>"), list.rfind("<Seed>"));

    // The next start seeds it again from the list.
    Manager().Shutdown();
    VLBTManager fresh;
    ASSERT_TRUE(fresh.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    for (int i = 0; i < kWaitSeconds * 10 && fresh.CountActiveSeeds() == 0; ++i) Sleep(100);
    EXPECT_EQ(1u, fresh.GetSession()->GetTaskCount());
    EXPECT_TRUE(fresh.IsSeeding(kRuntime));
}

// Until its user is done, a downloaded torrent file is neither written,
// replaced nor deleted by another program.
TEST_F(SingleFileTest, ATorrentDownloadHoldsTheCheckedFile)
{
    ASSERT_TRUE(download.Start(kRuntime));
    ASSERT_TRUE(WaitFinished() && download.IsSucceeded());
    const std::wstring path = download.GetFilePath();
    ASSERT_TRUE(WriteFileBytes(folder / L"other", "other"));
    const auto writes = [&] {
        return VLHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr))
            .Valid();
    };
    EXPECT_FALSE(MoveFileExW((folder / L"other").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) << "replaced";
    EXPECT_FALSE(writes()) << "written";
    EXPECT_FALSE(DeleteFileW(path.c_str())) << "deleted";
    EXPECT_TRUE(payload == ReadFileBytes(path));
}

TEST_F(SingleFileTest, AnHttpAnswerDownloadsOverHttp)
{
    AnswerHttp();
    Serve();
    ASSERT_TRUE(download.Start(kRuntime));
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(download.IsSucceeded());
    EXPECT_EQ(DownloadTaskKind::Http, download.GetTaskKind());
    EXPECT_EQ(folder / L"pkg.exe", download.GetFilePath());
    EXPECT_EQ(payload, ReadFileBytes(download.GetFilePath()));
    EXPECT_EQ(payload.size(), download.GetTotalSize());
    EXPECT_EQ(payload.size(), download.GetDownloaded());
    EXPECT_EQ(0, files.CountRequests(kTorrentTarget));
}

bool AnswerAgain(uint32_t, void*, DownloadFileInfo&)
{
    return true;
}

TEST_F(SingleFileTest, AServiceThatChangesItsMindEndsTheDownload)
{
    struct Case {
        const char* what;
        int type;
        const char* torrentTarget;
    };
    // The torrent cannot be fetched but the provider answers: back to HTTP,
    // whose answer says BitTorrent again. And a kind nobody knows.
    const Case cases[] = {{"flapping", 2, "/t/none"}, {"unknown kind", 3, kTorrentTarget}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        answer.type = c.type;
        answer.torrentUrl = files.Url(c.torrentTarget);
        Serve();
        VLDownloadSingleFile single;
        single.SetFolderCallback(&TestFolderCallback);
        single.SetAddressProvider(&AnswerAgain);
        ASSERT_TRUE(single.Start(kRuntime));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(single.GetFinishEvent(), kWaitSeconds * 1000));
        EXPECT_FALSE(single.IsSucceeded());
        EXPECT_EQ(DownloadTaskKind::Http, single.GetTaskKind());
    }
}

TEST_F(SingleFileTest, DestroyingTheDownloadMidwayReturns)
{
    for (int type : {2, 1}) {
        SCOPED_TRACE(type);
        VLServerFaults slow;
        slow.throttle = 128 * 1024;
        files.SetFaults(slow);
        answer.type = type;
        if (type == 1) AnswerHttp();
        Serve();
        auto single = std::make_unique<VLDownloadSingleFile>();
        single->SetFolderCallback(&TestFolderCallback);
        ASSERT_TRUE(single->Start(kRuntime));
        for (int i = 0; i < kWaitSeconds * 10 && single->GetDownloaded() == 0; ++i)
            ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(single->GetFinishEvent(), 100));
        EXPECT_GT(single->GetDownloaded(), 0u);
        single.reset();
        EXPECT_EQ(0u, Manager().GetSession()->GetTaskCount());
    }
}

// A task that only holds a state and a speed limit.
class IdleTask : public VLDownloadTask {
public:
    IdleTask(DownloadTaskKind kind, std::atomic<int>* stops = nullptr) : VLDownloadTask(kind, kRuntime), stops_(stops)
    {
        SetState(kTaskRunning);
    }
    bool Start() override { return true; }
    bool Stop() override
    {
        SetState(kTaskStopped);
        if (stops_) ++*stops_;
        return true;
    }

private:
    std::atomic<int>* stops_;
};

TEST_F(SingleFileTest, ManagerSharesTheSpeedLimit)
{
    VLDownloadManager manager(nullptr);
    std::atomic<int> stops{0};
    auto* first = new IdleTask(DownloadTaskKind::Http, &stops);
    auto* second = new IdleTask(DownloadTaskKind::Http, &stops);
    auto* torrentTask = new IdleTask(DownloadTaskKind::BitTorrent, &stops);
    auto* idle = new IdleTask(DownloadTaskKind::Http, &stops);
    idle->SetState(kTaskNew);
    for (VLDownloadTask* task : {static_cast<VLDownloadTask*>(first), static_cast<VLDownloadTask*>(second),
                                 static_cast<VLDownloadTask*>(torrentTask), static_cast<VLDownloadTask*>(idle)})
        ASSERT_TRUE(manager.Add(task));
    EXPECT_EQ(3u, manager.CountRunning());
    EXPECT_FALSE(manager.StartTask(idle)) << "one task at a time";
    EXPECT_EQ(kTaskQueued, idle->GetState());

    manager.SetSpeedLimits(100, 7);
    manager.ShareSpeedLimit();
    EXPECT_EQ(34u, first->GetSpeedLimitKB());
    EXPECT_EQ(34u, second->GetSpeedLimitKB());
    EXPECT_EQ(0u, idle->GetSpeedLimitKB());
    BTSessionSettings settings;
    Manager().GetSession()->GetSettings(&settings);
    EXPECT_EQ(34 * 1024, settings.downloadRateLimit);
    EXPECT_EQ(7 * 1024, settings.uploadRateLimit);

    manager.StopAll();
    EXPECT_EQ(4, stops.load()) << "every task, running or queued, is stopped";
    auto* late = new IdleTask(DownloadTaskKind::Http);
    EXPECT_FALSE(manager.Add(late)) << "a closed list takes no task";
    late->Destroy();
}

} // namespace
} // namespace Velora
