// Installs a downloaded file that is not a package by running it as a setup
// program. The two sides talk through a small ini file: [install] dir tells
// the program where it may work, [report] result = 1 tells us it succeeded.
#pragma once

#include "base/Handles.h"
#include "install/DependSoftInstallerBase.h"
#include "install/TempFile.h"

namespace Velora {

class VLDependSoftSetupInstaller : public VLDependSoftInstallerBase {
public:
    bool Install(int callerArgument, const wchar_t* file, const wchar_t* folder) override;
    bool IsSucceeded() override;
    bool Wait(DWORD milliseconds) override;

    const std::wstring& GetExchangeFile() const { return exchangeFile_; }

private:
    // The running setup program.
    VLHandle process_;
    std::wstring exchangeFile_;
    // Owns the exchange file for as long as the installer lives: the program
    // reads [install] at its start, and the report is read again after Wait.
    // Nothing holds it meanwhile, so the program may replace it.
    VLTempFile exchange_;
};

// Opens file with its default action through the shell, parameters passed as
// they are. When process is given it receives the new process, which may be
// none when the shell started no process of its own.
bool ShellExecuteProgram(const std::wstring& file, const std::wstring& parameters, VLHandle* process = nullptr);

} // namespace Velora
