#include "app/ReportSender.h"

#include "app/HarrowStatistic.h"

#include <system_error>

namespace Velora {

VLReportSender::~VLReportSender()
{
    Stop();
}

bool VLReportSender::Send(const std::wstring& url)
{
    if (url.empty()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    if (stopped_ || waiting_.size() >= kMaxWaitingReports) return false;
    waiting_.push_back(url);
    if (running_) return true;
    // The previous thread has found the queue empty and is on its way out.
    if (thread_.joinable()) thread_.join();
    try {
        thread_ = std::thread(&VLReportSender::Run, this);
    } catch (const std::system_error&) {
        waiting_.pop_back();
        return false;
    }
    running_ = true;
    return true;
}

void VLReportSender::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopped_ = true;
        waiting_.clear();
    }
    if (thread_.joinable()) thread_.join();
}

void VLReportSender::Run()
{
    for (;;) {
        std::wstring url;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopped_ || waiting_.empty()) {
                running_ = false;
                return;
            }
            url = std::move(waiting_.front());
            waiting_.pop_front();
        }
        VLHarrowStatistic::Send(url, &stopped_);
    }
}

} // namespace Velora
