// The companion client's presence in the 32-bit registry view, and the fetch
// of its installer from the service host into a folder that does not exist
// yet, after which the shell starts it.
#include "app/BGInstaller.h"

#include "base/TextConvert.h"
#include "detect/DetectHelpers.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace Velora {
namespace {

using namespace Velora::Test;

bool CreateKey(const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr))
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteKey(const std::wstring& path, REGSAM view)
{
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
}

TEST(BGInstaller, TheClientCountsAsInstalledOnlyWithItsKeyInThe32BitView)
{
    const std::wstring key = L"SOFTWARE\\VLTest游戏" + std::to_wstring(GetCurrentProcessId());
    EXPECT_FALSE(IsCompanionInstalled(key));
    ASSERT_TRUE(CreateKey(key, KEY_WOW64_32KEY));
    EXPECT_TRUE(IsCompanionInstalled(key));
    DeleteKey(key, KEY_WOW64_32KEY);
    EXPECT_FALSE(IsCompanionInstalled(key));
    if (IsWow64()) {
        ASSERT_TRUE(CreateKey(key, KEY_WOW64_64KEY));
        EXPECT_FALSE(IsCompanionInstalled(key)) << "the 64-bit view is not where the client writes";
        DeleteKey(key, KEY_WOW64_64KEY);
    }
    EXPECT_EQ(std::wstring(L"SOFTWARE\\Zofti游戏"), kCompanionKey);
}

bool Ran(const std::wstring& marker)
{
    for (int i = 0; i < 300 && !Exists(marker); ++i) Sleep(100);
    return Exists(marker);
}

TEST(BGInstaller, FetchesTheInstallerIntoANewFolderAndStartsIt)
{
    VLTestHttpServer service;
    ASSERT_TRUE(service.Start(80)) << "the service port is taken";
    const std::string installer = ReadFileBytes(L"Z:" + ToWide(VL_COMPANION_EXE));
    ASSERT_GT(installer.size(), 1000u);
    service.SetFile("/setup/zofti_appenv.exe", installer);
    TestFolder temp;
    const std::wstring folder = temp / L"Zofti\\RuntimeCheck";

    ASSERT_TRUE(InstallCompanion(folder, GetCompanionUrl()));
    EXPECT_EQ(installer, ReadFileBytes(folder + L"\\zofti_appenv.exe"));
    EXPECT_TRUE(Ran(folder + L"\\zofti_appenv.exe.ran"));
    ASSERT_EQ(1, service.CountRequests("/setup/zofti_appenv.exe"));

    const std::wstring other = temp / L"missing";
    EXPECT_FALSE(InstallCompanion(other, ToWideString(service.Url("/setup/none.exe"))));
    Sleep(500);
    EXPECT_FALSE(Exists(other + L"\\zofti_appenv.exe.ran")) << "nothing is started after a failed fetch";
    EXPECT_FALSE(Exists(other + L"\\zofti_appenv.exe")) << "a failed fetch leaves no file";

    // A service that never answers: the fetch gives up soon after stop, set
    // once the service holds the request.
    VLServerFaults stall;
    stall.stall = true;
    service.SetFaults(stall);
    std::atomic<bool> stop{false};
    std::atomic<DWORD> stopped{0};
    std::thread stopper([&] {
        for (int i = 0; i < 2000 && service.CountRequests("/setup/zofti_appenv.exe") < 2; ++i) Sleep(10);
        stopped = GetTickCount();
        stop = true;
    });
    EXPECT_FALSE(InstallCompanion(other, GetCompanionUrl(), &stop));
    const DWORD returned = GetTickCount();
    stopper.join();
    EXPECT_EQ(2, service.CountRequests("/setup/zofti_appenv.exe"));
    EXPECT_LT(returned - stopped, 1000u);

    // Another program renames the installer away as soon as it appears and
    // puts its own in its place: a disturbed fetch may fail, but what starts
    // is only ever the bytes that came.
    VLServerFaults slow;
    slow.throttle = uint32_t(installer.size());
    service.SetFaults(slow);
    const std::wstring path = temp / L"zofti_appenv.exe", moved = temp / L"moved.exe";
    std::atomic<bool> done{false};
    std::thread planter([&] {
        while (!done && !MoveFileW(path.c_str(), moved.c_str()) && GetLastError() != ERROR_SHARING_VIOLATION) continue;
        if (Exists(moved)) WriteFileBytes(path, installer + "planted");
    });
    const bool fetched = InstallCompanion(temp.Path(), GetCompanionUrl());
    done = true;
    planter.join();
    if (!fetched) Sleep(500); // time for a program wrongly started to show
    EXPECT_TRUE(!fetched || installer == ReadFileBytes(path)) << "the bytes started are not the ones that came";
    EXPECT_EQ(fetched ? Ran(path + L".ran") : Exists(path + L".ran"), fetched) << "fetched: " << fetched;
}

} // namespace
} // namespace Velora
