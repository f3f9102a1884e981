#include "install/DependSoftSetupInstaller.h"

#include "base/PlainFile.h"
#include "install/IniFile.h"

#include <shellapi.h>

#include <cwchar>

namespace Velora {

bool VLDependSoftSetupInstaller::Install(int callerArgument, const wchar_t* file, const wchar_t* folder)
{
    this->callerArgument = callerArgument;
    this->file = file;
    // Held as itself, without write or delete sharing, until its process has
    // started: what runs is the file that was checked and named here.
    VLPlainFile program;
    if (!program.Open(this->file, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    std::wstring exchange;
    if (!exchange_.CreateSetupIni(FormatIniEntry(L"install", L"dir", folder), exchange)) return false;
    if (!ShellExecuteProgram(this->file, exchange, &process_)) return false;
    exchangeFile_ = exchange;
    return true;
}

bool VLDependSoftSetupInstaller::IsSucceeded()
{
    // Whatever plain file has the exchange file's name now: the program may
    // have written into it or put a new file in its place. A link put there
    // is not followed.
    std::string bytes;
    std::wstring result;
    if (exchangeFile_.empty() || !exchange_.Read(bytes) || !FindIniValue(bytes, L"report", L"result", result))
        return false;
    // The program's verdict is judged on its first three characters.
    if (_wtoi(result.substr(0, 3).c_str()) != 1) return false;
    succeeded = true;
    return true;
}

bool VLDependSoftSetupInstaller::Wait(DWORD milliseconds)
{
    // Without a process there is nothing to wait for; IsSucceeded then
    // reports the failure instead of the caller polling for ever.
    if (!process_.Valid()) return true;
    return WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0;
}

bool ShellExecuteProgram(const std::wstring& file, const std::wstring& parameters, VLHandle* process)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = process ? SEE_MASK_NOCLOSEPROCESS : 0;
    info.hwnd = GetActiveWindow();
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return false;
    if (process) process->Reset(info.hProcess);
    return reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
}

} // namespace Velora
