// The statistics reports: after a check, a repair or a cancelled repair the
// program tells the maker's service which runtimes it found present and which
// missing, each by a short code, in one fire-and-forget GET request.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

namespace Velora {

class VLHarrowStatistic {
public:
    virtual ~VLHarrowStatistic() = default;

    void Clear();
    // "http://<service host>/app_runtime.php?type=T&have=...&miss=..." of the
    // map's entries in ascending runtime-id order; empty for an empty map.
    std::wstring GetCheckReportUrl() const;
    std::wstring GetRepairReportUrl() const;
    std::wstring GetCancelReportUrl() const;

    // Sends a report URL as the system's ANSI text. Blocks until the request
    // has been opened or has failed, or soon after cancelled is set; an empty
    // URL sends nothing. True only when the request was opened; nobody is
    // told of a failure. The window sends through a VLReportSender.
    static bool Send(const std::wstring& url, const std::atomic<bool>* cancelled = nullptr);

    // Runtime id -> present. The window fills them after Clear().
    std::map<int32_t, bool> checkResults;
    std::map<int32_t, bool> repairResults;
    std::map<int32_t, bool> cancelResults;
};

// The service's code of a runtime; "0" for an id it has no code for.
const wchar_t* GetStatisticCode(int32_t runtimeId);

} // namespace Velora
