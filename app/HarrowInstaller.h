// The repair thread's view of the install of one downloaded package, and the
// factory that makes one per row.
#pragma once

#include "install/DependSoftInstallerBase.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Velora {

class IHarrowInstaller {
public:
    virtual ~IHarrowInstaller() = default; // stops an install still running

    // Starts installing the file into the folder. The answer is the installer
    // that does the work, to be polled until its Wait answers true; null
    // when none could be made. Owned by this object.
    virtual VLDependSoftInstallerBase* Install(int32_t runtimeId, const std::wstring& file,
                                               const std::wstring& folder) = 0;
};

class IHarrowInstallerFactory {
public:
    virtual ~IHarrowInstallerFactory() = default;
    virtual std::unique_ptr<IHarrowInstaller> Create() = 0;
};

} // namespace Velora
