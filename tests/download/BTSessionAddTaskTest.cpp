// Adding torrents to a real engine on loopback: a download fed by a local web
// seed, tasks added again from their records, refusals and removals.
#include <gtest/gtest.h>

#include "download/BTSession.h"
#include "download/BTText.h"
#include "tests/download/BTTestSupport.h"
#include "tests/support/TestTorrent.h"
#include "tests/support/WebSeedServer.h"

#include "base/FileUtil.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/error_code.hpp>

#include <windows.h>

#include <functional>
#include <memory>

namespace {

using namespace Velora;
using namespace Velora::Test;

bool WaitGone(const std::wstring& path)
{
    for (int i = 0; i < kWaitSeconds * 10 && PathExists(path); ++i) Sleep(100);
    return !PathExists(path);
}

struct Download {
    std::string payload;
    std::string torrent;
    BTTaskParam param;
};

// A task whose data is pkg.exe in folder\save, its record beside it.
Download MakeDownload(const TestFolder& folder, size_t size, uint32_t seed,
                      const std::vector<std::string>& urlSeeds = {})
{
    Download d;
    d.payload = MakePayload(size, seed);
    d.torrent = MakeTorrent("pkg.exe", d.payload, 16384);
    d.param = ParamFor(folder, d.torrent);
    d.param.urlSeeds = urlSeeds;
    d.param.rootName = "pkg.exe";
    return d;
}

// Puts a file into folder\save before the task is added, as a download
// that already has its data on disk.
bool WriteSaved(const TestFolder& folder, const std::wstring& name, const std::string& bytes)
{
    return CreateDirectories(folder / L"save") && WriteFileBytes(folder / (L"save\\" + name), bytes);
}

// Adds the task over its complete data, waits for its completion and removes
// it as mode says.
void CompleteAndRemove(IBTSession& session, const BTTaskParam& param, BTRemoveMode mode)
{
    BTRecorder recorder;
    auto task = session.AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    task->SetCallback(nullptr);
    session.RemoveTask(task.get(), mode);
}

std::wstring CopyName(const std::string& torrent)
{
    const std::string hex = InfoHashHex(InfoHashOf(torrent));
    return std::wstring(hex.begin(), hex.end()) + L".torrent";
}

TEST(BTAddTask, WebSeedDownloadCompletesAndLeavesItsRecord)
{
    TestFolder folder;
    const std::string payload = MakePayload(3 * 1024 * 1024, 7);
    WebSeedServer server("/f/pkg.exe", payload);
    ASSERT_TRUE(server.Started());
    const Download d = MakeDownload(folder, payload.size(), 7, {server.Url()});
    ASSERT_EQ(payload, d.payload);
    BTRecorder recorder;
    auto session = LoopbackSession();
    std::string error;
    auto task = session->AddTask(&d.param, &recorder, &error);
    ASSERT_TRUE(task) << error;
    EXPECT_TRUE(FileExists(folder / L"save\\pkg.exe.vll"));
    task->Resume();
    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    ASSERT_TRUE(WaitForState(*task, 5));
    EXPECT_EQ(payload, ReadFileBytes(folder / L"save\\pkg.exe"));
    EXPECT_GT(server.Requests(), 0);

    // The state mapping comes once, with the first status after the resume,
    // which a download from memory-mapped files can outrun; every other call
    // is a change (previous, new).
    auto mapped = [&] {
        for (const auto& entry : recorder.States())
            if (entry.first == 0) return true;
        return false;
    };
    for (int i = 0; i < kWaitSeconds * 10 && !mapped(); ++i) Sleep(100);
    int mappings = 0;
    for (const auto& [previous, state] : recorder.States()) {
        if (previous == 0)
            ++mappings;
        else
            EXPECT_NE(previous, state);
    }
    EXPECT_EQ(1, mappings);
    EXPECT_FALSE(task->IsSeedTask());

    ITorrentInfo& info = *task->GetTorrentInfo();
    std::string hash, path;
    info.GetInfoHash(hash);
    const lt::sha1_hash expected = InfoHashOf(d.torrent);
    EXPECT_EQ(std::string(expected.data(), 20), hash);
    info.GetFilePath(path, 0);
    EXPECT_EQ("pkg.exe", path);
    EXPECT_EQ(1, info.GetFileCount());
    EXPECT_EQ(int64_t(payload.size()), info.GetFileSize(0));
    EXPECT_EQ(int64_t(payload.size()), info.GetTotalSize());
    EXPECT_EQ(16384, info.GetPieceSize());
    EXPECT_EQ(192, info.GetPieceCount());

    // Removing without forgetting writes the record once more.
    session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    EXPECT_EQ(0u, session->GetTaskCount());
    EXPECT_EQ(1, recorder.Count(BTEvent::Complete));

    const std::string record = ReadFileBytes(folder / L"save\\pkg.exe.vll");
    lt::error_code ec;
    lt::bdecode_node root = lt::bdecode(record, ec);
    ASSERT_FALSE(ec);
    lt::bdecode_node data = root.dict_find_dict("taskData");
    ASSERT_TRUE(data);
    EXPECT_EQ(d.param.savePath, data.dict_find_string_value("savePath"));
    EXPECT_EQ(d.param.resumeFile, data.dict_find_string_value("resumeFile"));
    EXPECT_EQ(ToMultiByte(folder / (L"save\\" + CopyName(d.torrent))), data.dict_find_string_value("torrentFile"));
    EXPECT_EQ("", data.dict_find_string_value("orgTorrentFile", "missing"));
    EXPECT_EQ(0, data.dict_find_int_value("addAsSeed", -1));
    lt::bdecode_node seeds = data.dict_find_list("urlSeed");
    ASSERT_TRUE(seeds);
    ASSERT_EQ(1, seeds.list_size());
    EXPECT_EQ(server.Url(), seeds.list_string_value_at(0));
    EXPECT_EQ("pkg.exe", data.dict_find_string_value("rootPath"));
    EXPECT_EQ(d.torrent, ReadFileBytes(folder / (L"save\\" + CopyName(d.torrent))));
}

TEST(BTAddTask, CompleteDataFinishesAndComesBackAsSeed)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 100000, 3);
    ASSERT_TRUE(WriteSaved(folder, L"pkg.exe", d.payload));

    BTRecorder first;
    BTRecorder second;
    auto session = LoopbackSession();
    auto task = session->AddTask(&d.param, &first, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    // Data found complete on disk is a finished download for a non-seed.
    ASSERT_TRUE(first.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    task->SetCallback(nullptr);
    session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);

    auto seed = session->AddTaskFromRecord(d.param.resumeFile, true, &second, nullptr);
    ASSERT_TRUE(seed);
    EXPECT_TRUE(seed->IsSeedTask());
    EXPECT_TRUE(seed->GetRecord()->addAsSeed);
    EXPECT_EQ("pkg.exe", seed->GetRecord()->rootPath);
    EXPECT_EQ(1u, session->GetTaskCount());
    seed->Resume();
    ASSERT_TRUE(WaitForState(*seed, 5));
    BTTaskStatus status;
    EXPECT_EQ(1u, seed->GetStatus(&status)->seedMode);
    EXPECT_NE(0, status.lastSeenComplete);
    session->RemoveTask(seed.get(), BTRemoveMode::KeepFiles);
    // Rewritten on removal, as a seed's record, and valid for the next start.
    BTTaskRecord rewritten;
    EXPECT_TRUE(session->LoadTaskRecord(d.param.resumeFile, &rewritten) && rewritten.addAsSeed);
    EXPECT_EQ(0, second.Count(BTEvent::Complete));
    EXPECT_EQ(0, second.Count(BTEvent::SeedIncomplete));
}

// A finished download's record taken again: as a seed, the engine goes on
// from the pieces it names without reading the data (each piece is checked
// when a peer first asks for it); as a download, it checks every piece on
// disk before it counts one.
TEST(BTAddTask, OnlyADownloadTakenFromItsRecordReadsItsData)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 100000, 4);
    ASSERT_TRUE(WriteSaved(folder, L"pkg.exe", d.payload));
    auto session = LoopbackSession();
    ASSERT_NO_FATAL_FAILURE(CompleteAndRemove(*session, d.param, BTRemoveMode::KeepFiles));
    for (bool asSeed : {true, false}) {
        SCOPED_TRACE(asSeed ? "seed" : "download");
        BTRecorder recorder;
        auto task = session->AddTaskFromRecord(d.param.resumeFile, asSeed, &recorder, nullptr);
        ASSERT_TRUE(task);
        task->Resume();
        ASSERT_TRUE(WaitForState(*task, int(BTTorrentState::Seeding)));
        task->SetCallback(nullptr);
        bool checked = false;
        for (const auto& change : recorder.States()) checked |= change.second == int(BTTorrentState::CheckingFiles);
        EXPECT_EQ(!asSeed, checked);
        session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    }
}

TEST(BTAddTask, RootNameHoldsAcrossRecords)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 50000, 4);
    d.param.rootName = "renamed.bin";
    ASSERT_TRUE(WriteSaved(folder, L"renamed.bin", d.payload));

    BTRecorder recorder;
    auto session = LoopbackSession();
    auto task = session->AddTask(&d.param, &recorder, nullptr);
    ASSERT_TRUE(task);
    EXPECT_EQ("renamed.bin", task->GetRecord()->rootPath);
    task->Resume();
    ASSERT_TRUE(recorder.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    task->SetCallback(nullptr);
    session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);

    auto again = session->AddTaskFromRecord(d.param.resumeFile, false, nullptr, nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ("renamed.bin", again->GetRecord()->rootPath);
    EXPECT_FALSE(PathExists(folder / L"save\\pkg.exe"));
}

// A record lies in a folder every user can write: none of the engine's
// settings it can carry is taken. The download added from it gets the limits
// a fresh add gets, and ends with its data from its web seed.
TEST(BTAddTask, ARecordsEngineSettingsAreNotTaken)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 3 * 1024 * 1024, 11);
    WebSeedServer server("/f/pkg.exe", d.payload);
    ASSERT_TRUE(server.Started());
    d.param.urlSeeds = {server.Url()};
    auto session = LoopbackSession();
    auto fresh = session->AddTask(&d.param, nullptr, nullptr);
    ASSERT_TRUE(fresh);
    session->RemoveTask(fresh.get(), BTRemoveMode::KeepFiles);
    // Limits that would make it crawl, or never fetch or finish.
    ASSERT_TRUE(DeleteFileW((folder / L"save\\pkg.exe").c_str()));
    ASSERT_NO_FATAL_FAILURE(EditRecord(folder / L"save\\pkg.exe.vll", [](lt::entry& r) {
        r["download_rate_limit"] = 2000;
        r["max_connections"] = 1;
        r["upload_rate_limit"] = 1000;
        r["max_uploads"] = 1;
        r["file_priority"] = lt::entry::list_type{lt::entry(0)};
        r["piece_priority"] = std::string(192, '\0');
        r["upload_mode"] = 1;
    }));
    BTRecorder recorder;
    auto task = session->AddTaskFromRecord(d.param.resumeFile, false, &recorder, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    EXPECT_TRUE(recorder.WaitForEvent(BTEvent::Complete, kWaitSeconds));
    // No limit of its own, as a fresh add: the status is the engine's since
    // the completion.
    BTTaskStatus status;
    int32_t download = 0, upload = 0;
    task->GetRateLimits(download, upload);
    task->GetStatus(&status);
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}),
              (std::vector<int>{download, upload, status.connectionsLimit, status.uploadsLimit}));
    task->SetCallback(nullptr);
    session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    EXPECT_TRUE(d.payload == ReadFileBytes(folder / L"save\\pkg.exe"));
}

TEST(BTAddTask, AnyNumberOfWebSeedsJoinsTheAddAtOnce)
{
    // Added one engine call each, 200,000 web seeds kept the engine's thread,
    // and every later call on the torrent, busy for many minutes.
    TestFolder folder;
    std::vector<std::string> urls;
    for (int i = 0; i < 200000; ++i) urls.push_back("http://127.0.0.1:1/" + std::to_string(i));
    Download d = MakeDownload(folder, 50000, 6, urls);
    auto session = LoopbackSession();
    auto task = session->AddTask(&d.param, nullptr, nullptr);
    ASSERT_TRUE(task);
    EXPECT_EQ("pkg.exe", task->GetRecord()->rootPath);
    session->RemoveTask(task.get(), BTRemoveMode::ForgetAll);
}

TEST(BTAddTask, DuplicateIsRefusedAndTheFirstStays)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 50000, 5);
    auto session = LoopbackSession();
    auto task = session->AddTask(&d.param, nullptr, nullptr);
    ASSERT_TRUE(task);
    task->Resume();

    std::string error;
    EXPECT_FALSE(session->AddTask(&d.param, nullptr, &error));
    EXPECT_EQ(lt::error_code(lt::errors::duplicate_torrent).message(), error);
    EXPECT_EQ(1u, session->GetTaskCount());
    EXPECT_TRUE(task->IsRunning());
}

TEST(BTAddTask, RefusalsNameTheirReasonAndAddNothing)
{
    TestFolder folder, outside;
    Download d = MakeDownload(folder, 50000, 6);
    WriteFileBytes(folder / L"file", "x");
    // The data's name as a link to a file outside, and as one that leads nowhere.
    ASSERT_TRUE(WriteFileBytes(outside / L"victim.dat", "precious") && WriteFileBytes(outside / L"new.dat", "") &&
                CreateDirectories(folder / L"save4") && CreateDirectories(folder / L"save5") &&
                MakeHostLink(folder / L"save4\\pkg.exe", outside / L"victim.dat") &&
                MakeHostLink(folder / L"save5\\pkg.exe", outside / L"new.dat") &&
                DeleteFileW((outside / L"new.dat").c_str()));
    const std::string before = TreeListing(outside.Path());
    auto session = LoopbackSession();

    struct Case {
        const char* name;
        std::function<void(BTTaskParam&)> edit;
        const char* text; // null: any non-empty text
    };
    const Case cases[] = {
        {"malformed bytes", [](BTTaskParam& p) { p.torrentData = "d4:infoi1ee"; }, nullptr},
        {"missing torrent file",
         [&](BTTaskParam& p) {
             p.sourceKind = 0;
             p.torrentFile = ToMultiByte(folder / L"none.torrent");
         },
         nullptr},
        {"save folder below a file", [&](BTTaskParam& p) { p.savePath = ToMultiByte(folder / L"file\\save"); },
         nullptr},
        {"copy cannot be written",
         [&](BTTaskParam& p) {
             // A folder where the copy should go.
             CreateDirectories(folder / (L"save3\\" + CopyName(d.torrent)));
             p.savePath = ToMultiByte(folder / L"save3");
         },
         "save torrent failed"},
        {"data behind a link", [&](BTTaskParam& p) { p.savePath = ToMultiByte(folder / L"save4"); }, nullptr},
        {"data a link to nothing", [&](BTTaskParam& p) { p.savePath = ToMultiByte(folder / L"save5"); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BTTaskParam param = d.param;
        c.edit(param);
        std::string error;
        EXPECT_FALSE(session->AddTask(&param, nullptr, &error));
        EXPECT_FALSE(error.empty());
        if (c.text) {
            EXPECT_EQ(c.text, error);
        }
        EXPECT_EQ(0u, session->GetTaskCount());
    }
    EXPECT_EQ(before, TreeListing(outside.Path()));
    BTTaskParam unknownKind = d.param;
    unknownKind.sourceKind = 2;
    EXPECT_FALSE(session->AddTask(&unknownKind, nullptr, nullptr));
    // A refused add leaves no torrent behind: the same torrent goes in now.
    EXPECT_TRUE(session->AddTask(&d.param, nullptr, nullptr));
    EXPECT_FALSE(session->AddTaskFromRecord(ToMultiByte(folder / L"none.vll"), false, nullptr, nullptr));
}

TEST(BTAddTask, ExistingTorrentCopyIsKept)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 50000, 8);
    ASSERT_TRUE(WriteSaved(folder, CopyName(d.torrent), "older copy"));
    const std::wstring copy = folder / (L"save\\" + CopyName(d.torrent));
    auto session = LoopbackSession();
    ASSERT_TRUE(session->AddTask(&d.param, nullptr, nullptr));
    EXPECT_EQ("older copy", ReadFileBytes(copy));
}

TEST(BTAddTask, TorrentFileOnDiskIsCopiedBesideTheDownload)
{
    TestFolder folder;
    Download d = MakeDownload(folder, 50000, 9);
    WriteFileBytes(folder / L"given.torrent", d.torrent);
    d.param.sourceKind = 0;
    d.param.torrentFile = ToMultiByte(folder / L"given.torrent");
    d.param.torrentData.clear();
    auto session = LoopbackSession();
    auto task = session->AddTask(&d.param, nullptr, nullptr);
    ASSERT_TRUE(task);
    EXPECT_EQ(d.param.torrentFile, task->GetRecord()->orgTorrentFile);
    EXPECT_EQ(d.torrent, ReadFileBytes(folder / (L"save\\" + CopyName(d.torrent))));
}

// Swaps the save folder for a link to save-outside once it has found it plain.
struct SwappingSession : CBTSession {
    explicit SwappingSession(std::wstring save) : CBTSession(6881, 6890, VLBTNetwork::LoopbackOnly), save(save) {}
    void OnSaveFolderChecked() override
    {
        swapped = MoveFileW(save.c_str(), (save + L"-moved").c_str()) && MakeHostLink(save, save + L"-outside");
    }
    const std::wstring save;
    bool swapped = false;
};

TEST(BTAddTask, ATorrentCopyIntoAFolderSwappedForALinkMakesNothingOutside)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its link with the Unix host's ln";
    TestFolder folder;
    Download d = MakeDownload(folder, 50000, 9);
    ASSERT_TRUE(WriteFileBytes(folder / L"given.torrent", d.torrent) && CreateDirectories(folder / L"save-outside"));
    d.param.sourceKind = 0;
    d.param.torrentFile = ToMultiByte(folder / L"given.torrent");
    SwappingSession session(folder / L"save");
    EXPECT_FALSE(session.AddTask(&d.param, nullptr, nullptr));
    EXPECT_TRUE(session.swapped);
    EXPECT_FALSE(Exists(folder / (L"save-outside\\" + CopyName(d.torrent))));
}

// Removed while the engine reads the data, here as it hashes the one piece
// of 64 MiB in its check: the engine closes the file some time after the
// removal has returned, and a file it still has mapped cannot be deleted.
// The data goes all the same.
TEST(BTAddTask, DataTheEngineStillReadsGoesWithTheRemoval)
{
    TestFolder folder;
    const std::string payload = MakePayload(64 << 20, 17);
    BTTaskParam param = ParamFor(folder, MakeTorrent("pkg.exe", payload, 64 << 20));
    ASSERT_TRUE(WriteSaved(folder, L"pkg.exe", payload));
    BTRecorder recorder;
    auto session = LoopbackSession();
    auto task = session->AddTask(&param, &recorder, nullptr);
    ASSERT_TRUE(task);
    task->Resume();
    const auto checking = [&] {
        for (const auto& change : recorder.States())
            if (change.second == int(BTTorrentState::CheckingFiles)) return true;
        return false;
    };
    for (int i = 0; i < kWaitSeconds * 1000 && !checking(); ++i) Sleep(1);
    ASSERT_TRUE(checking());
    // The hash starts as the check does and takes some 100 ms: removed a
    // little after the check began, the engine has the file mapped.
    Sleep(20);
    task->SetCallback(nullptr);
    session->RemoveTask(task.get(), BTRemoveMode::ForgetAll);
    EXPECT_TRUE(WaitGone(folder / L"save\\pkg.exe"));
}

TEST(BTAddTask, RemoveTaskModesLeaveTheExpectedFiles)
{
    struct Case {
        BTRemoveMode mode;
        bool data, record, copy;
    };
    const Case cases[] = {{BTRemoveMode::KeepFiles, true, true, true},
                          {BTRemoveMode::ForgetRecord, true, false, false},
                          {BTRemoveMode::ForgetAll, false, false, false}};
    auto session = LoopbackSession();
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        TestFolder folder;
        Download d = MakeDownload(folder, 60000, 10 + uint32_t(c.mode));
        ASSERT_TRUE(WriteSaved(folder, L"pkg.exe", d.payload));
        ASSERT_NO_FATAL_FAILURE(CompleteAndRemove(*session, d.param, c.mode));
        EXPECT_EQ(0u, session->GetTaskCount());
        const std::wstring data = folder / L"save\\pkg.exe";
        if (c.data)
            EXPECT_EQ(d.payload, ReadFileBytes(data));
        else
            EXPECT_TRUE(WaitGone(data));
        EXPECT_EQ(c.record, FileExists(folder / L"save\\pkg.exe.vll"));
        EXPECT_EQ(c.copy, FileExists(folder / (L"save\\" + CopyName(d.torrent))));
    }
}

} // namespace
