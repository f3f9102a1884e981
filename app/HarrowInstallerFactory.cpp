#include "app/HarrowInstallerFactory.h"

#include "install/DependSoftInstaller.h"

namespace Velora {
namespace {

class VLHarrowPackageInstaller : public IHarrowInstaller {
public:
    VLDependSoftInstallerBase* Install(int32_t runtimeId, const std::wstring& file,
                                       const std::wstring& folder) override
    {
        // Whether it started tells nothing more: a failed start leaves an
        // installer whose Wait answers at once and which did not succeed.
        installer_.Install(runtimeId, file.c_str(), folder.c_str());
        return installer_.GetInner();
    }

private:
    VLDependSoftInstaller installer_{kEnvironmentRefreshRuntime};
};

} // namespace

std::unique_ptr<IHarrowInstaller> VLHarrowInstallerFactory::Create()
{
    return std::make_unique<VLHarrowPackageInstaller>();
}

} // namespace Velora
