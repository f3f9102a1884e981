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

#include <algorithm>
#include <functional>
#include <iterator>

namespace {

using namespace Velora;
using Velora::Test::ReadFileBytes;
using Velora::Test::TestFolder;
using Velora::Test::WriteFileBytes;

const std::string kCopyName = std::string(40, 'a') + ".torrent";

// The task data of folder\pkg.exe.vll.
lt::entry FullTaskData(const std::string& folder)
{
    lt::entry data;
    data["savePath"] = folder;
    data["resumeFile"] = folder + "\\pkg.exe.vll";
    data["torrentFile"] = folder + "\\" + kCopyName;
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
std::string RecordWith(const std::function<void(lt::entry&)>& edit, const std::string& folder = "C:\\save")
{
    lt::entry root;
    root["file-format"] = "libtorrent resume file";
    root["taskData"] = FullTaskData(folder);
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
    const std::string at = ToMultiByte(folder.Path());
    struct Case {
        const char* name;
        std::string body;
        bool loads;
    };
    const Case cases[] = {
        {"complete", RecordWith([](lt::entry&) {}, at), true},
        {"stale bytes after the value", RecordWith([](lt::entry&) {}, at) + "3:abcde", true},
        {"empty rootPath", RecordWith([](lt::entry& r) { r["taskData"]["rootPath"] = ""; }, at), false},
        {"no savePath", RecordWith([](lt::entry& r) { r["taskData"].dict().erase("savePath"); }, at), false},
        {"no taskData", RecordWith([](lt::entry& r) { r.dict().erase("taskData"); }, at), false},
        {"not bencoded", "this is no record", false},
        {"empty file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(folder / L"pkg.exe.vll", c.body));
        BTTaskRecord record;
        EXPECT_EQ(c.loads, LoadTaskRecord(ToMultiByte(folder / L"pkg.exe.vll"), &record));
        EXPECT_EQ(c.loads, LoadTaskRecord(ToMultiByte(folder / L"pkg.exe.vll"), nullptr));
        if (c.loads) {
            EXPECT_EQ(at, record.savePath);
        }
    }
    EXPECT_FALSE(LoadTaskRecord(ToMultiByte(folder / L"missing.vll"), nullptr));
    EXPECT_FALSE(LoadTaskRecord("", nullptr));
}

TEST(BTTaskRecord, ARecordNamingAnythingButItsOwnFolderIsRefusedAndActedOnNever)
{
    TestFolder top;
    const std::wstring work = top / L"work", beside = top / L"beside";
    const std::string w = ToMultiByte(work), b = ToMultiByte(beside), record = w + "\\pkg.exe.vll";
    std::string slashed = w;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    auto set = [](const char* key, const std::string& value) {
        return std::function<void(lt::entry&)>([=](lt::entry& r) { r["taskData"][key] = value; });
    };
    auto list = [](const char* key, int count, const std::string& text) {
        return std::function<void(lt::entry&)>([=](lt::entry& r) {
            lt::entry& at = std::string(key) == "urlSeed" ? r["taskData"][key] : r[key];
            at = lt::entry::list_type(size_t(count), lt::entry(text));
        });
    };
    // Another record's torrent copy as the file system names it too.
    std::string capitals = kCopyName, shortName(MAX_PATH, '\0');
    std::transform(capitals.begin(), capitals.end(), capitals.begin(), ::toupper);
    ASSERT_TRUE(CreateDirectories(work) && WriteFileBytes(work + L"\\" + ToWide(kCopyName.c_str()), "keep me"));
    shortName.resize(GetShortPathNameA((w + "\\" + kCopyName).c_str(), &shortName[0], MAX_PATH));
    shortName = ToMultiByte(GetFileName(ToWide(shortName.c_str())));
    ASSERT_NE(std::string::npos, shortName.find('~'));
    const ReadCase cases[] = {
        {"its own file spelled with slashes", set("resumeFile", slashed + "/pkg.exe.vll"), true},
        {"its own folder behind a verbatim prefix", set("savePath", "\\\\?\\" + w + "\\"), true},
        {"resume file beside", set("resumeFile", b + "\\victim.txt"), false},
        {"resume file is the seed list", set("resumeFile", w + "\\seeds.xml"), false},
        {"resume file is the payload", set("resumeFile", w + "\\pkg.exe"), false},
        {"resume file is the torrent copy", set("resumeFile", w + "\\" + kCopyName), false},
        {"save folder beside", set("savePath", b), false},
        {"save folder through ..", set("savePath", w + "\\..\\beside"), false},
        {"save folder beside with slashes", set("savePath", slashed + "/../beside"), false},
        {"save folder beside behind a verbatim prefix", set("savePath", "\\\\?\\" + b), false},
        {"save folder drive-relative", set("savePath", w.substr(0, 2) + "beside"), false},
        {"save folder relative", set("savePath", "..\\beside"), false},
        {"save folder of the system", set("savePath", "C:\\windows\\system32"), false},
        {"save folder above the drive's root", set("savePath", w.substr(0, 3) + "..\\" + w.substr(3)), false},
        {"save folder as a device path", set("savePath", "\\\\.\\" + w), false},
        {"save folder below its own", set("savePath", w + "\\sub"), false},
        {"torrent copy beside", set("torrentFile", b + "\\" + kCopyName), false},
        {"torrent copy is the seed list", set("torrentFile", w + "\\seeds.xml"), false},
        {"torrent copy in a stream", set("torrentFile", w + "\\" + kCopyName + ":s"), false},
        {"root climbing out", set("rootPath", "..\\beside\\victim.txt"), false},
        {"root is the seed list", set("rootPath", "seeds.xml"), false},
        {"root is the torrent copy", set("rootPath", kCopyName), false},
        {"root is the torrent copy in capitals", set("rootPath", capitals), false},
        {"root is the torrent copy by its short name", set("rootPath", shortName), false},
        {"root is a device", set("rootPath", "nul.exe"), false},
        {"root is a device behind spaces", set("rootPath", "CON .log"), false},
        {"root is the seed list behind a dot", set("rootPath", "seeds.xml."), false},
        {"root is the seed list behind a space", set("rootPath", "seeds.xml "), false},
        {"file renamed beside", list("mapped_files", 1, "..\\beside\\victim.txt"), false},
        {"too many web seeds", list("urlSeed", kMaxRecordListEntries + 1, "http://127.0.0.1:1/"), false},
        {"too many web seeds of the engine", list("url-list", kMaxRecordListEntries + 1, "http://127.0.0.1:1/"), false},
    };
    // The payload, the seed list, another record, the torrent copy and a file beside.
    const std::wstring kept[] = {work + L"\\pkg.exe", work + L"\\seeds.xml", work + L"\\other.exe.vll",
                                 work + L"\\" + ToWide(kCopyName.c_str()), beside + L"\\victim.txt"};
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(CreateDirectories(work) && CreateDirectories(beside));
        for (const std::wstring& file : kept) ASSERT_TRUE(WriteFileBytes(file, "keep me"));
        ASSERT_TRUE(WriteFileBytes(work + L"\\pkg.exe.vll", RecordWith(c.edit, w)));
        EXPECT_EQ(c.reads, LoadTaskRecord(record, nullptr));
        if (c.reads) continue;
        DeleteTaskFiles(record, BTRemoveMode::ForgetAll);
        EXPECT_TRUE(FileExists(work + L"\\pkg.exe.vll"));
        for (const std::wstring& file : kept) EXPECT_EQ("keep me", ReadFileBytes(file));
    }
}

TEST(BTTaskRecord, SaveFileWritesAtStartWithoutTruncating)
{
    TestFolder folder;
    const std::string path = ToMultiByte(folder / L"f.bin");
    EXPECT_EQ(0, save_file(path, std::vector<char>{'l', 'o', 'n', 'g', 'e', 'r'}));
    EXPECT_EQ(0, save_file(path, std::vector<char>{'a', 'b'}));
    EXPECT_EQ(-1, SaveTorrentData(path, "xy")) << "a torrent copy is a new file";
    EXPECT_EQ("abnger", ReadFileBytes(folder / L"f.bin"));
    EXPECT_EQ(-1, save_file(ToMultiByte(folder / L"no-such-folder\\f.bin"), std::vector<char>{'x'}));
    EXPECT_EQ(-1, SaveTorrentData(ToMultiByte(folder / L"no-such-folder\\f.bin"), "x"));
    EXPECT_FALSE(FileExists(folder / L"no-such-folder"));
}

TEST(BTTaskRecord, ShrunkRecordStillLoads)
{
    TestFolder folder;
    const std::string at = ToMultiByte(folder.Path());
    const std::string path = ToMultiByte(folder / L"pkg.exe.vll");
    auto save = [&](const std::string& bytes) { return save_file(path, std::vector<char>(bytes.begin(), bytes.end())); };
    ASSERT_EQ(0, save(RecordWith([](lt::entry& r) { r["pad"] = std::string(500, 'p'); }, at)));
    ASSERT_EQ(0, save(RecordWith([](lt::entry& r) { r["taskData"]["rootPath"] = "new.exe"; }, at)));
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
    const std::string bytes = RecordWith(
        [&](lt::entry& r) {
            r["taskData"]["rootPath"] = rootPath;
            r["taskData"]["torrentFile"] = ToMultiByte(folder / L"save\\") + torrentName;
        },
        ToMultiByte(folder / L"save"));
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
        {"root climbing out is refused", "..\\victim", copy, BTRemoveMode::ForgetAll, true, true, true, L"victim"},
        {"absolute root is refused", "C:\\victim", copy, BTRemoveMode::ForgetAll, true, true, true, L"victim"},
        {"root naming the save folder is refused", ".", copy, BTRemoveMode::DeleteData, true, true, true,
         L"save\\pkg.exe"},
        {"root of dots and spaces is refused", ". .", copy, BTRemoveMode::DeleteData, true, true, true,
         L"save\\pkg.exe"},
        {"foreign torrent copy name is kept", "pkg.exe", "victim.torrent", BTRemoveMode::ForgetRecord, true, true,
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

// The save folder swapped for a link to a folder outside once the record was
// found valid: nothing where the link leads goes.
TEST(BTTaskRecord, AForgetAfterItsFolderIsSwappedForALinkDeletesNothingOutside)
{
    if (!Velora::Test::RunningOnWine()) GTEST_SKIP() << "makes its link with the Unix host's ln";
    TestFolder folder, outside;
    WriteRecordFiles(folder, "dir", kCopyName);
    BTTaskRecord record;
    ASSERT_TRUE(LoadTaskRecord(ToMultiByte(folder / L"save\\pkg.exe.vll"), &record));
    ASSERT_TRUE(MoveFileW((folder / L"save").c_str(), (outside / L"save").c_str()) &&
                Velora::Test::MakeHostLink(folder / L"save", outside / L"save"));
    auto listing = [&] {
        return Velora::Test::TreeListing(outside / L"save") + Velora::Test::TreeListing(outside / L"save\\dir");
    };
    const std::string before = listing();
    DeleteRecordFiles(record, BTRemoveMode::ForgetAll);
    EXPECT_EQ(before, listing());
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
