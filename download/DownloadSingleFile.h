// Downloads one runtime's package into its folder: starts as an HTTP task,
// becomes a BitTorrent task (and back) when the address service says so, and
// keeps the progress, the file's path and the result for its user, who waits
// on the finish event.
#pragma once

#include "download/DownloadManager.h"
#include "download/DownloadTask.h"

#include "base/Handles.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Velora {

typedef std::wstring (*VLFolderCallback)(unsigned int runtimeId);

class VLDownloadSingleFile : public VLDownloadMessage {
public:
    VLDownloadSingleFile();
    ~VLDownloadSingleFile() override;
    VLDownloadSingleFile(const VLDownloadSingleFile&) = delete;
    VLDownloadSingleFile& operator=(const VLDownloadSingleFile&) = delete;

    // Both are set before Start and read by the tasks' threads afterwards.
    void SetFolderCallback(VLFolderCallback callback) { folderCallback_ = callback; }
    void SetAddressProvider(VLAddressProvider provider) { addressProvider_ = provider; }

    // One download per object: false when called again.
    bool Start(uint32_t runtimeId);
    void OnMessage(uint32_t code, const TaskMessage* message) override;

    // Null before Start; set once the download has finished.
    HANDLE GetFinishEvent() const { return finishEvent_.Get(); }
    bool IsSucceeded() const { return succeeded_; }
    std::wstring GetFilePath() const;
    uint64_t GetTotalSize() const { return totalSize_; }
    uint64_t GetDownloaded() const { return downloaded_; }
    uint64_t GetSpeed() const { return speed_; }
    // The kind of the task now carrying the download.
    DownloadTaskKind GetTaskKind() const;

private:
    void SwitchKind(const TaskMessage& message);
    void Finish(uint32_t result);

    std::unique_ptr<VLDownloadManager> manager_;
    // Written by a task's worker at a kind switch; the manager owns it.
    std::atomic<VLDownloadTask*> task_{nullptr};
    VLHandle finishEvent_;
    // The downloaded file as its check left it, held without write or delete
    // sharing until this object goes: its user installs what was checked.
    VLHandle checkedFile_;
    // Written by the tasks' threads and read by the user's: read whole.
    std::atomic<bool> succeeded_{false};
    mutable std::mutex pathLock_; // a leaf: guards filePath_
    std::wstring filePath_;
    std::atomic<uint64_t> totalSize_{0};
    std::atomic<uint64_t> downloaded_{0};
    std::atomic<uint64_t> speed_{0};
    // Names the folder a runtime's package goes to. Its user supplies it:
    // without one Start fails.
    VLFolderCallback folderCallback_ = nullptr;
    VLAddressProvider addressProvider_ = nullptr;
    // A service that keeps changing its mind must not keep the download
    // switching: one switch each way.
    bool switchedToTorrent_ = false;
    bool switchedToHttp_ = false;
};

} // namespace Velora
