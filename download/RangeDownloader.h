// Fetches one file over HTTP in byte ranges on parallel raw-socket
// connections into a pre-sized data file (target + ".vlt"), keeping a resume
// state file (target + ".vll") so that a later run continues where this one
// stopped. Two addresses may be given; failed probes switch between them.
#pragma once

#include "download/AddressQuery.h"
#include "download/DownloadTask.h"
#include "download/ResumeState.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

// What the downloader tells its task and asks of it.
class VLHttpDownloadCallback {
public:
    virtual ~VLHttpDownloadCallback() = default;
    virtual void OnTotalSize(uint64_t total) = 0;
    virtual void OnReceived(uint64_t bytes, bool accumulate) = 0;
    virtual void OnFinish(uint32_t result) = 0;
    virtual int IsCancelled() = 0;
    virtual void Cancel() = 0;
    virtual void SetStatePath(const std::wstring& text) = 0;
    virtual void SetDataPath(const std::wstring& text) = 0;
    virtual void SetTargetPath(const std::wstring& text) = 0;
    virtual void ReportPhase(uint32_t value) = 0;
    // 1 when there is no limit; otherwise 0 with the limit in KB/s.
    virtual int GetSpeedLimit(uint32_t& kilobytesPerSecond) = 0;
};

struct VLProbeResult {
    uint32_t error;
    uint64_t size;
};

class VLRangeDownloader {
public:
    VLRangeDownloader();
    VLRangeDownloader(const VLRangeDownloader&) = delete;
    VLRangeDownloader& operator=(const VLRangeDownloader&) = delete;

    void Reset();
    uint32_t StartNew(VLHttpDownloadCallback* callback, const DownloadFileInfo& info,
                      const std::wstring& targetPath);
    uint32_t Resume(VLHttpDownloadCallback* callback, const std::wstring& statePath,
                    const DownloadFileInfo& info);
    bool LoadState(const std::wstring& statePath);
    double GetAverageSpeed();

    bool loaded = false;
    VLStoredBlock stored;

private:
    struct RangeContext;

    VLProbeResult ProbeSize(const std::wstring& host, uint16_t port, const std::wstring& path);
    VLProbeResult ProbeCurrentChoice();
    void SelectMain();
    void SwitchAddress();
    void MakeChoiceCurrent();
    // Waits 21 rounds of 100 ms; false when cancelled meanwhile.
    bool WaitBeforeRetry();
    uint32_t RunRanges();
    uint32_t Reprobe(RangeContext& context);
    void SaveRange(RangeContext& context, uint64_t received);
    // Bytes per second each connection may take; 0 without a limit.
    uint64_t Allowance();
    size_t ReceiveSize();
    void Throttle(RangeContext& context, uint64_t received);
    static void RangeWorker(void* context);
    uint32_t RunRange(RangeContext& context);

    std::vector<VLRangeRecord> ranges_;
    std::vector<int64_t> lastTime_;
    // The records are read by other threads for the average speed; the
    // current address is re-chosen while a range runs.
    std::mutex rangesLock_;
    VLHttpDownloadCallback* callback_ = nullptr;
    std::wstring currentHost_;
    std::wstring currentPath_;
    uint16_t currentPort_ = 0xFFFF;
    bool usingMain_ = true;
    bool hasSpare_ = false;
    std::atomic<bool> stop_{false};
};

} // namespace Velora
