// Installs a package of the program's own format on a worker thread, serving
// as the extraction's progress sink and answering the installer interface.
#pragma once

#include "base/Thread.h"
#include "install/CompressProgress.h"
#include "install/DependSoftInstallerBase.h"
#include "install/SfxInstall.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

// One package install as the worker thread runs it.
struct SfxInstallJob {
    // The package is read through this open file alone.
    SfxInstallJob(VLFile package, const std::wstring& targetFolder);
    SfxInstallJob(const SfxInstallJob&) = delete;
    SfxInstallJob& operator=(const SfxInstallJob&) = delete;

    bool Start();

    VLFile package;
    std::unique_ptr<VLSfxInstall> unpacker;
    std::wstring targetFolder;
    // Written by the worker, read by the caller once the thread has ended.
    std::atomic<bool> result{false};
    // Freed with the job, without waiting: the installer waits first when it
    // must (EndJob).
    VLThreadPtr thread;
};

class VLDependSoftSfxInstaller : public VLDependSoftInstallerBase, public VLCompressProgress {
public:
    VLDependSoftSfxInstaller() = default;
    // Cancels a running install and waits for the worker to end.
    ~VLDependSoftSfxInstaller() override;

    // False when the file is missing or not plain (base/PlainFile.h), or the
    // worker could not be started.
    bool Install(int callerArgument, const wchar_t* file, const wchar_t* folder) override;
    bool IsSucceeded() override;
    bool Wait(DWORD milliseconds) override;

    void OnProgress(double overallPercent, double entryPercent) override;
    bool OnEvent(const VLUnpackEvent* event) override;

    // Once the install has ended: false when a failed install could not put
    // back everything it changed.
    bool IsRolledBack();
    // What went wrong on the way, one line an event (a file left under its
    // kept name among them), in the order it happened.
    std::vector<std::wstring> GetLog();

private:
    // Ends a running install (cancelled, waited for) and drops its job.
    void EndJob();

    std::unique_ptr<SfxInstallJob> job_;
    std::mutex logLock_;
    std::vector<std::wstring> log_;
};

} // namespace Velora
