#include "app/DetectThread.h"

#include "app/WorkerThread.h"
#include "base/Handles.h"
#include "tests/app/StatusWindow.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace Velora
