#include "app/AppString.h"
#include "app/HarrowWnd.h"
#include "app/WorkFolder.h"
#include "base/Singleton.h"
#include "download/BTManager.h"
#include "ui/controls/ControlElements.h"
#include "ui/core/UIResources.h"

#include <windows.h>

using namespace Velora;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The program runs elevated: a DLL planted in the current folder must never be loaded.
    SetDllDirectoryW(L"");
    VLUIResources::Instance()->SetInstance(instance);
    // The markup builder knows every control, not only those of the core.
    RegisterControlElements();
    VLBTManager& torrents = VLSingleton<VLBTManager>::GetInstance();
    if (!torrents.Init(GetWorkFolder(), 5)) {
        MessageBoxW(nullptr, LoadAppString(kStringTorrentsFailed).c_str(), LoadAppString(kStringErrorTitle).c_str(), 0);
        return 0;
    }
    {
        VLHarrowWnd window;
        // Without a window nothing would ever end the loop.
        if (IsWindow(window.GetHWND())) {
            ShowWindow(window.GetHWND(), SW_SHOWNORMAL);
            VLPaintManager::MessageLoop();
        }
        torrents.Shutdown();
    }
    return 0;
}
