// The rollback of a failed install whose script's program replaced the
// package's libraries in the system folder, each through a temporary file
// (the usual installer pattern), and then failed; beside it, the rollback of
// the same install whose program replaces nothing. The rollback is timed from
// the program's failure, as the install hears it, to the install's end.
// Apart, what watching the names around the install's files costs: an
// install whose program makes 10,000 renames, and one of 1,500 folders.
// rollback-bench.sh runs it in a throw-away prefix.
//   rollback-bench run <files> <rounds>       prints figures
//   rollback-bench watch <rounds>             prints the watch's figures
//   rollback-bench replace <folder> <stem> <files>
//   rollback-bench rename <file> <times>      the script's programs
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

// Renames the file to a scratch name and back, times over; exits with 1.
int Rename(const std::wstring& file, int times)
{
    for (int i = 0; i < times; ++i)
        if (!MoveFileW((i % 2 ? file + L".r" : file).c_str(), (i % 2 ? file : file + L".r").c_str())) return 2;
    return 1;
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

// Installs the package, whose program fails, into work\stem.
Figures FailedInstall(const std::wstring& work, const std::wstring& stem, const PackageWriter& writer)
{
    const std::wstring package = work + L"\\" + stem + L".vlz";
    Figures figures;
    RollbackClock clock;
    VLSfxInstall install(package);
    install.SetProgress(&clock);
    if (!writer.WriteTo(package) || !install.Open()) return figures;
    const double start = Now();
    if (install.Install(work + L"\\" + stem) || clock.failed == 0) return figures;
    figures = {clock.ended - clock.failed, clock.ended - start, clock.left, clock.moved};
    DeleteFileW(package.c_str());
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

} // namespace

// What watching the names around the install's files costs: a program
// making many renames, and many folders to watch, each rolled back.
int Watch(int rounds)
{
    std::wstring work;
    if (!GetTempDir(work)) return 1;
    work += L"rollback-bench";
    CreateDirectories(work);
    std::vector<double> renamesWhole, renamesRollback, foldersWhole, foldersRollback;
    for (int round = 0; round < rounds; ++round) {
        const std::wstring stem = L"vlrw" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(round);
        PackageWriter renames;
        renames.root.Add(File(L"a.dat", "a"));
        renames.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"rename ##install##\\a.dat 10000")));
        PackageWriter folders;
        for (int i = 0; i < 1500; ++i) folders.root.Add(Folder(L"f" + std::to_wstring(i), {File(L"x.dat", "x")}));
        folders.root.Add(File(L"##tasks##.txt", Utf16File(ThisProgram() + L"rename ##install##\\f0\\x.dat 0")));
        const Figures a = FailedInstall(work, stem + L"r", renames), b = FailedInstall(work, stem + L"f", folders);
        if (a.seconds < 0 || b.seconds < 0) {
            std::fprintf(stderr, "rollback-bench: an install did not fail as it should\n");
            return 1;
        }
        std::printf("round %d: 10,000 renames: install %.3f s, rollback %.3f s (%d named); 1,500 folders: install "
                    "%.3f s, rollback %.3f s (%d named)\n",
                    round + 1, a.whole, a.seconds, a.left + a.moved, b.whole, b.seconds, b.left + b.moved);
        renamesWhole.push_back(a.whole);
        renamesRollback.push_back(a.seconds);
        foldersWhole.push_back(b.whole);
        foldersRollback.push_back(b.seconds);
    }
    DeleteTree(work);
    std::printf("median of %d: 10,000 renames: install %.3f s, rollback %.3f s; 1,500 folders: install %.3f s, "
                "rollback %.3f s\n",
                rounds, Median(renamesWhole), Median(renamesRollback), Median(foldersWhole), Median(foldersRollback));
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"run") return Run(_wtoi(argv[2]), std::max(1, _wtoi(argv[3])));
    if (argc == 5 && std::wstring(argv[1]) == L"replace") return Replace(argv[2], argv[3], _wtoi(argv[4]));
    if (argc == 3 && std::wstring(argv[1]) == L"watch") return Watch(std::max(1, _wtoi(argv[2])));
    if (argc == 4 && std::wstring(argv[1]) == L"rename") return Rename(argv[2], _wtoi(argv[3]));
    std::fprintf(stderr, "usage: rollback-bench run <files> <rounds> | watch <rounds> | replace <folder> <stem> "
                         "<files> | rename <file> <times>\n");
    return 2;
}
