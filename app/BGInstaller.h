// The offer of the maker's companion game client: whether it is installed,
// and the background thread that fetches its installer from the service host
// into the work folder and starts it.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <string>

namespace Velora {

// Read through the 32-bit registry view, where the client's installer writes.
extern const wchar_t kCompanionKey[];

// "http://<service host>/setup/zofti_appenv.exe"
std::wstring GetCompanionUrl();

// True when HKLM\keyPath can be opened in the 32-bit view.
bool IsCompanionInstalled(const std::wstring& keyPath = kCompanionKey);

// Downloads url to folder\zofti_appenv.exe, creating the folder first, and
// opens the file with the shell. False when either step failed; nobody is
// shown a failure.
bool InstallCompanion(const std::wstring& folder, const std::wstring& url);

// The companion thread: InstallCompanion into the work folder from the
// service host. The parameter is not used; answers 0.
DWORD WINAPI BGInstallThreadProc(LPVOID);

// Holds the companion thread. The thread is started at most once; the holder
// closes its handle but neither waits for nor stops it, which the window does
// when it goes away.
class VLBGInstaller {
public:
    virtual ~VLBGInstaller() = default;

    // False when a thread was started before or none could be made.
    bool Start();
    // Waits without limit for a started thread.
    void Wait();
    bool Started() const { return thread_.Valid(); }

private:
    VLHandle thread_;
};

} // namespace Velora
