#include "app/HarrowStatistic.h"

#include "base/TextConvert.h"
#include "download/HttpRequest.h"

namespace Velora {

namespace {

struct StatisticCode {
    int32_t runtimeId;
    const wchar_t* code;
};

const StatisticCode kCodes[] = {
    {40018, L"4"},  {40019, L"5"},  {40020, L"7"},  {40021, L"17"}, {40023, L"6"},  {40024, L"3"},
    {40026, L"B"},  {40027, L"E"},  {40028, L"1"},  {40029, L"20"}, {40043, L"18"}, {40044, L"2"},
    {40050, L"8"},  {40051, L"11"}, {40053, L"1B"}, {40054, L"1C"}, {40055, L"1D"}, {40056, L"13"},
    {40057, L"14"}, {40058, L"1F"}, {40059, L"9"},  {40060, L"C"},  {40061, L"F"},  {40062, L"12"},
};

void AppendCode(std::wstring& list, const wchar_t* code)
{
    if (!list.empty()) list += L'-';
    list += code;
}

std::wstring BuildReportUrl(const wchar_t* type, const std::map<int32_t, bool>& results)
{
    if (results.empty()) return std::wstring();
    std::wstring have;
    std::wstring miss;
    for (const auto& entry : results) AppendCode(entry.second ? have : miss, GetStatisticCode(entry.first));
    return std::wstring(L"http://") + VL_SERVICE_HOST + L"/app_runtime.php?type=" + type + L"&have=" + have +
           L"&miss=" + miss;
}

} // namespace

const wchar_t* GetStatisticCode(int32_t runtimeId)
{
    for (const StatisticCode& entry : kCodes) {
        if (entry.runtimeId == runtimeId) return entry.code;
    }
    return L"0";
}

void VLHarrowStatistic::Clear()
{
    checkResults.clear();
    repairResults.clear();
    cancelResults.clear();
}

std::wstring VLHarrowStatistic::GetCheckReportUrl() const
{
    return BuildReportUrl(L"1", checkResults);
}

std::wstring VLHarrowStatistic::GetRepairReportUrl() const
{
    return BuildReportUrl(L"2", repairResults);
}

std::wstring VLHarrowStatistic::GetCancelReportUrl() const
{
    return BuildReportUrl(L"3", cancelResults);
}

bool VLHarrowStatistic::Send(const std::wstring& url, const std::atomic<bool>* cancelled)
{
    return !url.empty() && RequestUrl(ToMultiByte(url), cancelled);
}

} // namespace Velora
