// The one installer the application drives for a downloaded file: a package
// of the program's own format goes to the package installer, anything else
// is run as a setup program.
#pragma once

#include "install/DependSoftInstallerBase.h"

#include <memory>

namespace Velora {

class VLDependSoftInstaller : public VLDependSoftInstallerBase {
public:
    // After a successful install for refreshId, running programs are told
    // that the environment changed and this process reloads its "Path".
    explicit VLDependSoftInstaller(int refreshId) : refreshId_(refreshId) {}
    ~VLDependSoftInstaller() override;

    bool Install(int callerArgument, const wchar_t* file, const wchar_t* folder) override;
    bool IsSucceeded() override;
    bool Wait(DWORD milliseconds) override;
    int GetProgress() override;

    // The installer Install chose; null before Install.
    VLDependSoftInstallerBase* GetInner() const { return inner_.get(); }

private:
    std::unique_ptr<VLDependSoftInstallerBase> inner_;
    int refreshId_;
};

} // namespace Velora
