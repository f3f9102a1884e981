// The check of a finished file before its install: the exact pieces that
// fail, found by several hashers at once; the file held against writers
// from its open; and a check under way that holds no other download up.
#include "download/BTPieceCheck.h"

#include "download/BTDownloadTask.h"
#include "tests/download/BTDownloadTestSupport.h"

#include <gtest/gtest.h>

#include <process.h>

#include <functional>
#include <vector>

namespace Velora {
namespace {

using namespace Velora::Test;

VLPieceCheck Check(const std::wstring& path, const std::string& torrent)
{
    return CheckPieces(path, reinterpret_cast<const unsigned char*>(torrent.data()), torrent.size());
}

TEST(BTPieceCheck, FindsExactlyTheBadPieces)
{
    // 64 whole pieces of 16 KiB and a short one, 64: every hasher of the
    // machine takes several. Pieces of 4 MiB take several reads each.
    const int small = 16384, large = 4 << 20;
    std::vector<int> all;
    for (int piece = 0; piece < 65; ++piece) all.push_back(piece);
    const struct {
        const char* what;
        int piece;
        std::function<void(std::string&)> change;
        std::vector<int> bad;
    } cases[] = {
        {"all good", small, [](std::string&) {}, {}},
        {"one piece changed in the middle", small, [&](std::string& b) { b[31 * small + 100] ^= 1; }, {31}},
        {"the last short piece changed", small, [&](std::string& b) { b[64 * small + 4999] ^= 1; }, {64}},
        {"one byte short", small, [](std::string& b) { b.pop_back(); }, {64}},
        {"one byte long", small, [](std::string& b) { b.push_back('x'); }, {64}},
        {"empty", small, [](std::string& b) { b.clear(); }, all},
        {"large pieces, the third read of one changed", large, [&](std::string& b) { b[large + (3 << 20)] ^= 1; }, {1}},
    };
    TestFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = MakePayload(c.piece == small ? 64 * small + 5000 : 2 * large + 5000, 71);
        const std::string torrent = MakeTorrent("pkg.exe", bytes, c.piece);
        c.change(bytes);
        ASSERT_TRUE(WriteFileBytes(folder / L"pkg.exe", bytes));
        const VLPieceCheck check = Check(folder / L"pkg.exe", torrent);
        EXPECT_EQ(DWORD(ERROR_SUCCESS), check.error);
        EXPECT_EQ(c.bad, check.badPieces);
        EXPECT_EQ(c.bad.empty(), check.Passed());
    }
}

// A writer already there fails the check's open; a file that passed stays
// closed to other programs' writes until its handle goes.
TEST(BTPieceCheck, HoldsTheFileAgainstWriters)
{
    TestFolder folder;
    const std::wstring path = folder / L"pkg.exe";
    const std::string payload = MakePayload(100000, 74), torrent = MakeTorrent("pkg.exe", payload, 16384);
    ASSERT_TRUE(WriteFileBytes(path, payload));
    const auto appendFromAnotherProcess = [&] { _wsystem((L"echo planted>>\"" + path + L"\"").c_str()); };
    {
        VLHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        const VLPieceCheck check = Check(path, torrent);
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), check.error);
        EXPECT_TRUE(check.badPieces.empty()) << "a file in use is no bad file";
    }
    VLPieceCheck check = Check(path, torrent);
    ASSERT_TRUE(check.Passed());
    appendFromAnotherProcess();
    EXPECT_EQ(payload, ReadFileBytes(path));
    check.file.Reset();
    appendFromAnotherProcess();
    EXPECT_NE(payload, ReadFileBytes(path)) << "the same write once the handle is gone";
}

// Runs another download to its end before its own file's check goes on.
class CheckAfterAnother : public VLBTTask {
public:
    CheckAfterAnother(const std::wstring& folder, VLDownloadTask& other, RecordingListener& reports)
        : VLBTTask(kRuntime, folder), other_(other), reports_(reports)
    {
    }
    uint32_t otherResult = 0xFFFFFFFF;

protected:
    void OnCheckingFile() override
    {
        if (other_.Start()) reports_.WaitFinished(otherResult, kWaitSeconds * 1000);
    }

private:
    VLDownloadTask& other_;
    RecordingListener& reports_;
};

// While one download's file is checked, the session goes on reporting others.
TEST_F(BTDownloadTest, AnotherDownloadFinishesWhileACheckRuns)
{
    const std::string payload2 = MakePayload(1024 * 1024 + 3, 72), torrent2 = MakeTorrent("other.exe", payload2, 65536);
    files.SetFile("/f/other.exe", payload2);
    files.SetFile("/t/other.torrent", torrent2);
    const TorrentAnswer other{2,
                              Md5Of(torrent2),
                              std::to_string(torrent2.size()),
                              files.Url("/t/other.torrent"),
                              files.Url("/f/other.exe"),
                              "other.exe"};
    service.SetFile("/query_url.php?soft=2.0.0.2996&id=40021", other.Xml());

    RecordingListener reports, otherReports;
    VLTaskPtr otherTask(new VLBTTask(40021, folder.Path()));
    auto* checking = new CheckAfterAnother(folder.Path(), *otherTask, otherReports);
    VLTaskPtr task(checking);
    task->listener.Set(&reports);
    otherTask->listener.Set(&otherReports);
    ASSERT_TRUE(task->Start());
    uint32_t result = 0xFFFFFFFF;
    ASSERT_TRUE(reports.WaitFinished(result, 2 * kWaitSeconds * 1000));
    EXPECT_EQ(kDownloadOk, result);
    EXPECT_EQ(kDownloadOk, checking->otherResult);
    EXPECT_EQ(payload2, ReadFileBytes(folder / L"other.exe"));
}

} // namespace
} // namespace Velora
