// The task record file and the small writers: bencoded shapes the readers
// accept or refuse, files the deleters touch, and non-truncating writes.
#include <gtest/gtest.h>

#include "download/BTTask.h"
#include "download/BTTaskRecord.h"
#include "download/BTText.h"
#include "tests/support/TestFolder.h"

#include "base/FileUtil.h"
#include "base/TextConvert.h"

#include <libtorrent/bencode.hpp>

#include <functional>
#include <iterator>

namespace {

using namespace Velora;
using Velora::Test::ReadFileBytes;
using Velora::Test::TestFolder;
using Velora::Test::WriteFileBytes;

lt::entry FullTaskData()
{
    lt::entry data;
    data["savePath"] = "C:\\save";
    data["resumeFile"] = "C:\\save\\pkg.exe.vll";
    data["torrentFile"] = "C:\\save\\t.torrent";
    data["orgTorrentFile"] = "C:\\org.torrent";
    data["addAsSeed"] = lt::entry::integer_type(1);
    data["urlSeed"] = lt::entry::list_type{lt::entry("http://a/1"), lt::entry("http://b/2")};
    data["rootPath"] = "pkg.exe";
    return data;
}

std::string Encode(const lt::entry& e)
{
    std::string bytes;
    lt::bencode(std::back_inserter(bytes), e);
    return bytes;
}

// A record file body: resume-data keys plus "taskData" edited by the case.
std::string RecordWith(const std::function<void(lt::entry&)>& edit)
{
    lt::entry root;
    root["file-format"] = "libtorrent resume file";
    root["taskData"] = FullTaskData();
    edit(root);
    return Encode(root);
}

struct ReadCase {
    const char* name;
    std::function<void(lt::entry&)> edit;
    bool reads;
};

TEST(BTTaskRecord, ReadTaskRecordIsTypeStrict)
{
    const ReadCase cases[] = {
        {"complete", [](lt::entry&) {}, true},
        {"no taskData reads as empty", [](lt::entry& r) { r.dict().erase("taskData"); }, true},
        {"addAsSeed as string", [](lt::entry& r) { r["taskData"]["addAsSeed"] = "1"; }, false},
        {"savePath as integer", [](lt::entry& r) { r["taskData"]["savePath"] = lt::entry::integer_type(3); }, false},
        {"urlSeed as string", [](lt::entry& r) { r["taskData"]["urlSeed"] = "http://a/1"; }, false},
        {"urlSeed holding an integer",
         [](lt::entry& r) { r["taskData"]["urlSeed"] = lt::entry::list_type{lt::entry(lt::entry::integer_type(1))}; }, false},
        {"taskData as list", [](lt::entry& r) { r["taskData"] = lt::entry::list_type{}; }, false},
        {"top level as list", [](lt::entry& r) { r = lt::entry::list_type{lt::entry("x")}; }, false},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = RecordWith(c.edit);
        lt::error_code ec;
        lt::bdecode_node node = lt::bdecode(bytes, ec);
        ASSERT_FALSE(ec);
        BTTaskRecord record;
        EXPECT_EQ(c.reads, ReadTaskRecord(record, node));
    }
}

TEST(BTTaskRecord, MissingKeysReadAsDefaults)
{
    const std::string bytes = RecordWith([](lt::entry& r) {
        r["taskData"].dict().erase("addAsSeed");
        r["taskData"].dict().erase("urlSeed");
    });
    lt::error_code ec;
    BTTaskRecord record;
    ASSERT_TRUE(ReadTaskRecord(record, lt::bdecode(bytes, ec)));
    EXPECT_FALSE(record.addAsSeed);
    EXPECT_TRUE(record.urlSeed.empty());
    EXPECT_EQ("C:\\save", record.savePath);
    EXPECT_EQ("pkg.exe", record.rootPath);
}

TEST(BTTaskRecord, WrittenRecordKeepsSeedsInOrderAndReadsBack)
{
    BTTaskRecord written;
    written.savePath = "C:\\s";
    written.resumeFile = "C:\\s\\a.vll";
    written.orgTorrentFile = "";
    written.torrentFile = "C:\\s\\0a.torrent";
    written.addAsSeed = false;
    written.urlSeed = {"http://127.0.0.1:1/z", "http://127.0.0.1:2/a"};
    written.rootPath = "a";
    lt::entry resume;
    resume["info-hash"] = std::string(20, 'x');
    WriteTaskRecord(written, resume);

    const lt::entry::list_type& seeds = resume["taskData"]["urlSeed"].list();
    ASSERT_EQ(2u, seeds.size());
    EXPECT_EQ("http://127.0.0.1:1/z", seeds[0].string());
    EXPECT_EQ("http://127.0.0.1:2/a", seeds[1].string());
    EXPECT_EQ(0, resume["taskData"]["addAsSeed"].integer());
    EXPECT_EQ(std::string(20, 'x'), resume["info-hash"].string());

    const std::string bytes = Encode(resume);
    lt::error_code ec;
    BTTaskRecord read;
    ASSERT_TRUE(ReadTaskRecord(read, lt::bdecode(bytes, ec)));
    EXPECT_EQ(written.savePath, read.savePath);
    EXPECT_EQ(written.resumeFile, read.resumeFile);
    EXPECT_EQ(written.torrentFile, read.torrentFile);
    EXPECT_EQ(written.orgTorrentFile, read.orgTorrentFile);
    EXPECT_EQ(written.urlSeed, read.urlSeed);
    EXPECT_EQ(written.rootPath, read.rootPath);
}

TEST(BTTaskRecord, LoadTaskRecordNeedsAWholeValidRecord)
{
    TestFolder folder;
    struct Case {
        const char* name;
        std::string body;
        bool loads;
    };
    const Case cases[] = {
        {"complete", RecordWith([](lt::entry&) {}), true},
        {"stale bytes after the value", RecordWith([](lt::entry&) {}) + "3:abcde", true},
        {"empty rootPath", RecordWith([](lt::entry& r) { r["taskData"]["rootPath"] = ""; }), false},
        {"no savePath", RecordWith([](lt::entry& r) { r["taskData"].dict().erase("savePath"); }), false},
        {"no taskData", RecordWith([](lt::entry& r) { r.dict().erase("taskData"); }), false},
        {"not bencoded", "this is no record", false},
        {"empty file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(folder / L"r.vll", c.body));
        BTTaskRecord record;
        EXPECT_EQ(c.loads, LoadTaskRecord(ToMultiByte(folder / L"r.vll"), &record));
        EXPECT_EQ(c.loads, LoadTaskRecord(ToMultiByte(folder / L"r.vll"), nullptr));
        if (c.loads) {
            EXPECT_EQ("C:\\save", record.savePath);
        }
    }
    EXPECT_FALSE(LoadTaskRecord(ToMultiByte(folder / L"missing.vll"), nullptr));
    EXPECT_FALSE(LoadTaskRecord("", nullptr));
}

TEST(BTTaskRecord, SaveFileWritesAtStartWithoutTruncating)
{
    TestFolder folder;
    const std::string path = ToMultiByte(folder / L"f.bin");
    EXPECT_EQ(0, save_file(path, std::vector<char>{'l', 'o', 'n', 'g', 'e', 'r'}));
    EXPECT_EQ(0, SaveTorrentData(path, "ab"));
    EXPECT_EQ("abnger", ReadFileBytes(folder / L"f.bin"));
    EXPECT_EQ(-1, save_file(ToMultiByte(folder / L"no-such-folder\\f.bin"), std::vector<char>{'x'}));
    EXPECT_EQ(-1, SaveTorrentData(ToMultiByte(folder / L"no-such-folder\\f.bin"), "x"));
    EXPECT_FALSE(FileExists(folder / L"no-such-folder"));
}

TEST(BTTaskRecord, ShrunkRecordStillLoads)
{
    TestFolder folder;
    const std::string path = ToMultiByte(folder / L"r.vll");
    ASSERT_EQ(0, SaveTorrentData(path, RecordWith([](lt::entry& r) { r["pad"] = std::string(500, 'p'); })));
    ASSERT_EQ(0, SaveTorrentData(path, RecordWith([](lt::entry& r) { r["taskData"]["rootPath"] = "new.exe"; })));
    BTTaskRecord record;
    ASSERT_TRUE(LoadTaskRecord(path, &record));
    EXPECT_EQ("new.exe", record.rootPath);
}

// A record as the session writes it, naming files in folder.
void WriteRecordFiles(const TestFolder& folder, const std::string& rootPath,
                      const std::string& torrentName)
{
    CreateDirectories(folder / L"save\\dir");
    WriteFileBytes(folder / L"save\\pkg.exe", "data");
    WriteFileBytes(folder / L"save\\dir\\inner", "data");
    WriteFileBytes(folder / L"victim", "keep me");
    WriteFileBytes(folder / (L"save\\" + std::wstring(torrentName.begin(), torrentName.end())), "torrent");
    const std::string bytes = RecordWith([&](lt::entry& r) {
        r["taskData"]["savePath"] = ToMultiByte(folder / L"save");
        r["taskData"]["rootPath"] = rootPath;
        r["taskData"]["torrentFile"] = ToMultiByte(folder / L"save\\") + torrentName;
    });
    WriteFileBytes(folder / L"save\\pkg.exe.vll", bytes);
}

TEST(BTTaskRecord, DeleteTaskFilesRemovesWhatTheModeSays)
{
    const std::string copy = std::string(40, 'a') + ".torrent";
    const std::wstring wcopy(copy.begin(), copy.end());
    struct Case {
        const char* name;
        std::string rootPath;
        std::string torrentName;
        BTRemoveMode mode;
        bool dataKept, recordKept, copyKept;
        const wchar_t* data;
    };
    const Case cases[] = {
        {"mode 0 keeps all", "pkg.exe", copy, BTRemoveMode::KeepFiles, true, true, true, L"save\\pkg.exe"},
        {"mode 1 keeps data", "pkg.exe", copy, BTRemoveMode::ForgetRecord, true, false, false, L"save\\pkg.exe"},
        {"mode 3 deletes all", "pkg.exe", copy, BTRemoveMode::ForgetAll, false, false, false, L"save\\pkg.exe"},
        {"mode 3 deletes a folder root", "dir", copy, BTRemoveMode::ForgetAll, false, false, false, L"save\\dir"},
        {"mode 2 keeps record", "pkg.exe", copy, BTRemoveMode::DeleteData, false, true, true, L"save\\pkg.exe"},
        {"root climbing out is refused", "..\\victim", copy, BTRemoveMode::ForgetAll, true, false, false, L"victim"},
        {"absolute root is refused", "C:\\victim", copy, BTRemoveMode::ForgetAll, true, false, false, L"victim"},
        {"root naming the save folder is refused", ".", copy, BTRemoveMode::DeleteData, true, true, true,
         L"save\\pkg.exe"},
        {"root of dots and spaces is refused", ". .", copy, BTRemoveMode::DeleteData, true, true, true,
         L"save\\pkg.exe"},
        {"foreign torrent copy name is kept", "pkg.exe", "victim.torrent", BTRemoveMode::ForgetRecord, true, false,
         true, L"save\\pkg.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder;
        WriteRecordFiles(folder, c.rootPath, c.torrentName);
        DeleteTaskFiles(ToMultiByte(folder / L"save\\pkg.exe.vll"), c.mode);
        EXPECT_EQ(c.dataKept, PathExists(folder / c.data));
        EXPECT_EQ(c.recordKept, FileExists(folder / L"save\\pkg.exe.vll"));
        const std::wstring torrentName(c.torrentName.begin(), c.torrentName.end());
        EXPECT_EQ(c.copyKept, FileExists(folder / (L"save\\" + torrentName)));
        EXPECT_TRUE(FileExists(folder / L"victim"));
    }
}

TEST(BTTaskRecord, UnreadableRecordDeletesNothing)
{
    TestFolder folder;
    WriteFileBytes(folder / L"r.vll", "garbage");
    DeleteTaskFiles(ToMultiByte(folder / L"r.vll"), BTRemoveMode::ForgetAll);
    EXPECT_TRUE(FileExists(folder / L"r.vll"));
}

TEST(BTText, InfoHashHexIsFortyLowerCaseDigits)
{
    struct Case {
        unsigned char first, last;
        const char* hex;
    };
    const Case cases[] = {
        {0x0a, 0x00, "0a00000000000000000000000000000000000000"},
        {0xff, 0xab, "ff000000000000000000000000000000000000ab"},
        {0x00, 0x01, "0000000000000000000000000000000000000001"},
    };
    for (const Case& c : cases) {
        lt::sha1_hash hash;
        hash[0] = c.first;
        hash[19] = c.last;
        EXPECT_EQ(c.hex, InfoHashHex(hash));
    }
}

TEST(BTTask, EngineErrorsBecomeOwnerEvents)
{
    namespace errc = boost::system::errc;
    struct Case {
        lt::error_code error;
        BTEvent event;
    };
    const Case cases[] = {
        {errc::make_error_code(errc::no_space_on_device), BTEvent::DiskFull},
        {errc::make_error_code(errc::read_only_file_system), BTEvent::AccessDenied},
        {errc::make_error_code(errc::permission_denied), BTEvent::AccessDenied},
        {errc::make_error_code(errc::no_such_file_or_directory), BTEvent::TorrentError},
        {lt::error_code(ERROR_DISK_FULL, boost::system::system_category()), BTEvent::DiskFull},
        {lt::error_code(ERROR_ACCESS_DENIED, boost::system::system_category()), BTEvent::AccessDenied},
        {lt::error_code(ERROR_FILE_NOT_FOUND, boost::system::system_category()), BTEvent::TorrentError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.message());
        EXPECT_EQ(c.event, ErrorEvent(c.error));
    }
}

} // namespace
