// Sends the statistics reports one after the other, in the order given, on a
// thread of its own: a service that is slow to answer never holds up the
// window. The thread runs only while reports are waiting.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace Velora {

// Reports beyond this many waiting are dropped: a service that stalls must
// not make the queue grow without end.
constexpr size_t kMaxWaitingReports = 16;

class VLReportSender {
public:
    VLReportSender() = default;
    ~VLReportSender();
    VLReportSender(const VLReportSender&) = delete;
    VLReportSender& operator=(const VLReportSender&) = delete;

    // Queues a report address (VLHarrowStatistic::Send) and returns at once.
    // False when it was dropped: empty, the queue full, or after Stop.
    bool Send(const std::wstring& url);
    // Drops the waiting reports, gives up the one in flight and returns once
    // the thread has ended (within a wait step of a request). Later reports
    // are dropped.
    void Stop();

private:
    void Run();

    std::mutex lock_;
    std::deque<std::wstring> waiting_;
    std::atomic<bool> stopped_{false};
    bool running_ = false;
    std::thread thread_;
};

} // namespace Velora
