// Packages installed into the machine's own folders: the system folder as a
// 32-bit program names it, the shell's folders that are links, a file with
// another name elsewhere, and an install killed while its script runs.
#include "install/FolderKeywords.h"
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/Handles.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Velora {
namespace {

using namespace Velora::Test;

// Names a test gives to files and folders of the machine, unique to this
// run, and removed with whatever they hold when the test ends.
class MachineNames {
public:
    std::wstring Name(const std::wstring& stem) const { return unique_ + L"-" + stem; }
    std::wstring Add(const std::wstring& path) { return paths_.emplace_back(path); }
    // A link of the Unix host, removed as itself.
    bool AddLink(const std::wstring& path, const std::wstring& target)
    {
        return MakeHostLink(links_.emplace_back(path), target);
    }
    ~MachineNames()
    {
        for (const std::wstring& link : links_) RemoveHostLink(link);
        for (auto path = paths_.rbegin(); path != paths_.rend(); ++path) {
            SetFileAttributesW(path->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(path->c_str())) DeleteTree(*path);
        }
    }

private:
    const std::wstring unique_ = UniqueName();
    std::vector<std::wstring> paths_, links_;
};

// An install's events as the package installer's log writes them.
struct EventLines : VLCompressProgress {
    bool OnEvent(const VLUnpackEvent* event) override
    {
        lines += ToMultiByte(DescribeEvent(*event)) + "\n";
        return false;
    }
    std::string lines;
};

// Writes the package to path and installs it into target.
bool InstallPackage(PackageWriter& writer, const std::wstring& path, const std::wstring& target, std::string& events)
{
    EventLines log;
    VLSfxInstall install(path);
    install.SetProgress(&log);
    const bool installed = writer.WriteTo(path) && install.Open() && install.Install(target);
    events = log.lines;
    return installed;
}

std::vector<std::wstring> NamesStartingWith(const std::wstring& folder, const std::wstring& start)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    VLFindHandle find(FindFirstFileW((folder + L"\\" + start + L"*").c_str(), &found));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found)) names.push_back(found.cFileName);
    return names;
}

TEST(MachineFolderInstall, SystemFolderEntriesLandWhereTheSystemOpensTheirNames)
{
    TestFolder folder;
    MachineNames names;
    const VLFolderKeywords keywords;
    const std::wstring system = keywords.GetPath(L"windows") + L"\\system32";
    for (const bool succeeds : {true, false}) {
        const std::wstring n = succeeds ? L"ok" : L"failed", stem = names.Name(n);
        // By the name a 32-bit program gives: on 64-bit Windows the system
        // puts them in its 32-bit system folder.
        const std::wstring user = names.Add(system + L"\\" + stem + L"-user.dll");
        const std::wstring added = names.Add(system + L"\\" + stem + L"-new.dll");
        ASSERT_TRUE(WriteFileBytes(user, "user's"));
        SetFileAttributesW(user.c_str(), FILE_ATTRIBUTE_READONLY);
        const std::vector<PackageEntry> files = {File(stem + L"-user.dll", "package's"),
                                                 File(stem + L"-new.dll", "new", kMethodSolid)};
        PackageWriter writer;
        writer.root.Add(Folder(L"##windows##", {Folder(L"system32", files)}));
        writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 " + HelperProgram(L"vltest_exit.exe") +
                                                         (succeeds ? L" 0" : L" 1"))));
        std::string events;
        EXPECT_EQ(InstallPackage(writer, folder / (n + L".vlz"), folder / n, events), succeeds) << events;
        EXPECT_EQ(ReadFileBytes(user), succeeds ? "package's" : "user's") << succeeds;
        EXPECT_EQ(ReadFileBytes(added), succeeds ? "new" : "<unreadable>") << succeeds;
        // No kept copy stays behind.
        EXPECT_EQ(NamesStartingWith(system, stem).size(), succeeds ? 2u : 1u) << succeeds;
        wchar_t wow64[MAX_PATH];
        if (GetSystemWow64DirectoryW(wow64, MAX_PATH)) {
            EXPECT_EQ(ReadFileBytes(std::wstring(wow64) + L"\\" + stem + L"-user.dll"), ReadFileBytes(user));
        }
    }
}

TEST(MachineFolderInstall, ShellFoldersThatAreLinksTakeFilesBelowThemButNotThroughLinksThere)
{
    TestFolder folder;
    MachineNames names;
    const VLFolderKeywords keywords;
    const std::wstring outside = folder / L"outside";
    ASSERT_TRUE(CreateDirectories(outside));
    const std::string listing = TreeListing(outside);
    const struct {
        const wchar_t* keyword;
        bool linkBelow; // a link planted where the package's folder goes, to outside
    } rows[] = {{L"my_doc", false}, {L"my_desktop", false}, {L"my_doc", true}, {L"my_desktop", true}};
    for (const auto& row : rows) {
        const std::wstring n = std::to_wstring(&row - rows), sub = names.Name(n);
        const std::wstring place = keywords.GetPath(row.keyword) + L"\\" + sub;
        if (row.linkBelow && !RunningOnWine()) continue; // links are made with the Unix host's ln
        ASSERT_TRUE(row.linkBelow ? names.AddLink(place, outside) : !names.Add(place).empty());
        PackageWriter writer;
        const std::wstring keyword = L"##" + std::wstring(row.keyword) + L"##";
        writer.root.Add(Folder(keyword, {Folder(sub, {File(L"f.txt", "package's")})}));
        const std::wstring named = keyword + L"\\" + sub;
        writer.root.Add(
            File(L"##tasks##.txt", Utf16File(L"ini WriteINIStr " + named + L"\\a.ini S K V\r\nCreateShortCut " + named +
                                             L"\\s.lnk " + named + L"\\f.txt")));
        std::string events;
        EXPECT_EQ(InstallPackage(writer, folder / (n + L".vlz"), folder / n, events), !row.linkBelow)
            << ToMultiByte(row.keyword) << "\n"
            << events;
        EXPECT_EQ(ReadFileBytes(place + L"\\f.txt"), row.linkBelow ? "<unreadable>" : "package's");
        EXPECT_EQ(ReadIni(place + L"\\a.ini", L"S", L"K"), row.linkBelow ? L"" : L"V");
        EXPECT_EQ(Exists(place + L"\\s.lnk"), !row.linkBelow);
        EXPECT_EQ(TreeListing(outside), listing);
    }
}

TEST(MachineFolderInstall, AHardLinkedFileKeepsItsAttributesForItsOtherName)
{
    TestFolder folder;
    for (const bool succeeds : {true, false}) {
        const std::wstring n = succeeds ? L"ok" : L"failed", app = folder / n, outside = folder / (n + L"-outside.txt");
        ASSERT_TRUE(CreateDirectories(app) && WriteFileBytes(outside, "outside's"));
        ASSERT_TRUE(CreateHardLinkW((app + L"\\x.txt").c_str(), outside.c_str(), nullptr));
        ASSERT_TRUE(SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_READONLY));
        PackageWriter writer;
        writer.root.Add(File(L"x.txt", "package's"));
        writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 " + HelperProgram(L"vltest_exit.exe") +
                                                         (succeeds ? L" 0" : L" 1"))));
        std::string events;
        EXPECT_EQ(InstallPackage(writer, app + L".vlz", app, events), succeeds) << events;
        EXPECT_EQ(GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(ReadFileBytes(outside), "outside's");
        EXPECT_EQ(ReadFileBytes(app + L"\\x.txt"), succeeds ? "package's" : "outside's");
        SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(MachineFolderInstall, AUserFileLeftByAKilledInstallIsNamedAfterItself)
{
    TestFolder folder;
    const std::wstring app = folder / L"app";
    ASSERT_TRUE(CreateDirectories(app) && WriteFileBytes(app + L"\\user.dll", "user's"));
    // The script's program ends the installing process while the package's
    // user.dll stands where the user's was.
    PackageWriter killed;
    killed.root.Add(File(L"user.dll", "package's"));
    killed.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 " + HelperProgram(L"vltest_kill_parent.exe"))));
    ASSERT_TRUE(killed.WriteTo(folder / L"killed.vlz"));
    std::wstring commandLine =
        L"\"Z:" + ToWide(VL_INSTALL_PROBE_PATH) + L"\" \"" + (folder / L"killed.vlz") + L"\" \"" + app + L"\" 40018";
    ReplaceChar(commandLine, L'/', L'\\');
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &info));
    VLHandle process(info.hProcess), thread(info.hThread);
    DWORD code = 0;
    ASSERT_TRUE(WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 9u);

    // It left the pin that kept the package's user.dll while its program ran.
    wchar_t volume[MAX_PATH + 1];
    ASSERT_TRUE(GetVolumePathNameW(app.c_str(), volume, MAX_PATH + 1));
    const std::wstring pins = std::wstring(volume) + L"VLPins";
    const auto names = [&] {
        BY_HANDLE_FILE_INFORMATION information = {};
        VLHandle file(CreateFileW((app + L"\\user.dll").c_str(), 0, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        GetFileInformationByHandle(file.Get(), &information);
        return information.nNumberOfLinks;
    };
    EXPECT_TRUE(Exists(pins));
    EXPECT_EQ(names(), 2u);

    // The next install, of another package whose program runs, leaves it,
    // and removes the stale pins; its name says whose it is.
    PackageWriter next;
    next.root.Add(File(L"other.dll", "other"));
    next.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 " + HelperProgram(L"vltest_exit.exe"))));
    std::string events;
    EXPECT_TRUE(InstallPackage(next, folder / L"next.vlz", app, events)) << events;
    EXPECT_EQ(ReadFileBytes(app + L"\\user.dll"), "package's");
    EXPECT_FALSE(Exists(pins));
    EXPECT_EQ(names(), 1u);
    const std::vector<std::wstring> kept = NamesStartingWith(app, L"user.dll.~");
    ASSERT_EQ(kept.size(), 1u) << ::testing::PrintToString(kept);
    EXPECT_EQ(ReadFileBytes(app + L"\\" + kept[0]), "user's");
}

TEST(MachineFolderInstall, AShippedNameThatIsAnotherShippedFilesShortNameFailsTheInstall)
{
    TestFolder folder;
    MachineNames names;
    // Outside the shell's folders, where an entry whose file is in use is passed over.
    const std::wstring programs = VLFolderKeywords().GetPath(L"program_files"),
                       probe = folder / L"Collide Long Name.txt";
    wchar_t shortPath[MAX_PATH];
    ASSERT_TRUE(WriteFileBytes(probe, "") && GetShortPathNameW(probe.c_str(), shortPath, MAX_PATH));
    const struct {
        std::wstring first, second; // shipped in this order
        bool succeeds;
    } rows[] = {{GetFileName(probe), GetFileName(shortPath), false},
                // A name of its own holding '~', again in another case: the later entry is the file.
                {L"v~1.txt", L"V~1.TXT", true}};
    for (const auto& row : rows) {
        const std::wstring n = std::to_wstring(&row - rows), app = names.Add(programs + L"\\" + names.Name(n));
        PackageWriter writer;
        writer.root.Add(File(row.first, "first"));
        writer.root.Add(File(row.second, "second"));
        std::string events;
        EXPECT_EQ(InstallPackage(writer, folder / (n + L".vlz"), app, events), row.succeeds) << events;
        EXPECT_EQ(ReadFileBytes(app + L"\\" + row.first), row.succeeds ? "second" : "<unreadable>");
        EXPECT_EQ(events.find(ToMultiByte(row.second) + "\" (error 32)") != std::string::npos, !row.succeeds) << events;
    }
}

TEST(MachineFolderInstall, AKeptCopysEventNamesItAndTheFileItWas)
{
    EventLines log;
    ReportKeptCopy(&log, kEventPutBackFailed, L"C:\\a\\u.dll.~vl0", L"C:\\a\\u.dll", 32);
    EXPECT_EQ(log.lines, "event 0x10000005: \"C:\\a\\u.dll.~vl0\" from \"C:\\a\\u.dll\" (error 32)\n");
}

} // namespace
} // namespace Velora
