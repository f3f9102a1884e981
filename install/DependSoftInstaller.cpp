#include "install/DependSoftInstaller.h"

#include "install/Environment.h"
#include "install/DependSoftSetupInstaller.h"
#include "install/SfxInstall.h"
#include "install/DependSoftSfxInstaller.h"

namespace Velora {

VLDependSoftInstaller::~VLDependSoftInstaller()
{
    if (inner_ && inner_->IsSucceeded() && callerArgument == refreshId_) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                            SMTO_ABORTIFHUNG, 1000, &result);
        ReloadEnvironmentVariable(L"Path");
    }
}

bool VLDependSoftInstaller::Install(int callerArgument, const wchar_t* file, const wchar_t* folder)
{
    this->callerArgument = callerArgument;
    if (IsPackageFile(file))
        inner_ = std::make_unique<VLDependSoftSfxInstaller>();
    else
        inner_ = std::make_unique<VLDependSoftSetupInstaller>();
    return inner_->Install(callerArgument, file, folder);
}

bool VLDependSoftInstaller::IsSucceeded()
{
    return inner_ && inner_->IsSucceeded();
}

bool VLDependSoftInstaller::Wait(DWORD milliseconds)
{
    return !inner_ || inner_->Wait(milliseconds);
}

int VLDependSoftInstaller::GetProgress()
{
    return inner_ ? inner_->GetProgress() : 0;
}

} // namespace Velora
