// The rollback of a failed install whose script's program replaced the
// package's libraries in the system folder, each through a temporary file
// (the usual installer pattern), and then failed; beside it, the rollback of
// the same install whose program replaces nothing. The rollback is timed from
// the program's failure, as the install hears it, to the install's end.
// rollback-bench.sh runs it in a throw-away prefix.
//   rollback-bench run <files> <rounds>       prints figures
//   rollback-bench replace <folder> <stem> <files>
//                                              the script's program
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
    double seconds = -1;
    int left = 0, moved = 0;
};

Figures InstallOnce(const std::wstring& work, const std::wstring& stem, int files, int replaced)
{
    PackageWriter writer;
    PackageEntry system = Folder(L"system32");
    for (int i = 0; i < files; ++i) system.Add(File(LibraryName(stem, i), SampleBytes(4096, i)));
    writer.root.Add(Folder(L"##windows##", {system}));
    writer.root.Add(
        File(L"##tasks##.txt", Utf16File(L"runcheck 0 \"" + GetModuleFilePath() + L"\" replace ##windows##\\system32 " +
                                         stem + L" " + std::to_wstring(replaced))));
    const std::wstring package = work + L"\\" + stem + L".vlz";
    Figures figures;
    RollbackClock clock;
    VLSfxInstall install(package);
    install.SetProgress(&clock);
    if (!writer.WriteTo(package) || !install.Open() || install.Install(work + L"\\" + stem) || clock.failed == 0)
        return figures;
    figures = {clock.ended - clock.failed, clock.left, clock.moved};
    DeleteFileW(package.c_str());
    return figures;
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

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"run") return Run(_wtoi(argv[2]), std::max(1, _wtoi(argv[3])));
    if (argc == 5 && std::wstring(argv[1]) == L"replace") return Replace(argv[2], argv[3], _wtoi(argv[4]));
    std::fprintf(stderr, "usage: rollback-bench run <files> <rounds> | replace <folder> <stem> <files>\n");
    return 2;
}
