#include "app/BGInstaller.h"

#include "app/WorkFolder.h"
#include "base/PlainFile.h"
#include "base/RegHandle.h"
#include "download/HttpRequest.h"

#include <shellapi.h>

namespace Velora {

const wchar_t kCompanionKey[] = L"SOFTWARE\\Zofti游戏";

std::wstring GetCompanionUrl()
{
    return std::wstring(L"http://") + VL_SERVICE_HOST + L"/setup/zofti_appenv.exe";
}

bool IsCompanionInstalled(const std::wstring& keyPath)
{
    VLRegHandle key;
    return key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE | KEY_WOW64_32KEY);
}

bool InstallCompanion(const std::wstring& folder, const std::wstring& url, const std::atomic<bool>* stop)
{
    // The work folder exists only once something was downloaded into it. A
    // folder that is a link, or lies behind one, is not used.
    if (!CreatePlainFolder(folder)) return false;
    const std::wstring path = folder + L"\\zofti_appenv.exe";
    // Held from its download until the shell has started it, without write
    // or delete sharing: what the shell starts by its name is what came.
    VLPlainFile program;
    if (!HttpGetToFile(url, path, stop, program) || (stop && *stop)) return false;
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW)) > 32;
}

DWORD WINAPI BGInstallThreadProc(LPVOID stop)
{
    InstallCompanion(GetWorkFolder(), GetCompanionUrl(), static_cast<const std::atomic<bool>*>(stop));
    return 0;
}

VLBGInstaller::~VLBGInstaller()
{
    Stop();
    Wait();
}

bool VLBGInstaller::Start()
{
    if (thread_.Valid()) return false;
    thread_.Reset(CreateThread(nullptr, 0, BGInstallThreadProc, &stop_, 0, nullptr));
    return thread_.Valid();
}

void VLBGInstaller::Wait()
{
    if (thread_.Valid()) WaitForSingleObject(thread_.Get(), INFINITE);
}

} // namespace Velora
