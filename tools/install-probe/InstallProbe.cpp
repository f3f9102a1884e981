// install-probe <file> <folder> <runtime id>: installs a downloaded file the
// way the application's repair thread does (Install, Wait(100) until it
// answers true, IsSucceeded) and prints what happens on the way: progress, a
// package's events, and whether a failed one put back all it changed. Exit
// status 0 only when the install succeeded.
#include "base/TextConvert.h"
#include "install/DependSoftInstaller.h"
#include "install/DependSoftSetupInstaller.h"
#include "install/DependSoftSfxInstaller.h"

#include <cstdio>
#include <cwchar>
#include <cstdlib>

using namespace Velora;

namespace {

// The runtime after whose install the application refreshes the environment.
const int kRefreshRuntime = 40023;

const char* KindOf(VLDependSoftInstallerBase* inner)
{
    if (dynamic_cast<VLDependSoftSfxInstaller*>(inner)) return "package";
    if (dynamic_cast<VLDependSoftSetupInstaller*>(inner)) return "setup program";
    return "none";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: install-probe <file> <folder> <runtime id>\n");
        return 2;
    }
    const int runtime = int(std::wcstol(argv[3], nullptr, 10));
    bool succeeded = false;
    {
        VLDependSoftInstaller installer(kRefreshRuntime);
        const bool started = installer.Install(runtime, argv[1], argv[2]);
        std::printf("installer: %s\nstarted: %s\n", KindOf(installer.GetInner()), started ? "yes" : "no");
        std::fflush(stdout);
        int shown = -1;
        const DWORD start = GetTickCount();
        while (!installer.Wait(100)) {
            const int progress = installer.GetProgress();
            if (progress != shown) {
                std::printf("progress: %d%%\n", progress);
                std::fflush(stdout);
                shown = progress;
            }
        }
        std::printf("ended after %lu ms, progress %d%%\n", GetTickCount() - start, installer.GetProgress());
        succeeded = installer.IsSucceeded();
        auto* package = dynamic_cast<VLDependSoftSfxInstaller*>(installer.GetInner());
        if (package) {
            for (const std::wstring& line : package->GetLog())
                std::printf("%s\n", WideToMultiByteCP(line, CP_UTF8, 0, nullptr, nullptr).c_str());
        }
        std::printf("result: %s\n", succeeded                               ? "succeeded"
                                     : !package || package->IsRolledBack() ? "failed"
                                                                           : "failed, not everything put back");
        if (succeeded && runtime == kRefreshRuntime) std::printf("environment: broadcast, Path reloaded\n");
        std::fflush(stdout);
    }
    return succeeded ? 0 : 1;
}
