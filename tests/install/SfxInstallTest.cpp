// Package installs end to end: generated packages installed through the
// dispatcher as the repair thread drives it, and the install's rules one by
// one on the installing class itself.
#include "install/DependSoftInstaller.h"
#include "install/SfxInstall.h"
#include "install/DependSoftSfxInstaller.h"

#include "base/Buffer.h"
#include "base/FileUtil.h"
#include "base/Handles.h"
#include "base/PathUtil.h"
#include "base/ComScope.h"
#include "base/TextConvert.h"
#include "install/RegKey.h"
#include "install/ShellLink.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/TestFolder.h"
#include "tests/install/TestRegKey.h"
#include "tests/support/PackageWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace Velora {
namespace {

using namespace Velora::Test;

std::string MetaBytes(const std::map<std::wstring, std::wstring>& meta)
{
    VLBufferWriter writer;
    writer.WriteStringMap(meta);
    return Bytes(*writer.target);
}

// Runs a program of the Wine prefix and waits for it, at most a minute.
DWORD RunAndWait(std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
        return DWORD(-1);
    VLHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) return DWORD(-1);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

// What the system's own "reg query /s" lists under a key.
std::string RegQueryTree(const std::wstring& key, const TestFolder& folder)
{
    const std::wstring output = folder / L"reg-query.txt";
    RunAndWait(L"C:\\windows\\system32\\cmd.exe /c \"reg.exe query \"" + key + L"\" /s > \"" + output + L"\"\"");
    return ReadFileBytes(output);
}

// Polls as the repair thread does, keeping every progress value it sees.
bool DriveToEnd(VLDependSoftInstallerBase& installer, std::vector<int>& progress)
{
    for (int i = 0; i < 1200; ++i) {
        if (installer.Wait(100)) {
            progress.push_back(installer.GetProgress());
            return true;
        }
        progress.push_back(installer.GetProgress());
    }
    return false;
}

// The independent reading of "VLUnistall.dat" the tests compare against.
struct UninstallRecord {
    unsigned version = 0;
    std::vector<std::string> blocks;
};

UninstallRecord ParseRecord(const std::string& bytes)
{
    UninstallRecord record;
    EXPECT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.substr(0, 4), "VLUT");
    record.version = static_cast<unsigned char>(bytes[4]);
    size_t offset = 5;
    while (offset + 4 <= bytes.size()) {
        uint32_t length;
        std::memcpy(&length, bytes.data() + offset, 4);
        record.blocks.push_back(bytes.substr(offset + 4, length));
        offset += 4 + length;
    }
    EXPECT_EQ(offset, bytes.size());
    return record;
}

std::vector<std::wstring> PathItems(const std::string& block)
{
    std::vector<std::wstring> paths;
    for (size_t offset = 0; offset + 4 <= block.size();) {
        uint32_t length;
        std::memcpy(&length, block.data() + offset, 4);
        std::wstring path(length / 2, L'\0');
        std::memcpy(&path[0], block.data() + offset + 4, length);
        paths.push_back(path);
        offset += 4 + length;
    }
    return paths;
}

// Each file of the folders by its path as stored, with its attributes and bytes.
std::map<std::wstring, std::string> Snapshot(std::initializer_list<std::wstring> folders)
{
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW found;
    for (const std::wstring& folder : folders) {
        VLFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
        for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found)) {
            const std::wstring path = folder + L"\\" + found.cFileName;
            if (!DirectoryExists(path)) files[path] = std::to_string(found.dwFileAttributes) + ReadFileBytes(path);
        }
    }
    return files;
}

// The package of a typical runtime: meta map, registry data in both forms,
// a script, files in the install folder (one of them the exit-code helper,
// which the script runs), and a solid set.
class PackageInstall : public ::testing::Test {
protected:
    std::wstring BuildPackage(int checkedExitCode, const std::wstring& name = L"runtime.vlz")
    {
        const std::string helper = ReadFileBytes(HelperProgram(L"vltest_exit.exe"));
        regText = Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n[" + key.FullName() +
                            L"\\FromText]\r\n\"Dir\"=\"##install##\\bin\"\r\n\"Count\"=dword:0000002a\r\n\r\n");
        VLRegKeyList keys;
        // Under a parent that the install creates on the way.
        VLRegKey blobKey(kRegRootCurrentUser, key.Path() + L"\\Made\\FromBlob");
        VLRegValue expandable(REG_EXPAND_SZ, L"Expand");
        expandable.text = L"##install##\\x;%PATH%";
        blobKey.values.push_back(expandable);
        keys.push_back(blobKey);
        VLBuffer<unsigned char> blob;
        SerializeRegKeys(keys, blob);
        script = {L"ini WriteINIStr ##install##\\a.ini Main Path ##install##",
                  L"CreateShortCut ##install##\\s.lnk ##install##\\bin\\vltest_exit.exe",
                  L"runcheck 0 ##install##\\bin\\vltest_exit.exe " + std::to_wstring(checkedExitCode)};
        std::wstring scriptText;
        for (const auto& line : script) scriptText += line + L"\r\n";

        PackageWriter writer;
        writer.root.Add(Inline(L"vlmeta", MetaBytes({{L"vlfolder", L"App"}, {L"custom", L"x"}})));
        writer.root.Add(File(L"##reg##.reg", regText, kMethodZlib));
        writer.root.Add(Memory(L"##reg##.bin", Bytes(blob), kMethodZlib));
        writer.root.Add(File(L"##tasks##.txt", Utf16File(scriptText)));
        writer.root.Add(File(L"readme.txt", "read me\r\n", kMethodSolid));
        writer.root.Add(Folder(L"##install##", {Folder(L"bin", {File(L"vltest_exit.exe", helper, kMethodLzma),
                                                                File(L"a.txt", SampleBytes(70000, 1), kMethodSolid),
                                                                File(L"b.txt", SampleBytes(90000, 2), kMethodSolid)})}));
        const std::wstring path = folder / name;
        EXPECT_TRUE(writer.WriteTo(path));
        return path;
    }

    TestFolder folder;
    TestRegKey key;
    std::string regText;
    std::vector<std::wstring> script;
};

TEST_F(PackageInstall, EverythingLandsAndIsRecorded)
{
    const std::wstring package = BuildPackage(0);
    const std::wstring app = folder / L"target\\App";
    std::vector<int> progress;
    {
        VLDependSoftInstaller installer(40023);
        ASSERT_TRUE(installer.Install(40018, package.c_str(), (folder / L"target\\").c_str()));
        EXPECT_NE(dynamic_cast<VLDependSoftSfxInstaller*>(installer.GetInner()), nullptr);
        ASSERT_TRUE(DriveToEnd(installer, progress));
        EXPECT_TRUE(installer.IsSucceeded());
    }
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]) << "at " << i;
    EXPECT_EQ(progress.back(), 100);

    EXPECT_EQ(ReadFileBytes(app + L"\\readme.txt"), "read me\r\n");
    EXPECT_EQ(ReadFileBytes(app + L"\\bin\\a.txt"), SampleBytes(70000, 1));
    EXPECT_EQ(ReadFileBytes(app + L"\\bin\\b.txt"), SampleBytes(90000, 2));
    EXPECT_FALSE(PathExists(app + L"\\##reg##.reg"));
    EXPECT_FALSE(PathExists(app + L"\\##tasks##.txt"));
    EXPECT_FALSE(PathExists(app + L"\\##install##"));

    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue(key.Sub(L"FromText"), L"Dir", type, bytes));
    EXPECT_EQ(bytes, TextBytes(app + L"\\bin"));
    ASSERT_TRUE(GetValue(key.Sub(L"FromText"), L"Count", type, bytes));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\x2A\0\0\0", 4));
    // Expandable strings of a package are stored as plain ones.
    ASSERT_TRUE(GetValue(key.Sub(L"Made\\FromBlob"), L"Expand", type, bytes));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(bytes, TextBytes(app + L"\\x;%PATH%"));

    EXPECT_EQ(ReadIni(app + L"\\a.ini", L"Main", L"Path"), app);
    {
        VLComInit com;
        VLShortcutInfo link;
        ASSERT_TRUE(ReadShellLink(link, app + L"\\s.lnk"));
        EXPECT_EQ(link.target, app + L"\\bin\\vltest_exit.exe");
    }

    const UninstallRecord record = ParseRecord(ReadFileBytes(app + L"\\VLUnistall.dat"));
    EXPECT_EQ(record.version, 2u);
    ASSERT_EQ(record.blocks.size(), 5u);
    EXPECT_EQ(PathItems(record.blocks[0]),
              (std::vector<std::wstring>{L"", L"##tasks##.txt", L"bin", L"bin\\vltest_exit.exe", L"readme.txt",
                                         L"bin\\a.txt", L"bin\\b.txt"}));
    VLBuffer<unsigned char> backupBlob(uint32_t(record.blocks[1].size()));
    std::memcpy(backupBlob.data, record.blocks[1].data(), record.blocks[1].size());
    backupBlob.size = uint32_t(record.blocks[1].size());
    VLRegKeyList backups;
    ASSERT_TRUE(DeserializeRegKeys(backupBlob, backups));
    ASSERT_EQ(backups.size(), 2u);
    // Each new key is recorded for deletion by its own name, never by the
    // parent created on the way.
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(backups[i].deleteKey) << i;
        EXPECT_EQ(backups[i].path, key.Sub(i == 0 ? L"FromText" : L"Made\\FromBlob"));
    }
    VLBufferReader lines{reinterpret_cast<const unsigned char*>(record.blocks[2].data()),
                         uint32_t(record.blocks[2].size()), 0};
    // The task file ends with a line end, which reads as one empty line.
    std::vector<std::wstring> expectedLines = script;
    expectedLines.push_back(L"");
    EXPECT_EQ(lines.ReadStrings(), expectedLines);
    EXPECT_EQ(record.blocks[3], regText);
    VLBufferReader meta{reinterpret_cast<const unsigned char*>(record.blocks[4].data()),
                        uint32_t(record.blocks[4].size()), 0};
    EXPECT_EQ(meta.ReadStringMap(), (std::map<std::wstring, std::wstring>{{L"custom", L"x"}, {L"vlfolder", L"App"}}));

    // Again over itself: the record lists the files written over too.
    VLSfxInstall again(package);
    ASSERT_TRUE(again.Open());
    ASSERT_TRUE(again.Install(folder / L"target"));
    EXPECT_EQ(PathItems(ParseRecord(ReadFileBytes(app + L"\\VLUnistall.dat")).blocks.at(0)),
              (std::vector<std::wstring>{L"##tasks##.txt", L"bin\\vltest_exit.exe", L"readme.txt", L"bin\\a.txt",
                                         L"bin\\b.txt"}));
}

TEST_F(PackageInstall, FailingScriptUndoesFilesAndRegistry)
{
    // A value the package overwrites and must get back, and the rest of the
    // key as the system's own tool sees it.
    PutString(key.Sub(L"FromText"), L"Dir", L"old");
    const std::string before = RegQueryTree(key.FullName(), folder);
    ASSERT_NE(before.find("old"), std::string::npos);
    const std::wstring package = BuildPackage(1);
    const std::wstring target = folder / L"target";
    {
        VLDependSoftInstaller installer(40023);
        ASSERT_TRUE(installer.Install(40018, package.c_str(), target.c_str()));
        std::vector<int> progress;
        ASSERT_TRUE(DriveToEnd(installer, progress));
        EXPECT_FALSE(installer.IsSucceeded());
    }
    EXPECT_FALSE(PathExists(target + L"\\App"));
    EXPECT_FALSE(KeyExists(key.Sub(L"Made")));
    EXPECT_EQ(RegQueryTree(key.FullName(), folder), before);

    // The script's event names the line and the exit code.
    EventLog log;
    VLSfxInstall install(package);
    install.SetProgress(&log);
    ASSERT_TRUE(install.Open());
    EXPECT_FALSE(install.Install(target));
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].code, kEventScriptFailed);
    EXPECT_EQ(log.events[0].text1, L"runcheck");
    EXPECT_EQ(log.events[0].text2, script[2].substr(9));
    EXPECT_EQ(log.events[0].value3, 1u);
    EXPECT_FALSE(PathExists(target + L"\\App"));
    EXPECT_EQ(RegQueryTree(key.FullName(), folder), before);
}

TEST_F(PackageInstall, ARegistryRollbackThatFailsIsReported)
{
    // The script's program removes a volatile key whose value the package
    // changed: the old value cannot come back, as a lasting key may not be
    // made below a volatile one.
    for (const wchar_t* name : {L"vol", L"vol\\k"}) PutVolatileKey(key.Sub(name));
    PutString(key.Sub(L"vol\\k"), L"v", L"old");
    PackageWriter writer;
    writer.root.Add(File(L"##reg##.reg", Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n[" + key.FullName() +
                                                    L"\\vol\\k]\r\n\"v\"=\"new\"\r\n")));
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 1 C:\\windows\\system32\\reg.exe delete HKCU\\" +
                                                     key.Sub(L"vol\\k") + L" /f")));
    const std::wstring package = folder / L"secured.vlz";
    ASSERT_TRUE(writer.WriteTo(package));

    EventLog log;
    VLSfxInstall install(package);
    install.SetProgress(&log);
    ASSERT_TRUE(install.Open());
    EXPECT_FALSE(install.Install(folder / L"target"));
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].code, kEventScriptFailed);
    EXPECT_EQ(log.events[1].code, kEventRegistryKeyFailed);
    EXPECT_EQ(log.events[1].text1, key.FullName() + L"\\vol\\k");
    EXPECT_EQ(log.events[1].value4, uint32_t(ERROR_CHILD_MUST_BE_VOLATILE));
}

TEST_F(PackageInstall, CancelNoticedAfterExtractionUndoesAndFails)
{
    // A sink that cancels once the last top-level entry is done: extraction
    // itself then ends "well", but the install must not go on.
    class CancelAtEnd : public EventLog {
    public:
        void OnEntryEnd(const VLTocNode& node) override
        {
            // The top-level "##install##" folder, named after the install folder by now.
            if (node.name == L"App") install->Cancel();
        }
        VLSfxInstall* install = nullptr;
    } sink;
    const std::wstring package = BuildPackage(0);
    VLSfxInstall install(package);
    sink.install = &install;
    install.SetProgress(&sink);
    ASSERT_TRUE(install.Open());
    EXPECT_FALSE(install.Install(folder / L"target"));
    EXPECT_FALSE(PathExists(folder / L"target\\App"));
    EXPECT_FALSE(KeyExists(key.Sub(L"FromText")));
    EXPECT_FALSE(KeyExists(key.Sub(L"Made")));
}

// An install's events that run act as each entry's file or folder is out.
struct EntryEndLog : EventLog {
    void OnEntryEnd(const VLTocNode& node) override { act(node); }
    std::function<void(const VLTocNode&)> act = [](const VLTocNode&) {};
};

TEST_F(PackageInstall, FilesWrittenOverComeBackWhenTheInstallFails)
{
    PutVolatileKey(key.Sub(L"vol"));
    // The user's a.txt is kept first (a.txt.~vl0), the user's x.txt fifth
    // (x.txt.~vl4): the package then writes over both kept copies.
    const std::vector<std::wstring> keptNames = {L"x.txt",      L"x.txt.~vl4", L"a.txt.~vl0",
                                                 L"x.txt.~vl0", L"~vl0",       L"~vl5"};
    const struct {
        const char* what;
        bool reinstall, badRegistry, succeeds;
        std::vector<std::wstring> extra; // more files of the package; the user has the first
        bool held;                       // another program holds the package's a.txt
    } rows[] = {{"install failing on its registry data", false, true, false},
                {"reinstall over a record that does not read", true, false, false},
                {"install that finishes", false, false, true},
                {"install writing the names of kept copies", false, false, true, keptNames},
                {"install over a user's file of a 252-character name", false, false, true, {std::wstring(252, L'n')}},
                {"install failing while a file it wrote is held", false, true, false, {}, true}};
    for (const auto& row : rows) {
        const std::wstring n = std::to_wstring(&row - rows), app = folder / n, sys = app + L"sys", made = key.Sub(n);
        // Files of the package's names in another case, two of them read-only.
        for (const auto& [file, readOnly] : {std::pair{app + L"\\a.txt", true}, {app + L"\\Ärger.txt", false},
                                             {sys + L"\\lib.dll", true}, {sys + L"\\Жук.dll", false}}) {
            CreateDirectories(GetParentPath(file));
            ASSERT_TRUE(WriteFileBytes(file, "old " + std::to_string(file.size())));
            if (readOnly) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        ASSERT_TRUE(WriteFileBytes(app + L"\\VLUnistall.dat", "VLUT"));
        ASSERT_TRUE(row.extra.empty() || WriteFileBytes(app + L"\\" + row.extra[0], "user's"));
        auto before = Snapshot({app, sys});
        // A lasting key cannot be made below a volatile one.
        const std::wstring value = L"]\r\n\"v\"=\"1\"\r\n";
        const std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + made + value +
                                  (row.badRegistry ? L"[" + key.FullName() + L"\\vol\\k" + value : L"");
        PackageWriter writer;
        writer.root.Add(File(L"##reg##.reg", Utf16File(text)));
        writer.root.Add(File(L"a.txt", "new a"));
        writer.root.Add(File(L"ärger.txt", "new ä", kMethodSolid));
        writer.root.Add(Folder(L"##system##", {File(L"lib.dll", "new lib"), File(L"жук.dll", "new", kMethodSolid)}));
        std::set<std::wstring> written = {L"a.txt", L"ärger.txt", sys + L"\\lib.dll", sys + L"\\жук.dll"};
        for (const std::wstring& name : row.extra) writer.root.Add(File(name, "package's " + ToMultiByte(name)));
        written.insert(row.extra.begin(), row.extra.end());
        ASSERT_TRUE(writer.WriteTo(app + L".vlz"));

        // Held as a virus scanner may: for reading, with all sharing.
        VLHandle held;
        EntryEndLog log;
        log.act = [&](const VLTocNode& node) {
            if (row.held && node.outputPath == app + L"\\a.txt" && !held.Valid())
                held.Reset(CreateFileW(node.outputPath.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
        };
        VLSfxInstall install(app + L".vlz");
        install.SetProgress(&log);
        install.GetKeywords().SetPath(L"system", sys);
        ASSERT_TRUE(install.Open());
        EXPECT_EQ(row.reinstall ? install.Reinstall(app) : install.Install(app), row.succeeds) << row.what;
        // The extraction's end, and for a failure the install's own.
        EXPECT_EQ(log.ends.size(), row.succeeds ? 1u : 2u) << row.what;
        EXPECT_EQ(KeyExists(made), row.succeeds) << row.what;
        EXPECT_EQ(install.IsRolledBack(), !row.held) << row.what;
        if (row.held) {
            // The user's a.txt stays as a.txt.~vl0, as the event says; the package's is gone.
            ASSERT_EQ(log.events.size(), 2u);
            EXPECT_EQ(log.events[1].code, kEventPutBackFailed);
            EXPECT_EQ(log.events[1].text1, app + L"\\a.txt.~vl0");
            EXPECT_EQ(log.events[1].original, app + L"\\a.txt");
            EXPECT_NE(log.events[1].error, 0u);
            held.Reset();
            before[app + L"\\a.txt.~vl0"] = before[app + L"\\a.txt"];
            before.erase(app + L"\\a.txt");
        }
        if (!row.succeeds) {
            EXPECT_EQ(Snapshot({app, sys}), before) << row.what;
            continue;
        }
        // Nothing kept stays; all the package's files (the user's counted before) are there and recorded.
        EXPECT_EQ(Snapshot({app, sys}).size(), before.size() + row.extra.size() - !row.extra.empty()) << row.what;
        EXPECT_EQ(ReadFileBytes(sys + L"\\Жук.dll"), "new");
        for (const std::wstring& name : row.extra)
            EXPECT_EQ(ReadFileBytes(app + L"\\" + name), "package's " + ToMultiByte(name));
        const auto recorded = PathItems(ParseRecord(ReadFileBytes(app + L"\\VLUnistall.dat")).blocks.at(0));
        EXPECT_EQ(std::set<std::wstring>(recorded.begin(), recorded.end()), written) << row.what;
    }
}

TEST_F(PackageInstall, ALinkInItsWayFailsItAndLeadsNowhere)
{
    const std::wstring package = BuildPackage(0), outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside + L"\\bin") && WriteFileBytes(outside + L"\\readme.txt", "outside's") &&
                WriteFileBytes(outside + L"\\bin\\a.txt", "outside's a"));
    const std::string listing = TreeListing(outside) + TreeListing(outside + L"\\bin");
    // A link made before, or swapped in once the package's folder is out: the rollback must not follow it.
    const struct {
        const wchar_t* link; // where it leads: the same name below outside
        bool swappedLater;
    } rows[] = {{L"App"}, {L"App\\bin"}, {L"App\\readme.txt"}, {L"App\\bin\\a.txt"}, {L"App\\bin", true}};
    for (const auto& row : rows) {
        const std::wstring target = folder / (L"t" + std::to_wstring(&row - rows)), link = target + L"\\" + row.link;
        const std::wstring to = outside + std::wstring(row.link).substr(3);
        bool swapped = false, tried = false;
        EntryEndLog sink;
        ASSERT_TRUE(row.swappedLater || (CreateDirectories(GetParentPath(link)) && MakeHostLink(link, to)));
        sink.act = [&](const VLTocNode& node) {
            if (row.swappedLater && node.name == L"App" && !std::exchange(tried, true))
                swapped = MoveFileW(link.c_str(), (link + L"-moved").c_str()) && MakeHostLink(link, to);
        };
        VLSfxInstall install(package);
        install.SetProgress(&sink);
        ASSERT_TRUE(install.Open());
        EXPECT_FALSE(install.Install(target)) << ToMultiByte(row.link);
        EXPECT_EQ(swapped, row.swappedLater);
        // A folder moved away by another hand while the install held its
        // files went with the folder the install made, and nothing stays.
        EXPECT_TRUE(install.IsRolledBack());
        EXPECT_FALSE(Exists(link + L"-moved"));
        EXPECT_EQ(TreeListing(outside) + TreeListing(outside + L"\\bin"), listing) << ToMultiByte(row.link);
        EXPECT_TRUE(Exists(link));
        EXPECT_FALSE(KeyExists(key.Sub(L"FromText")));
    }
}

TEST_F(PackageInstall, ThePackageInstallerLogsWhatFailed)
{
    const std::wstring target = folder / L"t", outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside) && CreateDirectories(target) && MakeHostLink(target + L"\\App", outside));
    VLDependSoftSfxInstaller installer;
    ASSERT_TRUE(installer.Install(40018, BuildPackage(0).c_str(), target.c_str()));
    ASSERT_TRUE(installer.Wait(60000));
    EXPECT_FALSE(installer.IsSucceeded());
    EXPECT_TRUE(installer.IsRolledBack());
    const std::vector<std::wstring> log = installer.GetLog();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find(L"\"" + target + L"\\App\" (error "), std::wstring::npos) << ToMultiByte(log[0]);
}

TEST_F(PackageInstall, TheScriptStartsTheBytesItExtracted)
{
    // Once the program is out, another program tries to copy its own bytes
    // (the same program with a tail) over it before the script starts it.
    const std::string helper = ReadFileBytes(HelperProgram(L"vltest_exit.exe"));
    ASSERT_TRUE(WriteFileBytes(folder / L"planted.exe", helper + "planted"));
    const std::wstring copy = L"C:\\windows\\system32\\cmd.exe /c copy /y \"" + folder / L"planted.exe" + L"\" \"";
    DWORD copied = DWORD(-2);
    EntryEndLog sink;
    sink.act = [&](const VLTocNode& node) {
        if (node.name == L"tool.exe" && copied == DWORD(-2)) copied = RunAndWait(copy + node.outputPath + L"\" > nul");
    };
    // A shortcut to it is rewritten through the handle that wrote it, before it is held.
    std::string shipped;
    {
        VLComInit com;
        ASSERT_TRUE(
            MakeShellLinkBytes(L"tool", L"", L"Z:\\##install##\\tool.exe", L"", 0, L"Z:\\##install##", shipped));
    }
    PackageWriter writer;
    writer.root.Add(File(L"tool.exe", helper, kMethodLzma));
    writer.root.Add(File(L"tool.lnk", shipped));
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"run ##install##\\tool.exe 0 0 " + (folder / L"ran"))));
    ASSERT_TRUE(writer.WriteTo(folder / L"tool.vlz"));
    VLSfxInstall install(folder / L"tool.vlz");
    install.SetProgress(&sink);
    ASSERT_TRUE(install.Open());
    EXPECT_TRUE(install.Install(folder / L"target"));
    EXPECT_NE(copied, 0u);
    EXPECT_NE(copied, DWORD(-2));
    EXPECT_TRUE(Exists(folder / L"ran"));
    EXPECT_TRUE(ReadFileBytes(folder / L"target\\tool.exe") == helper);
    VLComInit com;
    VLShortcutInfo link;
    ASSERT_TRUE(ReadShellLink(link, folder / L"target\\tool.lnk"));
    EXPECT_EQ(link.target, folder / L"target\\tool.exe");
    EXPECT_EQ(link.workingFolder, folder / L"target");
}

TEST_F(PackageInstall, DestroyingTheInstallerMidExtractionStopsIt)
{
    PackageWriter writer;
    TestRegKey untouched;
    writer.root.Add(File(L"##reg##.reg", Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n[" +
                                                    untouched.FullName() + L"]\r\n\"v\"=\"1\"\r\n")));
    writer.root.Add(File(L"big.bin", SampleBytes(30u << 20, 7), kMethodLzma));
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"run " + HelperProgram(L"vltest_exit.exe") + L" 0 0 " +
                                                     (folder / L"script-ran"))));
    const std::wstring package = folder / L"big.vlz";
    ASSERT_TRUE(writer.WriteTo(package));
    DWORD waited = 0;
    auto installer = std::make_unique<VLDependSoftInstaller>(40023);
    ASSERT_TRUE(installer->Install(40018, package.c_str(), (folder / L"target").c_str()));
    for (int i = 0; i < 600 && installer->GetProgress() < 5; ++i) ASSERT_FALSE(installer->Wait(10));
    EXPECT_LT(installer->GetProgress(), 100);
    const DWORD start = GetTickCount();
    installer.reset();
    waited = GetTickCount() - start;
    EXPECT_LT(waited, 5000u);
    EXPECT_FALSE(FileExists(folder / L"script-ran"));
    DWORD type = 0;
    std::string bytes;
    EXPECT_FALSE(GetValue(untouched.Path(), L"v", type, bytes));
}

TEST_F(PackageInstall, PathRefreshAfterTheRefreshRuntime)
{
    const wchar_t kMachine[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    PackageWriter writer;
    writer.root.Add(File(L"f.txt", "x"));
    const std::wstring package = folder / L"small.vlz";
    ASSERT_TRUE(writer.WriteTo(package));

    SavedVariable savedPath(L"Path"), savedBase(L"VLTEST_PATH_BASE");
    SetEnvironmentVariableW(L"VLTEST_PATH_BASE", L"C:\\base");
    std::optional<std::wstring> machine = ReadRegistryText(HKEY_LOCAL_MACHINE, kMachine, L"Path");
    std::optional<std::wstring> user = ReadRegistryText(HKEY_CURRENT_USER, L"Environment", L"Path");
    ASSERT_TRUE(machine);
    const std::wstring processPath = GetVariable(L"Path");
    {
        VLRegHandle handle;
        ASSERT_TRUE(handle.Create(HKEY_LOCAL_MACHINE, kMachine));
        VLRegValue value(REG_EXPAND_SZ, L"Path");
        value.text = L"%VLTEST_PATH_BASE%\\m";
        ASSERT_TRUE(handle.SetValue(L"Path", value));
        VLRegHandle userKey;
        ASSERT_TRUE(userKey.Create(HKEY_CURRENT_USER, L"Environment"));
        VLRegValue userValue(REG_SZ, L"Path");
        userValue.text = L"C:\\u";
        ASSERT_TRUE(userKey.SetValue(L"Path", userValue));
    }
    for (int runtime : {40018, 40023}) {
        VLDependSoftInstaller installer(40023);
        ASSERT_TRUE(installer.Install(runtime, package.c_str(), (folder / std::to_wstring(runtime)).c_str()));
        std::vector<int> progress;
        ASSERT_TRUE(DriveToEnd(installer, progress));
        EXPECT_TRUE(installer.IsSucceeded());
    }
    const std::wstring refreshed = GetVariable(L"Path");
    // Put the machine back before anything can fail.
    {
        VLRegHandle handle;
        handle.Create(HKEY_LOCAL_MACHINE, kMachine);
        VLRegValue value(REG_EXPAND_SZ, L"Path");
        value.text = *machine;
        handle.SetValue(L"Path", value);
        VLRegHandle userKey;
        userKey.Create(HKEY_CURRENT_USER, L"Environment");
        if (user) {
            VLRegValue userValue(REG_SZ, L"Path");
            userValue.text = *user;
            userKey.SetValue(L"Path", userValue);
        } else {
            RegDeleteValueW(userKey.key.Get(), L"Path");
        }
    }
    EXPECT_EQ(refreshed, L"C:\\u;C:\\base\\m");

    SetEnvironmentVariableW(L"Path", processPath.c_str());
    auto other = std::make_unique<VLDependSoftInstaller>(40023);
    ASSERT_TRUE(other->Install(40018, package.c_str(), (folder / L"again").c_str()));
    std::vector<int> progress;
    ASSERT_TRUE(DriveToEnd(*other, progress));
    EXPECT_TRUE(other->IsSucceeded());
    other.reset();
    EXPECT_EQ(GetVariable(L"Path"), processPath);
}

TEST_F(PackageInstall, MissingPackageEndsTheWaitAtOnce)
{
    VLDependSoftSfxInstaller installer;
    EXPECT_FALSE(installer.Install(40018, (folder / L"missing.vlz").c_str(), folder.Path().c_str()));
    EXPECT_TRUE(installer.Wait(0));
    EXPECT_FALSE(installer.IsSucceeded());
}

TEST(IsPackageFile, NeedsTheNameTheMagicAndATable)
{
    TestFolder folder;
    PackageWriter writer;
    writer.root.Add(File(L"a.txt", "a"));
    const std::string good = writer.Build();
    PackageWriter broken;
    broken.tocLength = 3;
    const struct {
        const wchar_t* name;
        std::string bytes;
        bool package;
    } cases[] = {
        {L"setup.VLZ", good, true},        {L"setup.exe", good, false}, {L"setup", good, false},
        {L"other.vlz", "MZ" + good, false}, {L"short.vlz", "VL", false}, {L"broken.vlz", broken.Build(), false},
    };
    for (const auto& each : cases) {
        const std::wstring path = folder / each.name;
        ASSERT_TRUE(WriteFileBytes(path, each.bytes));
        EXPECT_EQ(IsPackageFile(path), each.package) << std::string(each.name, each.name + wcslen(each.name));
    }
}

} // namespace
} // namespace Velora
