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

constexpr int kPiece = 16384;
// 64 whole pieces and a short last one (piece 64): enough for every hasher
// of a machine to take several.
constexpr int kPieces = 65;
const std::string kPayload = MakePayload(64 * kPiece + 5000, 71);
const std::string kTorrent = MakeTorrent("pkg.exe", kPayload, kPiece);

VLPieceCheck Check(const std::wstring& path)
{
    return CheckPieces(path, reinterpret_cast<const unsigned char*>(kTorrent.data()), kTorrent.size());
}

TEST(BTPieceCheck, FindsExactlyTheBadPieces)
{
    struct Case {
        const char* what;
        std::function<void(std::string&)> change;
        std::vector<int> bad;
    };
    std::vector<int> all, everyThird;
    for (int piece = 0; piece < kPieces; ++piece) {
        all.push_back(piece);
        if (piece % 3 == 0) everyThird.push_back(piece);
    }
    const Case cases[] = {
        {"all good", [](std::string&) {}, {}},
        {"one piece changed in the middle", [](std::string& b) { b[31 * kPiece + 100] ^= 1; }, {31}},
        {"the last short piece changed", [](std::string& b) { b[64 * kPiece + 4999] ^= 1; }, {64}},
        {"one byte short", [](std::string& b) { b.pop_back(); }, {64}},
        {"one byte long", [](std::string& b) { b.push_back('x'); }, {64}},
        {"empty", [](std::string& b) { b.clear(); }, all},
        {"every third piece changed",
         [](std::string& b) {
             for (size_t at = 7; at < b.size(); at += 3 * kPiece) b[at] ^= 0x80;
         },
         everyThird},
    };
    TestFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = kPayload;
        c.change(bytes);
        ASSERT_TRUE(WriteFileBytes(folder / L"pkg.exe", bytes));
        const VLPieceCheck check = Check(folder / L"pkg.exe");
        EXPECT_EQ(DWORD(ERROR_SUCCESS), check.error);
        EXPECT_EQ(c.bad, check.badPieces);
        EXPECT_EQ(c.bad.empty(), check.Passed());
    }
    const VLPieceCheck missing = Check(folder / L"none.exe");
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), missing.error);
    EXPECT_TRUE(missing.badPieces.empty());
    EXPECT_FALSE(missing.Passed());
}

// Pieces of 4 MiB are read in several parts, each at its own place.
TEST(BTPieceCheck, PiecesLongerThanOneRead)
{
    const int piece = 4 * 1024 * 1024;
    std::string bytes = MakePayload(2 * piece + 1000, 73);
    const std::string torrent = MakeTorrent("pkg.exe", bytes, piece);
    TestFolder folder;
    for (const auto& [at, bad] :
         {std::pair{-1, std::vector<int>{}}, std::pair{piece + 3 * 1024 * 1024 + 5, std::vector<int>{1}}}) {
        if (at >= 0) bytes[size_t(at)] ^= 1;
        ASSERT_TRUE(WriteFileBytes(folder / L"pkg.exe", bytes));
        const VLPieceCheck check =
            CheckPieces(folder / L"pkg.exe", reinterpret_cast<const unsigned char*>(torrent.data()), torrent.size());
        EXPECT_EQ(bad, check.badPieces) << at;
        EXPECT_EQ(bad.empty(), check.Passed()) << at;
    }
}

// Another program appending to the file, through a shell of its own.
void AppendFromAnotherProcess(const std::wstring& path)
{
    _wsystem((L"echo planted>>\"" + path + L"\"").c_str());
}

// The file is held from the check's open: a writer already there fails the
// open, and a file that passed stays closed to other programs' writes until
// its handle goes.
TEST(BTPieceCheck, HoldsTheFileAgainstWriters)
{
    TestFolder folder;
    const std::wstring path = folder / L"pkg.exe";
    ASSERT_TRUE(WriteFileBytes(path, kPayload));
    {
        VLHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer.Valid());
        const VLPieceCheck check = Check(path);
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), check.error);
        EXPECT_TRUE(check.badPieces.empty()) << "a file in use is no bad file";
    }
    VLPieceCheck check = Check(path);
    ASSERT_TRUE(check.Passed());
    AppendFromAnotherProcess(path);
    EXPECT_EQ(kPayload, ReadFileBytes(path));
    check.file.Reset();
    AppendFromAnotherProcess(path);
    EXPECT_NE(kPayload, ReadFileBytes(path)) << "the same write once the handle is gone";
}

// Starts another download when its own finished file is about to be
// checked, and lets the check go on once that one has finished (or the wait
// gave up).
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

// While one download's finished file is checked, the session goes on
// reporting the others: a second download runs to its end meanwhile.
TEST_F(BTDownloadTest, AnotherDownloadFinishesWhileACheckRuns)
{
    const std::string otherPayload = MakePayload(1024 * 1024 + 3, 72);
    const std::string otherTorrent = MakeTorrent("other.exe", otherPayload, 65536);
    files.SetFile("/f/other.exe", otherPayload);
    files.SetFile("/t/other.torrent", otherTorrent);
    TorrentAnswer other;
    other.md5 = Md5Of(otherTorrent);
    other.size = std::to_string(otherTorrent.size());
    other.torrentUrl = files.Url("/t/other.torrent");
    other.url = files.Url("/f/other.exe");
    other.fileName = "other.exe";
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
    EXPECT_EQ(otherPayload, ReadFileBytes(folder / L"other.exe"));
}

} // namespace
} // namespace Velora
