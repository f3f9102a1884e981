// The rollback of a failed install whose script's program replaced the
// package's libraries in the system folder, each through a temporary file
// (the usual installer pattern), and then failed; beside it, the rollback of
// the same install whose program replaces nothing. The rollback is timed from
// the program's failure, as the install hears it, to the install's end.
// Apart, what watching the names around the install's files costs (Watch),
// and what pinning the files let go for a program costs (Pins).
// rollback-bench.sh runs it in a throw-away prefix.
//   rollback-bench run <files> <rounds>       prints figures
//   rollback-bench watch <rounds> [folders] [<renames>...]
//                                             prints the watch's figures
//   rollback-bench pins <files>               prints one round's figures
//   rollback-bench replace <folder> <stem> <files>
//   rollback-bench rename <file> <times>
//   rollback-bench move <file> <times> <folder> <beside or ""> <operations>
//                                             the script's programs
//   rollback-bench busy <folder> <operations> the program beside
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

std::wstring LibraryName(const std::wstring& stem, int i)
{
    return stem + L"-" + std::to_wstring(i) + L".dll";
}

// As an installer does: new bytes into a temporary file, which then takes
// the library's name; exits with 1, a failed setup.
int Replace(const std::wstring& folder, const std::wstring& stem, int files)
{
    for (int i = 0; i < files; ++i) {
        const std::wstring library = folder + L"\\" + LibraryName(stem, i), temporary = library + L".tmp";
        VLFile file;
        DWORD written = 0;
        if (!file.Open(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS, 0) || !file.Write("replaced", 8, &written) ||
            !file.Close() || !MoveFileExW(temporary.c_str(), library.c_str(), MOVEFILE_REPLACE_EXISTING))
            return 2;
    }
    return 1;
}

// Renames the file times over: to a scratch name and back, or (fresh) each
// time to a name of its own, as a program moving a file through temporary
// names does; exits with 1.
int Rename(const std::wstring& file, int times, bool fresh = false)
{
    std::wstring name = file;
    for (int i = 0; i < times; ++i) {
        const std::wstring next = fresh ? file + L"." + std::to_wstring(i + 1) : i % 2 ? file : file + L".r";
        if (!MoveFileW(name.c_str(), next.c_str())) return 2;
        name = next;
    }
    return 1;
}

// Makes the folder, then in it, operations times over, a file that it
// renames and deletes, each under names of its own, as a program busy
// beside the install does; exits with 0.
int Busy(const std::wstring& folder, int operations)
{
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return 2;
    for (int i = 0; i < operations; ++i) {
        const std::wstring made = folder + L"\\" + std::to_wstring(i) + L".tmp", kept = made + L".dat";
        if (!WriteFileBytes(made, "busy") || !MoveFileW(made.c_str(), kept.c_str()) || !DeleteFileW(kept.c_str()))
            return 2;
    }
    return 0;
}

// Rename through fresh names, then renames the folder to its name with "2",
// which takes the package's file in it along. Where beside is given, Busy
// runs there meanwhile from a second program, and the folder is renamed once
// that has ended; exits with 1 (2 where an act failed).
int Move(const std::wstring& file, int times, const std::wstring& folder, const std::wstring& beside, int operations)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    std::wstring line = L"\"" + GetModuleFilePath() + L"\" busy \"" + beside + L"\" " + std::to_wstring(operations);
    if (!beside.empty() &&
        !CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return 2;
    VLHandle process(started.hProcess), thread(started.hThread);
    const int renamed = Rename(file, times, true);
    DWORD busy = 0;
    if (process.Valid() && (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
                            !GetExitCodeProcess(process.Get(), &busy) || busy != 0))
        return 2;
    return renamed == 1 && MoveFileW(folder.c_str(), (folder + L"2").c_str()) ? 1 : 2;
}

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// When the program's failure was heard and when the install ended, and what
// the rollback said it left.
class RollbackClock : public VLCompressProgress {
public:
    bool OnEvent(const VLUnpackEvent* event) override
    {
        if (event->code == kEventScriptFailed) failed = Now();
        if (event->code == kEventDeleteFailed) ++(event->original ? moved : left);
        return false;
    }
    void OnEnd(bool) override { ended = Now(); }

    double failed = 0, ended = 0;
    int left = 0, moved = 0;
};

struct Figures {
    double seconds = -1, whole = -1;
    int left = 0, moved = 0;
};

// Installs the package, whose program fails, into work\stem; or, where it
// does not fail, one that succeeds, timed whole and removed again.
Figures FailedInstall(const std::wstring& work, const std::wstring& stem, const PackageWriter& writer,
                      bool fails = true)
{
    const std::wstring package = work + L"\\" + stem + L".vlz";
    Figures figures;
    RollbackClock clock;
    VLSfxInstall install(package);
    install.SetProgress(&clock);
    if (!writer.WriteTo(package) || !install.Open()) return figures;
    const double start = Now();
    if (install.Install(work + L"\\" + stem) == fails || (fails && clock.failed == 0)) return figures;
    figures = {clock.ended - clock.failed, clock.ended - start, clock.left, clock.moved};
    DeleteFileW(package.c_str());
    if (!fails) DeleteTree(work + L"\\" + stem);
    return figures;
}

std::wstring ThisProgram()
{
    return L"runcheck 0 \"" + GetModuleFilePath() + L"\" ";
}

Figures InstallOnce(const std::wstring& work, const std::wstring& stem, int files, int replaced)
{
    PackageWriter writer;
    PackageEntry system = Folder(L"system32");
    for (int i = 0; i < files; ++i) system.Add(File(LibraryName(stem, i), SampleBytes(4096, i)));
    writer.root.Add(Folder(L"##windows##", {system}));
    writer.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"replace ##windows##\\system32 " + stem + L" " +
                                                     std::to_wstring(replaced))));
    return FailedInstall(work, stem, writer);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Run(int files, int rounds)
{
    std::wstring work;
    if (!GetTempDir(work)) return 1;
    work += L"rollback-bench";
    CreateDirectories(work);
    std::vector<double> replacing, plain;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring stem = L"vlrb" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(round);
        const Figures each = InstallOnce(work, stem + L"r", files, files);
        const Figures none = InstallOnce(work, stem + L"n", files, 0);
        if (each.seconds < 0 || none.seconds < 0) {
            std::fprintf(stderr, "rollback-bench: an install did not fail as it should\n");
            return 1;
        }
        std::printf("round %d: program replacing each: rollback %.3f s (%d named as replaced, %d as moved); "
                    "replacing none: rollback %.3f s (%d named)\n",
                    round + 1, each.seconds, each.left, each.moved, none.seconds, none.left + none.moved);
        replacing.push_back(each.seconds);
        plain.push_back(none.seconds);
    }
    DeleteTree(work);
    const double a = Median(replacing), b = Median(plain);
    std::printf("rollback of %d system-folder libraries, median of %d: %.3f s with the program replacing each, "
                "%.3f s replacing none, ratio %.2f (goal within 2)\n",
                files, rounds, a, b, b > 0 ? a / b : 0.0);
    return 0;
}

// What watching the names around the install's files costs, each install
// rolled back: a program making 10,000 renames, and 1,500 folders to watch
// (where asked: it takes long). Then, with every rename for the rollback to
// follow, programs moving a file through each count of fresh names and then
// renaming a folder of the package's: the time after them should grow with
// the count, not its square. Last, 10,000 of them with a second program busy
// beside the install folder meanwhile, whose changes the watch hears as well.
int Watch(int rounds, const std::vector<int>& counts, bool folders)
{
    constexpr int kBesideRenames = 10000, kBesideOperations = 4000;
    std::wstring work;
    if (!GetTempDir(work)) return 1;
    work += L"rollback-bench";
    CreateDirectories(work);
    std::vector<std::string> names;
    std::vector<std::vector<Figures>> figures;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring stem = L"vlrw" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(round);
        size_t next = 0;
        const auto measure = [&](const std::string& name, const PackageWriter& writer, bool follows) {
            const Figures each = FailedInstall(work, stem + L"-" + std::to_wstring(next), writer);
            if (each.seconds < 0) {
                std::fprintf(stderr, "rollback-bench: the install of %s did not fail as it should\n", name.c_str());
                return false;
            }
            if (round == 0) names.push_back(name), figures.emplace_back();
            // The two files named as moved show that the rollback followed
            // the renames. Where the watch lost changes, as when the program
            // renames faster than the install reads them, it could not, and
            // the time is another rollback's: left out of the median.
            const bool followed = !follows || each.moved == 2;
            if (followed) figures[next].push_back(each);
            ++next;
            std::printf("round %d: %s: install %.3f s, after the program %.3f s (%d named as left, %d as moved)%s\n",
                        round + 1, name.c_str(), each.whole, each.seconds, each.left, each.moved,
                        followed ? "" : ": the renames were not followed, left out");
            std::fflush(stdout);
            return true;
        };
        // Into a folder of the user's, which the rollback leaves, so that
        // what the program moved stays to be named.
        const auto moving = [&](const std::string& name, int count, const std::wstring& beside) {
            PackageWriter writer;
            writer.root.Add(File(L"a.dat", "a"));
            writer.root.Add(Folder(L"sub", {File(L"s.dat", "s")}));
            writer.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"move ##install##\\a.dat " +
                                                             std::to_wstring(count) + L" ##install##\\sub \"" + beside +
                                                             L"\" " + std::to_wstring(kBesideOperations))));
            CreateDirectories(work + L"\\" + stem + L"-" + std::to_wstring(next));
            return measure(name, writer, true);
        };
        PackageWriter renames;
        renames.root.Add(File(L"a.dat", "a"));
        renames.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"rename ##install##\\a.dat 10000")));
        bool done = measure("10,000 renames", renames, false);
        if (folders) {
            PackageWriter tree;
            for (int i = 0; i < 1500; ++i) tree.root.Add(Folder(L"f" + std::to_wstring(i), {File(L"x.dat", "x")}));
            tree.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"rename ##install##\\f0\\x.dat 0")));
            done = done && measure("1,500 folders", tree, false);
        }
        for (int count : counts) done = done && moving(std::to_string(count) + " renames, then a folder", count, L"");
        done = done && moving(std::to_string(kBesideRenames) + " renames, then a folder, " +
                                  std::to_string(kBesideOperations) + " files made, renamed and deleted beside",
                              kBesideRenames, work + L"\\" + stem + L"-beside");
        if (!done) return 1;
    }
    DeleteTree(work);
    std::printf("median of %d rounds:\n", rounds);
    std::vector<double> after(figures.size());
    size_t width = 0;
    for (const std::string& name : names) width = std::max(width, name.size());
    for (size_t i = 0; i < figures.size(); ++i) {
        if (figures[i].empty()) {
            std::printf("  %-*s  no round followed the renames\n", int(width), names[i].c_str());
            continue;
        }
        std::vector<double> whole, seconds;
        for (const Figures& each : figures[i]) whole.push_back(each.whole), seconds.push_back(each.seconds);
        after[i] = Median(seconds);
        std::printf("  %-*s  install %8.3f s, after the program %8.3f s%s\n", int(width), names[i].c_str(),
                    Median(whole), after[i],
                    int(figures[i].size()) < rounds ? (" (" + std::to_string(figures[i].size()) + " rounds)").c_str()
                                                    : "");
    }
    // The time after the program for each count against the count before:
    // their ratio where each rename costs the same.
    const size_t first = folders ? 2 : 1;
    for (size_t i = 1; i < counts.size(); ++i)
        std::printf("after the program, %d renames against %d: ratio %.2f (%.2f where each rename costs the same)\n",
                    counts[i], counts[i - 1],
                    after[first + i - 1] > 0 && after[first + i] > 0 ? after[first + i] / after[first + i - 1] : 0.0,
                    double(counts[i]) / counts[i - 1]);
    return 0;
}

// What pinning the files an install lets go for its program costs: a package
// of small files in a few folders whose program succeeds (each file pinned
// before it runs, the pins gone as the install ends), and the same whose
// program fails (each file deleted, and counted, through its pin), each
// install timed whole. One round: rollback-bench.sh takes rounds of two
// builds in turn.
int Pins(int files)
{
    std::wstring work;
    if (!GetTempDir(work)) return 1;
    work += L"rollback-bench";
    CreateDirectories(work);
    const auto package = [&](int code) {
        PackageWriter writer;
        std::vector<PackageEntry> folders;
        for (int i = 0; i < 6; ++i) folders.push_back(Folder(L"d" + std::to_wstring(i)));
        for (int i = 0; i < files; ++i)
            folders[i % folders.size()].Add(File(std::to_wstring(i) + L".dat", SampleBytes(64 + i % 64, i)));
        for (const PackageEntry& folder : folders) writer.root.Add(folder);
        writer.root.Add(File(L"##tasks##.txt",
                             Utf16File(L"runcheck 0 C:\\windows\\system32\\cmd.exe /c exit " + std::to_wstring(code))));
        return writer;
    };
    const std::wstring stem = L"vlrp" + std::to_wstring(GetCurrentProcessId());
    const Figures succeeds = FailedInstall(work, stem + L"s", package(0), false),
                  fails = FailedInstall(work, stem + L"f", package(1));
    DeleteTree(work);
    if (succeeds.whole < 0 || fails.whole < 0) {
        std::fprintf(stderr, "rollback-bench: an install did not end as it should\n");
        return 1;
    }
    std::printf("  %d files, program succeeds: %.3f s\n  %d files, program fails: %.3f s\n", files, succeeds.whole,
                files, fails.whole);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"run") return Run(_wtoi(argv[2]), std::max(1, _wtoi(argv[3])));
    if (argc == 5 && std::wstring(argv[1]) == L"replace") return Replace(argv[2], argv[3], _wtoi(argv[4]));
    if (argc >= 3 && std::wstring(argv[1]) == L"watch") {
        std::vector<int> counts;
        bool folders = false;
        for (int i = 3; i < argc; ++i)
            if (std::wstring(argv[i]) == L"folders")
                folders = true;
            else if (_wtoi(argv[i]) > 0)
                counts.push_back(_wtoi(argv[i]));
        if (counts.empty()) counts = {10000, 20000, 40000};
        return Watch(std::max(1, _wtoi(argv[2])), counts, folders);
    }
    if (argc == 3 && std::wstring(argv[1]) == L"pins") return Pins(_wtoi(argv[2]));
    if (argc == 4 && std::wstring(argv[1]) == L"rename") return Rename(argv[2], _wtoi(argv[3]));
    if (argc == 7 && std::wstring(argv[1]) == L"move")
        return Move(argv[2], _wtoi(argv[3]), argv[4], argv[5], _wtoi(argv[6]));
    if (argc == 4 && std::wstring(argv[1]) == L"busy") return Busy(argv[2], _wtoi(argv[3]));
    std::fprintf(
        stderr, "usage: rollback-bench run <files> <rounds> | watch <rounds> [folders] [<renames>...] | "
                "pins <files> | replace <folder> <stem> <files> | rename <file> <times> | move <file> <times> <folder> "
                "<beside or \"\"> <operations> | busy <folder> <operations>\n");
    return 2;
}
