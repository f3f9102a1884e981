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
#include <string>

namespace Velora {

typedef std::wstring (*VLFolderCallback)(unsigned int runtimeId);

class VLDownloadSingleFile : public VLDownloadMessage {
public:
    VLDownloadSingleFile();
    ~VLDownloadSingleFile() override;
    VLDownloadSingleFile(const VLDownloadSingleFile&) = delete;
    VLDownloadSingleFile& operator=(const VLDownloadSingleFile&) = delete;

    // One download per object: false when called again.
    bool Start(uint32_t runtimeId);
    void OnMessage(uint32_t code, const TaskMessage* message) override;

    VLDownloadManager* manager;
    VLDownloadTask* task = nullptr;
    VLHandle finishEvent;
    std::atomic<bool> succeeded{false};
    std::wstring filePath;
    // Written by the tasks' threads and read by the user's: read whole.
    std::atomic<uint64_t> totalSize{0};
    std::atomic<uint64_t> downloaded{0};
    std::atomic<uint64_t> speed{0};
    // Names the folder a runtime's package goes to. Its user supplies it:
    // without one Start fails.
    VLFolderCallback folderCallback = nullptr;
    VLAddressProvider addressProvider = nullptr;

private:
    void SwitchKind(const TaskMessage& message);
    void Finish(uint32_t result);

    // A service that keeps changing its mind must not keep the download
    // switching: one switch each way.
    bool switchedToTorrent_ = false;
    bool switchedToHttp_ = false;
};

} // namespace Velora
