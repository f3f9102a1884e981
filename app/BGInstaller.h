// The offer of the maker's companion game client: whether it is installed,
// and the background thread that fetches its installer from the service host
// into the work folder and starts it.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace Velora {

// Read through the 32-bit registry view, where the client's installer writes.
extern const wchar_t kCompanionKey[];

// "http://<service host>/setup/zofti_appenv.exe"
std::wstring GetCompanionUrl();

// True when HKLM\keyPath can be opened in the 32-bit view.
bool IsCompanionInstalled(const std::wstring& keyPath = kCompanionKey);

// Downloads url to folder\zofti_appenv.exe, creating the folder first, and
// opens the file with the shell, unless stop was set meanwhile; nothing is
// made, written or started through a link (base/PlainFile.h). The download
// is bounded as every request of the program and gives up soon after stop is
// set. False when either step failed or it was stopped; nobody is shown a
// failure.
bool InstallCompanion(const std::wstring& folder, const std::wstring& url, const std::atomic<bool>* stop = nullptr);

// The companion thread: InstallCompanion into the work folder from the
// service host. The parameter is the holder's stop flag; answers 0.
DWORD WINAPI BGInstallThreadProc(LPVOID stop);

// Holds the companion thread. The thread is started at most once; closing
// the window stops it, and the holder waits for it to end before it goes.
class VLBGInstaller {
public:
    virtual ~VLBGInstaller();

    // False when a thread was started before or none could be made.
    bool Start();
    // Asks a started thread to give up its download or not to start the
    // installer; returns at once.
    void Stop() { stop_ = true; }
    // Waits for a started thread, which ends soon after Stop.
    void Wait();
    bool Started() const { return thread_.Valid(); }

private:
    std::atomic<bool> stop_{false};
    VLHandle thread_;
};

} // namespace Velora
