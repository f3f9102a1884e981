// What the repair thread sees of every installer: start it, poll it until it
// has ended, read its progress, ask whether it succeeded.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace Velora {

class VLDependSoftInstallerBase {
public:
    VLDependSoftInstallerBase() = default;
    virtual ~VLDependSoftInstallerBase() = default;
    VLDependSoftInstallerBase(const VLDependSoftInstallerBase&) = delete;
    VLDependSoftInstallerBase& operator=(const VLDependSoftInstallerBase&) = delete;

    // True when the work was started. Whatever it answers, Wait comes to
    // answer true: the caller polls Wait until it does.
    virtual bool Install(int callerArgument, const wchar_t* file, const wchar_t* folder) = 0;
    // Meaningful once Wait has answered true.
    virtual bool IsSucceeded() = 0;
    // True when the work has ended within the time, or when there is nothing
    // left to wait for.
    virtual bool Wait(DWORD milliseconds) = 0;
    // 0 to 100.
    virtual int GetProgress() { return progress; }

protected:
    bool succeeded = false;
    std::wstring file;
    int callerArgument = 0;
    // Written by an installer's worker thread, read by the caller.
    std::atomic<int> progress{0};
};

} // namespace Velora
