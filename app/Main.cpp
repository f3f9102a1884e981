#include "app/AppString.h"
#include "app/HarrowWnd.h"
#include "app/WorkFolder.h"
#include "base/Singleton.h"
#include "download/BTManager.h"
#include "ui/controls/ControlElements.h"
#include "ui/core/UIResources.h"

#include <windows.h>

#include <future>

using namespace Velora;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The program runs elevated: a DLL planted in the current folder must never be loaded.
    SetDllDirectoryW(L"");
    VLUIResources::Instance()->SetInstance(instance);
    // The markup builder knows every control, not only those of the core.
    RegisterControlElements();
    VLBTManager& torrents = VLSingleton<VLBTManager>::GetInstance();
    // The session starts while the window is built; the window is shown only
    // once the session is there, and without one the user sees the error alone.
    std::future<bool> started = std::async(std::launch::async | std::launch::deferred,
                                           [&torrents] { return torrents.Init(GetWorkFolder(), 5); });
    VLHarrowWnd window;
    if (!started.get()) {
        if (IsWindow(window.GetHWND())) DestroyWindow(window.GetHWND());
        MessageBoxW(nullptr, LoadAppString(kStringTorrentsFailed).c_str(), LoadAppString(kStringErrorTitle).c_str(), 0);
        return 0;
    }
    // Without a window nothing would ever end the loop.
    if (IsWindow(window.GetHWND())) {
        ShowWindow(window.GetHWND(), SW_SHOWNORMAL);
        VLPaintManager::MessageLoop();
    }
    // The window is gone: a repair may finish its current step now.
    window.StopThreads();
    torrents.Shutdown();
    return 0;
}
