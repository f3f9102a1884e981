// The seed list: the seeding policy, which records may be deleted, start-up
// on a busy port range, and seeds restored from "seeds.xml" within the limit.
#include <gtest/gtest.h>

#include "download/BTManager.h"
#include "download/BTText.h"
#include "download/HttpWire.h"
#include "tests/download/BTTestSupport.h"
#include "tests/support/TestTorrent.h"
#include "tests/support/TorrentSeeder.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/read_resume_data.hpp>

#include "base/FileUtil.h"
#include "base/Handles.h"
#include "base/PathUtil.h"
#include "base/TextConvert.h"

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

namespace {

using namespace Velora;
using namespace Velora::Test;

constexpr int64_t kNow = 1700000000;
constexpr int32_t kHour = 3600;

BTTaskStatus SeedStatus(int64_t seenAgo, int32_t seeding, int64_t down, int64_t up, bool error = false)
{
    BTTaskStatus status;
    status.lastSeenComplete = kNow - seenAgo;
    status.seedingTime = seeding;
    status.totalPayloadDownload = down;
    status.totalPayloadUpload = up;
    status.hasError = error ? 1 : 0;
    return status;
}

TEST(SeedPolicy, ChoosesTheFirstRuleThatApplies)
{
    struct Case {
        const char* what;
        BTTaskStatus status;
        uint32_t seeds;
        int32_t expected;
    };
    const Case cases[] = {
        {"no complete copy for just over 3 days", SeedStatus(259201, kHour, 100, 0), 1, kSeedStopped},
        {"a complete copy exactly 3 days ago", SeedStatus(259200, kHour, 100, 0), 1, kSeeding},
        {"an engine error", SeedStatus(0, kHour, 100, 0, true), 1, kSeedStopped},
        {"6 hours of seeding are free", SeedStatus(0, 6 * kHour, 100, 1000), 9, kSeeding},
        {"nothing downloaded counts as ratio 10", SeedStatus(0, 6 * kHour + 1, 0, 0), 1, kSeedStopped},
        {"ratio 3 stops", SeedStatus(0, 7 * kHour, 100, 300), 1, kSeedStopped},
        {"ratio exactly 2 throttles", SeedStatus(0, 7 * kHour, 100, 200), 5, kSeedThrottled},
        {"ratio 2.9 is 2 in whole numbers", SeedStatus(0, 7 * kHour, 100, 299), 5, kSeedThrottled},
        {"ratio 2 with more seeds than the limit stops", SeedStatus(0, 7 * kHour, 100, 200), 6, kSeedStopped},
        {"ratio exactly 1 keeps seeding", SeedStatus(0, 7 * kHour, 100, 100), 9, kSeeding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, ChooseSeedState(c.status, kNow, c.seeds, 5));
    }
}

TEST(SeedPolicy, OnlyOwnRecordsMayBeDeleted)
{
    const std::wstring folder = L"C:\\Temp\\Zofti\\RuntimeCheck";
    struct Case {
        const wchar_t* path;
        bool expected;
    };
    const Case cases[] = {
        {L"C:\\Temp\\Zofti\\RuntimeCheck\\pkg.exe.vll", true},
        {L"c:\\temp\\zofti\\runtimecheck\\PKG.EXE.VLL", true},
        {L"C:\\Temp\\Zofti\\RuntimeCheck\\pkg.exe", false},
        {L"C:\\Windows\\system32\\pkg.exe.vll", false},
        {L"C:\\Temp\\Zofti\\RuntimeCheck\\sub\\pkg.exe.vll", false},
        {L"C:\\Temp\\Zofti\\RuntimeCheck\\..\\pkg.exe.vll", false},
        {L"C:\\Temp\\Zofti\\RuntimeCheck/../x.vll", false},
        {L"pkg.exe.vll", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, IsSeedRecordPath(c.path, folder)) << ToMultiByte(c.path);
    EXPECT_TRUE(IsSeedRecordPath(cases[0].path, L"C:/Temp/Zofti/RuntimeCheck/")) << "a folder given with '/'";
}

TEST(BTManager, InitFailsWhenNoPortOfTheRangeIsFree)
{
    ASSERT_TRUE(StartWinsock());
    std::vector<SOCKET> taken;
    for (uint16_t port = 6881; port <= 6890; ++port) {
        for (const char* address : {"0.0.0.0", "127.0.0.1"}) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(port);
            at.sin_addr.s_addr = inet_addr(address);
            if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0 && listen(s, 1) == 0)
                taken.push_back(s);
            else
                closesocket(s);
        }
    }
    ASSERT_FALSE(taken.empty());
    TestFolder folder;
    for (VLBTNetwork network : {VLBTNetwork::Public, VLBTNetwork::LoopbackOnly}) {
        VLBTManager manager;
        EXPECT_FALSE(manager.Init(folder.Path(), 5, network));
        EXPECT_FALSE(manager.GetSession());
    }
    for (SOCKET s : taken) closesocket(s);
    VLBTManager manager;
    EXPECT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
}

// Records of complete downloads in folder, as a finished download leaves them.
class SeedListTest : public ::testing::Test {
protected:
    void MakeRecords(int count, const std::vector<std::string>& webSeeds = {},
                     const std::vector<std::string>& trackers = {})
    {
        auto session = LoopbackSession();
        for (int i = int(records.size()); count-- > 0; ++i) {
            const std::wstring name = L"pkg" + std::to_wstring(i) + L".exe";
            const std::string payload = MakePayload(20000 + i, 40 + i);
            ASSERT_TRUE(WriteFileBytes(folder / name, payload));
            BTTaskParam param;
            param.savePath = ToMultiByte(folder.Path());
            param.resumeFile = ToMultiByte(folder / (name + L".vll"));
            param.sourceKind = 1;
            param.torrentData = MakeTorrent(ToMultiByte(name), payload, 16384, webSeeds, trackers);
            auto task = session->AddTask(&param, nullptr, nullptr);
            ASSERT_TRUE(task);
            session->RemoveTask(task.get(), BTRemoveMode::KeepFiles);
            records.push_back(folder / (name + L".vll"));
            params.push_back(param);
        }
    }
    void WriteSeedList(const std::string& entries)
    {
        ASSERT_TRUE(WriteFileBytes(folder / L"seeds.xml", "<Seeds>" + entries + "</Seeds>"));
    }
    // One a line, CR LF ended as the program writes them.
    static std::string Entry(uint64_t id, const std::wstring& resume)
    {
        return "<Seed><gameId>" + std::to_string(id) + "</gameId><resume>" + ToMultiByte(resume) +
               "</resume></Seed>\r\n";
    }
    // Waits until the manager's session holds count torrents and the list as
    // many active seeds.
    static bool WaitActive(VLBTManager& manager, uint32_t count)
    {
        for (int i = 0; i < kWaitSeconds * 10; ++i) {
            if (manager.GetSession()->GetTaskCount() == count && manager.CountActiveSeeds() == count) return true;
            Sleep(100);
        }
        return false;
    }

    TestFolder folder;
    std::vector<std::wstring> records;
    std::vector<BTTaskParam> params;
};

// The pieces the record claims; -1 for no record.
int Claimed(const std::string& record)
{
    lt::error_code ec;
    const lt::add_torrent_params resume = lt::read_resume_data(record, ec);
    return ec ? -1 : resume.have_pieces.count();
}

// A completion lists its seed when the last save of its record (one a
// minute) claimed one piece of two; the process is killed right after, or
// ends cleanly and the record or the data changes, or the record counts
// earlier starts (beside a 1 B/s upload limit), or a reader holds the list
// without delete sharing (as fopen does) as the seed is listed. A peer that
// checks every piece takes the package from the next start's seed, or gets
// no piece that fails and the seed goes with its record, torrent copy, data
// (kept past the six free hours) and list entry.
TEST_F(SeedListTest, ASeedGoesOnAtTheNextStartFromWhatItsRecordAndListHold)
{
    enum Reader { kNone, kLetGoRunning, kLetGoAtTheEnd };
    MakeRecords(1);
    const std::wstring data = folder / L"pkg0.exe";
    const std::wstring copy = folder / (ToWide(InfoHashHex(InfoHashOf(params[0].torrentData)).c_str()) + L".torrent");
    const std::string payload = ReadFileBytes(data);
    const auto named = [&] {
        return ReadFileBytes(folder / L"seeds.xml").find("<gameId>40020</gameId>") != std::string::npos;
    };
    const struct {
        const char* what;
        bool killed;
        std::function<void()> change;
        bool seeds;
        Reader reader = kNone;
        int seeded = 0; // the record's seconds seeded, and its all-time upload
        int64_t uploaded = 0;
    } cases[] = {
        {"killed", true, [] {}, true},
        {"list read as it is saved, let go while running", false, [] {}, true, kLetGoRunning},
        {"list read as it is saved, let go at the end", false, [] {}, true, kLetGoAtTheEnd},
        {"8.3 hours seeded, ratio 2.5", false, [] {}, false, kNone, 29880, 250000},
        {"one hour seeded, ratio 0.5", false, [] {}, true, kNone, 3600, 50000},
        {"minus five hours seeded", false, [] {}, true, kNone, -18000, 50000},
        {"the record claims one piece", false,
         [&] { EditRecord(records[0], [](lt::entry& r) { r["pieces"] = std::string("\x00\x01", 2); }); }, true},
        {"8 bytes of the second piece", false,
         [&] { WriteFileBytes(data, std::string(payload).replace(16387, 8, 8, 'x')); }, false},
        {"the whole file", false, [&] { WriteFileBytes(data, std::string(payload.size(), 'x')); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(data, payload));
        // The case before left its seed listed: the manager's worker would
        // add it as the add below does, and one of the two would be refused.
        WriteSeedList("");
        std::string record, list;
        {
            VLBTManager manager;
            ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
            auto task = manager.GetSession()->AddTask(&params[0], nullptr, nullptr);
            ASSERT_TRUE(task);
            task->Resume();
            ASSERT_TRUE(WaitForState(*task, int(BTTorrentState::Seeding)));
            EditRecord(records[0], [](lt::entry& r) { r["pieces"] = std::string("\x01\x00", 2); });
            VLHandle reader(c.reader
                                ? CreateFileW((folder / L"seeds.xml").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
                                : nullptr);
            manager.AddSeed(task, 40020);
            record = ReadFileBytes(records[0]);
            list = ReadFileBytes(folder / L"seeds.xml");
            EXPECT_EQ(!c.reader, named());
            if (c.reader == kLetGoRunning) reader.Reset();
            for (int i = 0; c.reader == kLetGoRunning && i < kWaitSeconds * 10 && !named(); ++i) Sleep(100);
        } // the reader lets go, then the manager ends
        EXPECT_EQ(2, Claimed(record));
        if (c.killed) {
            ASSERT_TRUE(WriteFileBytes(records[0], record) && WriteFileBytes(folder / L"seeds.xml", list));
        }
        c.change();
        if (c.seeded) {
            EditRecord(records[0], [&](lt::entry& r) {
                r["seeding_time"] = r["finished_time"] = c.seeded;
                r["active_time"] = c.seeded + 600;
                r["total_downloaded"] = 100000;
                r["total_uploaded"] = c.uploaded;
                r["upload_rate_limit"] = 1;
            });
        }
        const DWORD started = GetTickCount();

        VLBTManager manager;
        ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
        TestFolder peerFolder;
        TorrentSeeder peer(params[0].torrentData, peerFolder.Path(), false);
        peer.ConnectTo(uint16_t(manager.GetSession()->GetListenPort()));
        if (c.seeds) {
            EXPECT_TRUE(peer.WaitSeeding(kWaitSeconds));
            // The peer's engine counts a piece once its hash has passed,
            // which can be before its last blocks are in the file.
            const std::wstring fetched = peerFolder / L"pkg0.exe";
            for (int i = 0; i < kWaitSeconds * 10 && ReadFileBytes(fetched) != payload; ++i) Sleep(100);
            EXPECT_TRUE(ReadFileBytes(fetched) == payload);
            for (int i = 0; i < kWaitSeconds * 10 && Claimed(ReadFileBytes(records[0])) != 2; ++i) Sleep(100);
            if (c.seeded) Sleep(2000); // seconds seeded in this start
        } else {
            for (int i = 0; i < kWaitSeconds * 10 && manager.CountSeeds() != 0; ++i) Sleep(100);
            EXPECT_EQ(0, peer.FailedBytes());
        }
        EXPECT_EQ(c.seeds, manager.IsSeeding(40020));
        // A seed leaves the list before its files go: the manager's worker
        // ends that removal before the shutdown returns.
        manager.Shutdown();
        const int took = int((GetTickCount() - started) / 1000) + 1;
        EXPECT_EQ(c.seeds ? 2 : -1, Claimed(ReadFileBytes(records[0])));
        EXPECT_EQ(c.seeds, Exists(copy));
        EXPECT_EQ(c.seeds || c.seeded, Exists(data));
        EXPECT_EQ(c.seeds, named());
        if (!c.seeds || !c.seeded) continue;
        lt::error_code ec;
        const lt::add_torrent_params counted = lt::read_resume_data(ReadFileBytes(records[0]), ec);
        const int from = std::max(c.seeded, 0);
        EXPECT_GT(counted.seeding_time, from);
        EXPECT_LE(counted.seeding_time, from + took);
        EXPECT_NEAR(from ? 600 : 0, counted.active_time - counted.finished_time, 1) << "time spent fetching";
        EXPECT_EQ(100000, counted.total_downloaded);
        EXPECT_GE(counted.total_uploaded, c.uploaded + int64_t(payload.size()));
    }
}

TEST_F(SeedListTest, SevenSeedsWithLimitFiveStartFiveAndTheSixthWhenOneGoes)
{
    MakeRecords(7);
    std::string entries;
    for (int i = 0; i < 7; ++i) entries += Entry(40020 + i, records[i]);
    WriteSeedList(entries);

    VLBTManager manager;
    ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    // A second start changes nothing, not even the limit.
    ASSERT_TRUE(manager.Init(folder.Path(), 1, VLBTNetwork::LoopbackOnly));
    EXPECT_EQ(5u, manager.SeedLimit());
    ASSERT_TRUE(WaitActive(manager, 5));
    EXPECT_EQ(7u, manager.CountSeeds());
    EXPECT_TRUE(manager.IsSeeding(40024));
    EXPECT_FALSE(manager.IsSeeding(40025));

    ASSERT_TRUE(manager.RemoveSeedById(40021));
    EXPECT_FALSE(manager.RemoveSeedById(40021));
    ASSERT_TRUE(WaitActive(manager, 5));
    EXPECT_TRUE(manager.IsSeeding(40025));
    EXPECT_FALSE(Exists(records[1])) << "a removed seed forgets its record";
    EXPECT_TRUE(Exists(folder / L"pkg1.exe")) << "the package itself stays";
    const std::string list = ReadFileBytes(folder / L"seeds.xml");
    EXPECT_EQ(std::string::npos, list.find("<gameId>40021</gameId>"));
    EXPECT_NE(std::string::npos, list.find("<gameId>40026</gameId>"));

    // Shutting down keeps the list for the next start.
    manager.Shutdown();
    EXPECT_EQ(list, ReadFileBytes(folder / L"seeds.xml"));
    EXPECT_FALSE(manager.GetSession());
}

TEST_F(SeedListTest, AFinishedDownloadOverTheLimitWaitsItsTurn)
{
    MakeRecords(2);
    WriteSeedList(Entry(40020, records[0]));
    VLBTManager manager;
    ASSERT_TRUE(manager.Init(folder.Path(), 1, VLBTNetwork::LoopbackOnly));
    ASSERT_TRUE(WaitActive(manager, 1));

    auto finished = manager.GetSession()->AddTask(&params[1], nullptr, nullptr);
    ASSERT_TRUE(finished);
    manager.AddSeed(finished, 40021);
    EXPECT_EQ(2u, manager.CountSeeds());
    EXPECT_TRUE(WaitActive(manager, 1));
    EXPECT_FALSE(manager.IsSeeding(40021));
    EXPECT_NE(std::string::npos, ReadFileBytes(folder / L"seeds.xml").find("<gameId>40021</gameId>"));

    ASSERT_TRUE(manager.RemoveSeedById(40020));
    ASSERT_TRUE(WaitActive(manager, 1));
    EXPECT_TRUE(manager.IsSeeding(40021));
}

TEST_F(SeedListTest, ASeedWhoseDataIsGoneLeavesTheList)
{
    MakeRecords(2);
    ASSERT_TRUE(DeleteFileNormal(folder / L"pkg1.exe"));
    WriteSeedList(Entry(40020, records[0]) + Entry(40021, records[1]));
    VLBTManager manager;
    ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    // The engine finds the data missing; the manager's worker takes the seed
    // off the list, then forgets its record.
    for (int i = 0; i < kWaitSeconds * 10 && (manager.CountSeeds() != 1 || Exists(records[1])); ++i) Sleep(100);
    EXPECT_EQ(1u, manager.CountSeeds());
    EXPECT_TRUE(manager.IsSeeding(40020));
    EXPECT_FALSE(Exists(records[1]));
    EXPECT_EQ(1u, manager.GetSession()->GetTaskCount());
}

TEST_F(SeedListTest, BadEntriesAreDroppedAndOnlyOwnRecordsDeleted)
{
    TestFolder elsewhere;
    const std::wstring foreign = elsewhere / L"other.exe.vll";
    const std::wstring notRecord = folder / L"keep.txt";
    const std::wstring broken = folder / L"broken.exe.vll";
    ASSERT_TRUE(WriteFileBytes(foreign, "not a record"));
    ASSERT_TRUE(WriteFileBytes(notRecord, "user data"));
    ASSERT_TRUE(WriteFileBytes(broken, "not a record"));
    const std::wstring longExtension = folder / L"keep.vllx";
    std::wstring shortName(MAX_PATH, L'\0'); // ends in ".VLL"
    ASSERT_TRUE(WriteFileBytes(longExtension, "user data"));
    shortName.resize(GetShortPathNameW(longExtension.c_str(), &shortName[0], MAX_PATH));
    ASSERT_EQ(L".VLL", GetFileExtension(shortName));
    MakeRecords(1);
    WriteSeedList(Entry(40030, foreign) + Entry(40031, notRecord) + Entry(40032, broken) +
                  Entry(40033, folder / GetFileName(shortName)) +
                  "<Seed><resume>" + ToMultiByte(records[0]) + "</resume></Seed>");

    VLBTManager manager;
    ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    EXPECT_EQ(0u, manager.CountSeeds());
    EXPECT_TRUE(Exists(foreign));
    EXPECT_TRUE(Exists(notRecord));
    EXPECT_TRUE(Exists(longExtension));
    EXPECT_FALSE(Exists(broken));
    EXPECT_FALSE(Exists(records[0])) << "an entry without its id loses its record";
}

// Torrents with long tracker and web seed lists (real ones list a hundred
// trackers or more) seed again from the record each shutdown leaves.
TEST_F(SeedListTest, TorrentsWithLongListsSeedAgainAtEachStart)
{
    std::vector<std::string> urls;
    for (int i = 0; i < 200000; ++i) urls.push_back("http://127.0.0.1:1/" + std::to_string(i));
    const std::vector<std::string> first100(urls.begin(), urls.begin() + 100);
    MakeRecords(1, {urls.begin() + 100, urls.begin() + 180}, first100);
    MakeRecords(1, urls);
    for (int start = 0; start < 3; ++start) {
        VLBTManager manager;
        ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
        for (size_t i = 0; start == 0 && i < params.size(); ++i) {
            params[i].urlSeeds = first100;
            auto task = manager.GetSession()->AddTask(&params[i], nullptr, nullptr);
            ASSERT_TRUE(task);
            task->Resume();
            ASSERT_TRUE(WaitForState(*task, int(BTTorrentState::Seeding)));
            manager.AddSeed(task, 40020 + i);
        }
        ASSERT_EQ(2u, manager.CountSeeds()) << "start " << start << " refused a record of the shutdown before";
        ASSERT_TRUE(WaitActive(manager, 2));
        manager.Shutdown();
    }
}

// A seed's data file that is a second name of a file outside (a hard link
// planted before a start, or put in place of the data between two starts) is
// never seeded: the outside file is not opened. A plain one seeds.
TEST_F(SeedListTest, AHardLinkedDataFileNeverSeeds)
{
    TestFolder outside;
    MakeRecords(2);
    WriteSeedList(Entry(40020, records[0]) + Entry(40021, records[1]));
    auto plantLink = [&](const std::wstring& name) {
        const std::wstring data = folder / name;
        return CopyFileW(data.c_str(), (outside / name).c_str(), FALSE) && DeleteFileW(data.c_str()) &&
               CreateHardLinkW(data.c_str(), (outside / name).c_str(), nullptr);
    };
    const struct {
        const wchar_t* planted;
        std::vector<uint64_t> seeding;
    } starts[] = {{L"pkg0.exe", {40021}}, {L"pkg1.exe", {}}};
    for (const auto& start : starts) {
        SCOPED_TRACE(ToMultiByte(start.planted));
        ASSERT_TRUE(plantLink(start.planted));
        VLBTManager manager;
        ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
        const uint32_t count = uint32_t(start.seeding.size());
        for (int i = 0; i < kWaitSeconds * 10 && manager.CountSeeds() != count; ++i) Sleep(100);
        EXPECT_TRUE(WaitActive(manager, count));
        for (uint64_t id : {40020, 40021})
            EXPECT_EQ(std::count(start.seeding.begin(), start.seeding.end(), id) == 1, manager.IsSeeding(id)) << id;
        manager.Shutdown();
    }
}

// Records far larger than any record come first, then records naming the
// seed list, a file beside the folder or a save folder there, then a
// complete download's: only the last seeds, the large ones are never read,
// and nothing beside the folder, nor its seed list or payload, changes.
TEST_F(SeedListTest, OnlyRecordsNamingTheirOwnFolderSeed)
{
    TestFolder beside;
    ASSERT_TRUE(WriteFileBytes(beside / L"victim.txt", "keep me"));
    std::wstring slashed = folder.Path();
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    MakeRecords(4);
    const std::pair<const char*, std::wstring> forged[] = {
        {"resumeFile", folder / L"seeds.xml"},
        {"resumeFile", beside / L"victim.txt"},
        {"savePath", slashed + L"/../" + GetFileName(beside.Path())},
    };
    for (size_t i = 0; i < std::size(forged); ++i)
        EditRecord(records[i + 1], [&](lt::entry& r) { r["taskData"][forged[i].first] = ToMultiByte(forged[i].second); });
    std::string entries;
    for (uint64_t size : {600ull << 20, 1900ull << 20}) {
        const std::wstring big = folder / (L"big" + std::to_wstring(size) + L".exe.vll");
        ASSERT_TRUE(CreateSizedFile(big, size));
        entries += Entry(40001, big);
    }
    for (int i = 0; i < 4; ++i) entries += Entry(40020 + i, records[i]);
    WriteSeedList(entries);
    const std::string list = ReadFileBytes(folder / L"seeds.xml");
    const std::string payload = ReadFileBytes(folder / L"pkg0.exe");

    VLBTManager manager;
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    ASSERT_TRUE(manager.Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    EXPECT_LT(after.PeakPagefileUsage, before.PagefileUsage + (300u << 20)) << "a large record was read";
    ASSERT_TRUE(WaitActive(manager, 1));
    EXPECT_EQ(1u, manager.CountSeeds());
    EXPECT_TRUE(manager.IsSeeding(40020));
    manager.Shutdown();

    EXPECT_EQ(list, ReadFileBytes(folder / L"seeds.xml"));
    EXPECT_EQ(payload, ReadFileBytes(folder / L"pkg0.exe"));
    EXPECT_EQ("keep me", ReadFileBytes(beside / L"victim.txt"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((beside / L"*").c_str(), &found);
    int created = -1; // "victim.txt" is no creation
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        created += found.cFileName[0] != L'.';
    FindClose(search);
    EXPECT_EQ(0, created);
}

// Records whose files pass a link to copies outside the folder, as any
// program of the user can make them, never seed and change nothing outside;
// the record naming its own files still seeds. A linked folder seeds nothing.
TEST_F(SeedListTest, RecordsPassingALinkNeverSeed)
{
    if (!RunningOnWine()) GTEST_SKIP() << "makes its links with the Unix host's ln";
    TestFolder outside;
    MakeRecords(6);
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr) && MakeHostLink(folder / L"link", outside.Path()) &&
                MakeHostLink(folder / L"sub\\link", outside.Path()));
    lt::error_code ec;
    const std::string copy(lt::bdecode(ReadFileBytes(records[4]), ec).dict_find("taskData").dict_find_string_value("torrentFile"));
    // Each file moved outside, then mapped through a link at the first or a
    // middle step, or linked at its own name (a seeded file, the torrent copy, the record).
    const struct { int i; std::wstring name; const char* mapped; } moved[] = {{1, L"pkg1.exe", "link\\pkg1.exe"},
        {2, L"pkg2.exe", "sub\\link\\pkg2.exe"}, {3, L"pkg3.exe", nullptr}, {4, GetFileName(ToWideString(copy)), nullptr},
        {5, L"pkg5.exe.vll", nullptr}};
    std::string entries = Entry(40020, records[0]);
    for (const auto& m : moved) {
        ASSERT_TRUE(MoveFileW((folder / m.name).c_str(), (outside / m.name).c_str()) &&
                    (m.mapped || MakeHostLink(folder / m.name, outside / m.name)));
        if (m.mapped) EditRecord(records[m.i], [&](lt::entry& r) { r["mapped_files"] = lt::entry::list_type{lt::entry(m.mapped)}; });
        entries += Entry(40020 + m.i, records[m.i]);
    }
    WriteSeedList(entries);
    const std::string before = TreeListing(outside.Path());

    {
        VLBTManager manager;
        ASSERT_TRUE(manager.Init(folder.Path(), 10, VLBTNetwork::LoopbackOnly));
        EXPECT_TRUE(WaitActive(manager, 1));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(i == 0, manager.IsSeeding(40020 + i)) << i;
    }
    EXPECT_EQ(before, TreeListing(outside.Path()));

    ASSERT_TRUE(MakeHostLink(outside / L"work", folder.Path()));
    WriteSeedList(Entry(40020, outside / L"work\\pkg0.exe.vll"));
    const std::string own = TreeListing(folder.Path());
    VLBTManager manager;
    ASSERT_TRUE(manager.Init(outside / L"work", 10, VLBTNetwork::LoopbackOnly));
    EXPECT_EQ(0u, manager.CountSeeds());
    manager.Shutdown();
    EXPECT_EQ(own, TreeListing(folder.Path()));
}

} // namespace
