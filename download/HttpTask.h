// The download task every package download starts with: asks the address
// service where the package lies, hands over to a BitTorrent task when told
// to, and otherwise fetches the file with its range downloader, resuming an
// earlier partial download where it can. A finished file must match the
// answer's size and MD5.
#pragma once

#include "download/DownloadTask.h"
#include "download/RangeDownloader.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace Velora {

class VLHttpTask : public VLDownloadTask, public VLHttpDownloadCallback {
public:
    VLHttpTask(uint32_t id, const std::wstring& folder);
    ~VLHttpTask() override;

    bool Start() override;
    bool Stop() override;
    double GetAverageSpeed() override;
    double GetRatio() override { return -1.0; }

    void OnTotalSize(uint64_t total) override;
    void OnReceived(uint64_t bytes, bool accumulate) override;
    void OnFinish(uint32_t result) override;
    int IsCancelled() override { return IsAborted() ? 1 : 0; }
    void Cancel() override { Abort(); }
    void SetStatePath(const std::wstring& text) override;
    void SetDataPath(const std::wstring& text) override;
    void SetTargetPath(const std::wstring& text) override;
    void ReportPhase(uint32_t value) override;
    int GetSpeedLimit(uint32_t& kilobytesPerSecond) override;
    VLHandle TakeCheckedFile() override;

protected:
    void Work(uint32_t stopsBeforeStart) override;

private:
    uint32_t Run();
    bool CanResume(const std::wstring& path, const std::wstring& expectedTarget);
    bool CheckFile(const std::wstring& path);
    void Cleanup();

    // The worker's own (the downloader reports them on its thread, and one
    // run's worker ends before the next one's runs); read elsewhere only
    // once no worker is left.
    std::wstring statePath_;
    std::wstring dataPath_;
    std::wstring targetPath_;
    // The last phase reported; range thread 0 reports one too.
    std::atomic<uint32_t> phase_{0};

    std::mutex counterLock_; // a leaf: guards the counters, the window and the checked file
    uint64_t totalSize_ = 0;
    uint64_t downloaded_ = 0;
    uint32_t speed_ = 0;
    uint32_t windowTick_ = 0;
    uint64_t windowBytes_ = 0;
    // The finished file since it passed its check, until the finish report
    // is sent (guarded by the counter lock).
    VLHandle checkedFile_;
    VLRangeDownloader downloader_;
};

} // namespace Velora
