// The program's installers: a package of our own format is unpacked, any
// other file run as a setup program.
#pragma once

#include "app/HarrowInstaller.h"

namespace Velora {

// After the PhysX runtime is installed, running programs are told that the
// environment changed and this process reloads its "Path".
constexpr int32_t kEnvironmentRefreshRuntime = 40023;

class VLHarrowInstallerFactory : public IHarrowInstallerFactory {
public:
    std::unique_ptr<IHarrowInstaller> Create() override;
};

} // namespace Velora
