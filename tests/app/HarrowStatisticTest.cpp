#include <gtest/gtest.h>

#include "app/HarrowStatistic.h"
#include "app/ReportSender.h"
#include "tests/support/TestHttpServer.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using Velora::VLHarrowStatistic;

const std::wstring kService = std::wstring(L"http://") + VL_SERVICE_HOST + L"/app_runtime.php?type=";

// The catalogue's ids in list order, as the window walks its rows.
const std::vector<int32_t> kAlways = {40029, 40019, 40023, 40020, 40024, 40028, 40044, 40018, 40021,
                                      40043, 40057, 40050, 40026, 40027, 40051, 40053, 40054};
const std::vector<int32_t> kWow64Only = {40059, 40060, 40061, 40062, 40058};
const int32_t kAppLocale = 40056;
const int32_t kMsxml6 = 40055;

std::map<int32_t, bool> AllPresent(std::vector<int32_t> ids)
{
    std::map<int32_t, bool> results;
    for (int32_t id : ids) results[id] = true;
    return results;
}

TEST(HarrowStatistic, ReportUrls)
{
    std::vector<int32_t> windows7 = kAlways;
    windows7.push_back(kMsxml6);
    std::vector<int32_t> windowsXp = windows7;
    windowsXp.push_back(kAppLocale);
    std::vector<int32_t> windows64 = kAlways;
    windows64.insert(windows64.end(), kWow64Only.begin(), kWow64Only.end());

    VLHarrowStatistic stats;
    stats.checkResults = AllPresent(windows7);
    stats.checkResults[40018] = false;
    stats.checkResults[40024] = false;
    EXPECT_EQ(kService + L"1&have=5-7-17-6-B-E-1-20-18-2-8-11-1B-1C-1D-14&miss=4-3", stats.GetCheckReportUrl());

    stats.repairResults = AllPresent(windows64);
    EXPECT_EQ(kService + L"2&have=4-5-7-17-6-3-B-E-1-20-18-2-8-11-1B-1C-14-1F-9-C-F-12&miss=",
              stats.GetRepairReportUrl());
    stats.cancelResults = AllPresent(windows7);
    EXPECT_EQ(kService + L"3&have=4-5-7-17-6-3-B-E-1-20-18-2-8-11-1B-1C-1D-14&miss=", stats.GetCancelReportUrl());
    stats.cancelResults = AllPresent(windowsXp);
    EXPECT_EQ(kService + L"3&have=4-5-7-17-6-3-B-E-1-20-18-2-8-11-1B-1C-1D-13-14&miss=", stats.GetCancelReportUrl());

    // Ids without a code (a gap in the range, one outside it) report "0"; an
    // empty list leaves its key empty.
    stats.checkResults = {{40022, false}, {12345, false}, {40061, false}};
    EXPECT_EQ(kService + L"1&have=&miss=0-0-F", stats.GetCheckReportUrl());

    stats.Clear();
    EXPECT_EQ(L"", stats.GetCheckReportUrl());
    EXPECT_EQ(L"", stats.GetRepairReportUrl());
    EXPECT_EQ(L"", stats.GetCancelReportUrl());
}

TEST(HarrowStatistic, SendsTheReportToTheServiceHost)
{
    Velora::VLTestHttpServer service;
    ASSERT_TRUE(service.Start(80)) << "the service port is taken";
    const std::string target = "/app_runtime.php?type=2&have=4-3&miss=1D";
    service.SetFile(target, "ok");

    VLHarrowStatistic stats;
    stats.repairResults = {{40055, false}, {40024, true}, {40018, true}};
    EXPECT_TRUE(VLHarrowStatistic::Send(stats.GetRepairReportUrl()));
    EXPECT_FALSE(VLHarrowStatistic::Send(stats.GetCheckReportUrl()));

    const std::vector<Velora::VLLoggedRequest> requests = service.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(0u, requests[0].head.find("GET " + target + " HTTP/1.1\r\n")) << requests[0].head;
}

// Reports leave in the order given without holding the caller; a service
// that never answers keeps one in flight and the queue bounded, and Stop
// gives that one up at once.
TEST(ReportSender, InOrderWithoutWaitingBoundedAndStoppedAtOnce)
{
    Velora::VLTestHttpServer service;
    ASSERT_TRUE(service.Start(80)) << "the service port is taken";
    auto logged = [&](size_t count) {
        for (int i = 0; i < 200 && service.Requests().size() < count; ++i) Sleep(50);
        return service.Requests().size();
    };
    Velora::VLReportSender sender;
    for (int type = 1; type <= 3; ++type) EXPECT_TRUE(sender.Send(kService + std::to_wstring(type) + L"&have=&miss="));
    ASSERT_EQ(3u, logged(3));
    for (int type = 1; type <= 3; ++type)
        EXPECT_EQ("/app_runtime.php?type=" + std::to_string(type) + "&have=&miss=",
                  service.Requests()[type - 1].target);

    Velora::VLServerFaults stall;
    stall.stall = true;
    service.SetFaults(stall);
    const std::wstring url = kService + L"1&have=&miss=";
    DWORD inSend = 0; // only the calls themselves, not the service's receipt
    auto timedSend = [&] {
        const DWORD started = GetTickCount();
        const bool queued = sender.Send(url);
        inSend += GetTickCount() - started;
        return queued;
    };
    EXPECT_TRUE(timedSend());
    ASSERT_EQ(4u, logged(4));
    for (size_t i = 0; i < Velora::kMaxWaitingReports; ++i) EXPECT_TRUE(timedSend());
    EXPECT_FALSE(timedSend()) << "the queue is bounded";
    EXPECT_LT(inSend, 3000u);
    const DWORD stopping = GetTickCount();
    sender.Stop();
    EXPECT_LT(GetTickCount() - stopping, 1000u);
    EXPECT_FALSE(sender.Send(url));
    EXPECT_EQ(4u, service.Requests().size());
}

} // namespace
