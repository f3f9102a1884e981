#include "app/DetectThread.h"

#include "app/RuntimeTable.h"
#include "app/WorkerThread.h"
#include "base/ComScope.h"
#include "base/Handles.h"
#include "base/TextConvert.h"
#include "tests/app/StatusWindow.h"
#include "tests/support/ProcessHandles.h"

#include <gtest/gtest.h>

#include <initguid.h>
#include <dxdiag.h>

namespace Velora {
namespace {

using Test::StatusWindow;

// Detection functions are plain functions: what they reach goes through here.
VLHarrowStatusSink* gSink = nullptr;
HANDLE gEntered = nullptr;
HANDLE gRelease = nullptr;

bool Installed() { return true; }
bool Missing() { return false; }
bool CancelWhileChecking()
{
    gSink->CancelRun();
    return true;
}
bool BlockUntilReleased()
{
    SetEvent(gEntered);
    WaitForSingleObject(gRelease, 30000);
    return true;
}

VLHandle StartCheck(StatusWindow& window, std::vector<VLDetectRow> rows)
{
    gSink = window.sink.get();
    auto job = std::make_unique<VLDetectJob>();
    job->sink = window.sink;
    job->generation = window.sink->BeginRun();
    job->rows = std::move(rows);
    return StartWorkerThread(DetectThreadProc, std::move(job));
}

TEST(DetectThread, ReportsEveryRowInOrder)
{
    const std::wstring longTitle(300, L'L');
    const struct {
        const char* name;
        std::vector<VLDetectRow> rows;
        std::string trace;
    } cases[] = {
        {"empty list", {}, "1(0,0) 4(0,0)"},
        {"installed, missing, no function",
         {{0, L"A", Installed}, {1, L"B", Missing}, {2, L"C", nullptr}},
         "1(3,0) 2(1,A) 3(0,1) 2(2,B) 3(1,0) 2(3,C) 3(2,0) 4(1,2)"},
        {"cancel between rows ends without a summary",
         {{0, L"A", Missing}, {1, L"B", CancelWhileChecking}, {2, L"C", Installed}},
         "1(3,0) 2(1,A) 3(0,0) 2(2,B) 3(1,1)"},
        {"long title", {{4, longTitle, Installed}}, "1(1,0) 2(1," + std::string(255, 'L') + ") 3(4,1) 4(1,0)"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        StatusWindow window;
        VLHandle thread = StartCheck(window, test.rows);
        ASSERT_TRUE(thread.Valid());
        ASSERT_TRUE(window.RunUntilEnded(thread.Get()));
        EXPECT_EQ(window.Trace(), test.trace);
        EXPECT_EQ(window.emptyMessages, 0);
    }
}

// A check the window stopped waiting for goes on with its sink; once the
// window is gone it reports nothing more.
TEST(DetectThread, OutlivesItsWindowSilently)
{
    VLHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    gEntered = entered.Get();
    gRelease = release.Get();
    StatusWindow window;
    VLHandle thread = StartCheck(window, {{0, L"A", BlockUntilReleased}, {1, L"B", Installed}});
    ASSERT_EQ(WaitForSingleObject(entered.Get(), 30000), WAIT_OBJECT_0);
    window.Pump();
    window.sink->CancelRun();
    window.sink->SetWindow(nullptr);
    SetEvent(release.Get());
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 30000), WAIT_OBJECT_0);
    window.Pump();
    EXPECT_EQ(window.Trace(), "1(2,0) 2(1,A)");
}

using Test::CountProcessHandles;
using Test::HandleCounts;

DWORD WINAPI CheckCatalogue(LPVOID catalogue)
{
    for (const VLSoftwareDetect& row : *static_cast<const std::vector<VLSoftwareDetect>*>(catalogue)) {
        row.IsInstalled();
    }
    return 0;
}

// The DirectX diagnostic provider with nothing of ours around it.
DWORD WINAPI BareProviderCycle(LPVOID)
{
    VLComInit com;
    VLComPtr<IDxDiagProvider> provider;
    VLComPtr<IDxDiagContainer> root;
    DXDIAG_INIT_PARAMS params = {sizeof(params), DXDIAG_DX9_SDK_VERSION, FALSE, nullptr};
    if (SUCCEEDED(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                   provider.Receive())) &&
        SUCCEEDED(provider->Initialize(&params))) {
        provider->GetRootContainer(root.Put());
    }
    return 0;
}

// The handles the process holds once the work has run on a thread of its own.
HandleCounts CountAfterThread(LPTHREAD_START_ROUTINE work, void* parameter = nullptr)
{
    VLHandle thread(CreateThread(nullptr, 0, work, parameter, 0, nullptr));
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 60000), WAIT_OBJECT_0);
    thread = VLHandle();
    return CountProcessHandles();
}

// A program left running checks again and again: each check may hold on to
// no more than the system's own diagnostic provider keeps of one cycle (under
// Wine, the registry keys its DirectShow device enumerator leaves open).
TEST(DetectThread, ChecksHoldNoMoreHandlesThanTheDiagnosticProvider)
{
    std::vector<VLSoftwareDetect> catalogue;
    BuildRuntimeTable(catalogue);
    const int checks = 20, bareCycles = 2;
    // The first check pays for what the system loads once per process.
    HandleCounts first = CountAfterThread(CheckCatalogue, &catalogue), last, bare;
    ASSERT_GT(first[L"Key"], 0) << "the system lists no handles of this process";
    for (int i = 1; i < checks; ++i) last = CountAfterThread(CheckCatalogue, &catalogue);
    for (int i = 0; i < bareCycles; ++i) bare = CountAfterThread(BareProviderCycle);
    for (const auto& [type, count] : last) {
        const int perCycle = (bare[type] - count) / bareCycles;
        EXPECT_NEAR(count - first[type], (checks - 1) * perCycle, 3)
            << ToMultiByte(type) << " handles: " << first[type] << " after the first check, " << count
            << " after the last, " << bare[type] << " after " << bareCycles << " bare provider cycles";
    }
}

} // namespace
} // namespace Velora
