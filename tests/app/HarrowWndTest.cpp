// The real main window under Xvfb with a catalogue of fake runtimes: the
// check moves missing rows up and sums up, a cancel keeps its text, a repair
// through scripted downloads and installs ends each row and sums up, and
// every report reaches the service.
#include "app/HarrowWnd.h"

#include "app/AppString.h"
#include "app/HarrowElement.h"
#include "base/TextConvert.h"
#include "tests/app/ScopedTempFolder.h"
#include "tests/app/ScriptedRepair.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"
#include "ui/core/Container.h"
#include "ui/core/Slide.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace Velora {
namespace {

using namespace Velora::Test;

bool Present()
{
    return true;
}
bool Missing()
{
    return false;
}
bool SlowlyMissing()
{
    Sleep(150);
    return false;
}

// A detection that hangs until the test lets it go, and tells when it was
// called and when it returned.
HANDLE g_release = nullptr;
volatile bool g_entered = false;
volatile bool g_returned = false;
bool Hanging()
{
    g_entered = true;
    WaitForSingleObject(g_release, 30000);
    g_returned = true;
    return true;
}

// Dispatches what is queued until done() holds; false after 20 s.
template <typename Done> bool PumpUntil(Done done, DWORD ms = 20000)
{
    const DWORD end = GetTickCount() + ms;
    MSG msg;
    while (!done()) {
        if (GetTickCount() > end) return false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!VLPaintManager::PreTranslateAll(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        Sleep(5);
    }
    return true;
}

std::wstring TextOf(VLHarrowWnd& window, int id)
{
    VLControl* control = window.paintManager.FindControl(id);
    return control ? control->GetText() : L"<none>";
}

void Click(VLHarrowWnd& window, int id)
{
    VLControl* control = window.paintManager.FindControl(id);
    ASSERT_TRUE(control) << id;
    window.paintManager.SendNotify(control, kNotifyClick, 0, 0);
}

class HarrowWndTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.Start(80)) << "the service port is taken"; }
    std::vector<std::string> Reports()
    {
        std::vector<std::string> reports;
        for (const VLLoggedRequest& request : service.Requests()) reports.push_back(request.target);
        return reports;
    }

    // A shown window over the runtimes, its first paint done.
    std::unique_ptr<VLHarrowWnd> Open(VLHarrowWndSetup setup)
    {
        auto window = std::make_unique<VLHarrowWnd>(setup);
        EXPECT_TRUE(window->GetHWND());
        ShowWindow(window->GetHWND(), SW_SHOWNORMAL);
        const size_t rows = setup.runtimes.size();
        EXPECT_TRUE(PumpUntil([&] { return size_t(window->GetRowCount()) == rows; }));
        return window;
    }
    bool Check(VLHarrowWnd& window)
    {
        Click(window, kStartButton);
        return PumpUntil([&] { return window.GetState() != HarrowWindowState::Checking; });
    }

    VLTestHttpServer service;
};

TEST_F(HarrowWndTest, ACheckListsMissingRuntimesFirstAndReportsThem)
{
    VLHarrowWndSetup setup;
    setup.runtimes = {{0, 40018, kImageDirectX, L"A", &Present},
                      {0, 40019, kImageGfwLive, L"B", &Missing},
                      {0, 40020, kImageJava, L"C", &Present},
                      {0, 40021, kImageDotNet, L"D", &Missing}};
    const auto window = Open(setup);
    ASSERT_FALSE(HasFailure()) << "the window did not open";
    ASSERT_TRUE(Check(*window));
    EXPECT_EQ(HarrowWindowState::Missing, window->GetState());
    EXPECT_EQ(L"共检测了4个运行库，其中2个已安装，2个未安装。", TextOf(*window, kCheckSummary));
    EXPECT_EQ(L"正在检测运行库 4/4 {c #487fb3}D{/c}", TextOf(*window, kCheckText));
    std::wstring order;
    for (int i = 0; i < 4; ++i)
        order +=
            window->GetRow(i)->GetTitle() + (window->GetRow(i)->GetState() == RuntimeRowState::Missing ? L"-" : L"+");
    EXPECT_EQ(L"B-D-A+C+", order); // the missing rows move up
    // Sent from a thread of its own, after the window has moved on.
    ASSERT_TRUE(PumpUntil([&] { return !Reports().empty(); }));
    EXPECT_EQ(std::vector<std::string>{"/app_runtime.php?type=1&have=4-7&miss=5-17"}, Reports());
}

TEST_F(HarrowWndTest, TheWheelOverTheListMovesTheSliderAndScrollsTheList)
{
    VLHarrowWndSetup setup;
    for (int i = 0; i < 10; ++i) setup.runtimes.push_back({0, 40018 + i, kImageDirectX, L"R", &Present});
    const auto window = Open(setup);
    ASSERT_TRUE(Check(*window));
    auto* slider = static_cast<VLSlide*>(window->paintManager.FindControl(kListSlider));
    auto* list = static_cast<VLContainer*>(window->paintManager.FindControl(kList));
    ASSERT_TRUE(slider && list);
    const RECT area = list->GetPos();
    auto wheel = [&](int x, int y, int delta) {
        POINT point{x, y};
        ClientToScreen(window->GetHWND(), &point);
        SendMessageW(window->GetHWND(), WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(point.x, point.y));
    };
    wheel(area.left + 5, area.top + 5, -120);
    EXPECT_EQ(12, slider->GetValue());
    // Without a scroll bar the first row's top goes that far above the list's.
    const int scrolled = 5 * (80 + list->GetChildPadding()) * 12 / slider->GetRange();
    EXPECT_EQ(area.top - scrolled, window->GetRow(0)->GetPos().top);
    wheel(area.left + 5, area.top - 5, -120);
    EXPECT_EQ(12, slider->GetValue()) << "outside the list";
    wheel(area.right, area.bottom, 120 * 5);
    EXPECT_EQ(0, slider->GetValue()) << "stops at the top";
}

TEST_F(HarrowWndTest, ACancelledCheckTellsWhatItFoundAndReportsNothing)
{
    VLHarrowWndSetup setup;
    for (int i = 0; i < 6; ++i) setup.runtimes.push_back({0, 40018 + i, kImageDirectX, L"R", &SlowlyMissing});
    const auto window = Open(setup);
    Click(*window, kStartButton);
    ASSERT_TRUE(PumpUntil([&] { return window->GetRow(1)->GetState() == RuntimeRowState::Missing; }));
    int missing = 0;
    for (int i = 0; i < window->GetRowCount(); ++i)
        missing += window->GetRow(i)->GetState() == RuntimeRowState::Missing;
    Click(*window, kActionButton);
    EXPECT_EQ(HarrowWindowState::Idle, window->GetState());
    EXPECT_EQ(L"检测已被取消，已发现缺少" + std::to_wstring(missing) + L"个运行库，建议您重新进行完整的检测。",
              TextOf(*window, kCancelText));
    EXPECT_EQ(L"重新检测", TextOf(*window, kActionButton));
    PumpUntil([] { return false; }, 1000);
    EXPECT_EQ(HarrowWindowState::Idle, window->GetState());
    EXPECT_TRUE(Reports().empty());
}

// A check stuck in a detection function is left to end by itself, never
// killed: the function returns once released, and nothing it reports after
// the cancel changes the window.
TEST_F(HarrowWndTest, ACancelLeavesAStuckCheckToEndByItself)
{
    VLHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_release = release.Get();
    g_entered = g_returned = false;
    VLHarrowWndSetup setup;
    setup.runtimes = {{0, 40018, kImageDirectX, L"A", &Missing},
                      {0, 40019, kImageGfwLive, L"B", &Hanging},
                      {0, 40020, kImageJava, L"C", &Missing}};
    const auto window = Open(setup);
    Click(*window, kStartButton);
    ASSERT_TRUE(PumpUntil([&] { return window->GetRow(0)->GetState() == RuntimeRowState::Missing; }));
    // Cancelled only once stuck: a cancel before the call would skip it.
    ASSERT_TRUE(PumpUntil([] { return g_entered; }));
    const DWORD before = GetTickCount();
    Click(*window, kActionButton);
    EXPECT_LT(GetTickCount() - before, 3000u);
    EXPECT_EQ(L"检测已被取消，已发现缺少1个运行库，建议您重新进行完整的检测。", TextOf(*window, kCancelText));
    SetEvent(release.Get());
    ASSERT_TRUE(PumpUntil([] { return g_returned; }));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(HarrowWindowState::Idle, window->GetState());
    EXPECT_EQ(RuntimeRowState::Unchecked, window->GetRow(2)->GetState()) << "the check went on after the cancel";
    EXPECT_TRUE(Reports().empty());
}

// A cancel gives the window back at once while the repair thread finishes its
// step; the next repair can start only once that has ended.
TEST_F(HarrowWndTest, ACancelledRepairFinishesItsStepWithoutHoldingTheWindow)
{
    VLHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Script script{std::make_shared<VLHarrowStatusSink>(), {{true, false, 1000, true, 0, gate.Get()}, {}}, {{}}};
    VLHarrowWndSetup setup;
    setup.runtimes = {{0, 40018, kImageDirectX, L"A", &Missing}};
    setup.downloaders = std::make_shared<ScriptedDownloads>(script);
    setup.installers = std::make_shared<ScriptedInstalls>(script);
    setup.companionKey = L"SOFTWARE\\Microsoft"; // present: no offer
    const auto window = Open(setup);
    ASSERT_TRUE(Check(*window));
    Click(*window, kActionButton);
    ASSERT_TRUE(PumpUntil([&] { return window->GetRow(0)->GetState() == RuntimeRowState::Repairing; }));
    // A cancel that waited for the step would wait out the gate.
    Click(*window, kActionButton);
    EXPECT_EQ(0, script.downloadersGone.load()) << "the cancel held the window until the step ended";
    EXPECT_EQ(HarrowWindowState::Missing, window->GetState());
    VLControl* action = window->paintManager.FindControl(kActionButton);
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(action->IsEnabled()) << "a new repair while the step goes on";
    SetEvent(gate.Get());
    ASSERT_TRUE(PumpUntil([&] { return action->IsEnabled(); }));
    EXPECT_EQ(1, script.downloadersGone.load());
    Click(*window, kActionButton);
    ASSERT_TRUE(PumpUntil([&] { return window->GetState() == HarrowWindowState::AllPresent; }));
}

TEST_F(HarrowWndTest, ARepairEndsEveryRowReportsAndOffersTheClientOnce)
{
    TestFolder temp;
    ScopedTempFolder scoped(temp.Path());
    const std::string installer = ReadFileBytes(L"Z:" + ToWide(VL_COMPANION_EXE));
    service.SetFile("/setup/zofti_appenv.exe", installer);

    Script script{std::make_shared<VLHarrowStatusSink>(), {{true, false, 2}, {}}, {{true, 1}, {true, 0, false}}};
    VLHarrowWndSetup setup;
    setup.runtimes = {{0, 40018, kImageDirectX, L"A", &Missing},
                      {0, 40019, kImageGfwLive, L"B", &Missing},
                      {0, 40020, kImageJava, L"C", &Present}};
    setup.downloaders = std::make_shared<ScriptedDownloads>(script);
    setup.installers = std::make_shared<ScriptedInstalls>(script);
    setup.companionKey = L"SOFTWARE\\VLTestNoClient" + std::to_wstring(GetCurrentProcessId());
    auto window = Open(setup);
    ASSERT_TRUE(Check(*window));
    ASSERT_EQ(HarrowWindowState::Missing, window->GetState());

    // The prompt's OK button, pressed as a user would: once the prompt is on
    // screen, its buttons laid out by its first paint. A click that comes
    // before that hits nothing, so it is pressed again until the prompt goes.
    std::atomic<bool> repairEnded{false};
    std::thread accept([&repairEnded] {
        for (; !repairEnded; Sleep(50)) {
            const HWND prompt = FindWindowW(L"VLHarrowMsgWnd", nullptr);
            if (!prompt || !IsWindowVisible(prompt) || GetUpdateRect(prompt, nullptr, FALSE)) continue;
            PostMessageW(prompt, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(345, 227));
            PostMessageW(prompt, WM_LBUTTONUP, 0, MAKELPARAM(345, 227));
        }
    });
    Click(*window, kActionButton);
    EXPECT_EQ(HarrowWindowState::Repairing, window->GetState());
    const bool repaired = PumpUntil([&] { return window->GetState() != HarrowWindowState::Repairing; });
    repairEnded = true;
    accept.join();
    ASSERT_TRUE(repaired);
    EXPECT_EQ(HarrowWindowState::RepairFailed, window->GetState());
    EXPECT_EQ(L"共修复了2个运行库，1个修复成功，1个修复失败", TextOf(*window, kRepairSummary));
    EXPECT_EQ(L"重新修复", TextOf(*window, kActionButton));
    EXPECT_EQ(RuntimeRowState::Repaired, window->GetRow(0)->GetState());
    EXPECT_EQ(RuntimeRowState::RepairFailed, window->GetRow(1)->GetState());
    EXPECT_EQ(L"正在安装运行库 2/2 {c #487fb3}B{/c}", TextOf(*window, kRepairText));
    ASSERT_TRUE(PumpUntil([&] { return service.CountRequests("/setup/zofti_appenv.exe") == 1; }));

    // A second repair offers nothing more.
    script.downloads = {{}};
    script.installs = {{}};
    Click(*window, kActionButton);
    ASSERT_TRUE(PumpUntil([&] { return window->GetState() == HarrowWindowState::AllPresent; }));
    const std::vector<std::string> reports = {"/app_runtime.php?type=1&have=7&miss=4-5",
                                              "/app_runtime.php?type=2&have=4&miss=5",
                                              "/app_runtime.php?type=2&have=4-5&miss="};
    std::vector<std::string> seen;
    PumpUntil([&] {
        seen.clear();
        for (const std::string& target : Reports())
            if (target.find("/app_runtime.php") == 0) seen.push_back(target);
        return seen.size() >= reports.size();
    });
    EXPECT_EQ(reports, seen);
    DestroyWindow(window->GetHWND());
    window.reset();
    EXPECT_EQ(1, service.CountRequests("/setup/zofti_appenv.exe"));
}

} // namespace
} // namespace Velora
