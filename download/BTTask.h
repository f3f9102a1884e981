// The handle the session gives out for each torrent: the owner drives the
// torrent through IBTTask, and the session's thread feeds it the engine's
// status updates and alerts, which become calls of the owner's callback.
#pragma once

#include "download/BTAlert.h"
#include "download/BTTypes.h"

#include "base/CallGate.h"
#include "base/Handles.h"

#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <atomic>
#include <mutex>

namespace Velora {

class torrentInfoImpl : public ITorrentInfo {
public:
    explicit torrentInfoImpl(const lt::torrent_handle& torrent) : torrent_(torrent) {}

    void GetName(std::string& name) override;
    void GetTrackers(std::vector<std::string>& trackers) override;
    void GetComment(std::string& comment) override;
    int32_t GetPieceSize() override;
    int32_t GetPieceCount() override;
    int32_t GetFileCount() override;
    void GetFilePath(std::string& path, int32_t index) override;
    int64_t GetFileSize(int32_t index) override;
    int64_t GetTotalSize() override;
    void GetInfoHash(std::string& hash) override;

private:
    const lt::torrent_handle& torrent_;
};

// The data files of a torrent, each held open without delete sharing from
// the check that found it plain until the torrent is removed.
using BTHeldFiles = std::vector<VLHandle>;

// The owner's event for an engine error.
BTEvent ErrorEvent(const lt::error_code& error);
void FillTaskStatus(const lt::torrent_status& status, BTTaskStatus& out);

class btTaskImpl : public IBTTask {
public:
    // record.rootPath is replaced by the path of the torrent's first file.
    // claimedPieces: how many pieces its record said were there.
    btTaskImpl(const BTTaskRecord& record, ITaskCallback* callback, const lt::torrent_handle& torrent,
               BTHeldFiles dataFiles = BTHeldFiles(), int claimedPieces = 0);
    ~btTaskImpl() override = default;

    void Resume() override;
    void Pause() override;
    std::string GetErrorText() override;
    void SetCallback(ITaskCallback* callback) override;
    bool IsRunning() override;
    BTTaskStatus* GetStatus(BTTaskStatus* status) override;
    bool IsSeedTask() override;
    BTTaskRecord* GetRecord() override;
    ITorrentInfo* GetTorrentInfo() override;
    std::vector<BTPeerInfo>& GetPeers(std::vector<BTPeerInfo>& peers, int32_t first,
                                      uint32_t count) override;
    void SetRateLimits(int32_t download, int32_t upload) override;
    void GetRateLimits(int32_t& download, int32_t& upload) override;
    void ForceRecheck() override;
    bool WaitPaused(uint32_t milliseconds) override;
    bool IsPaused() override;
    void RepeatCompletion(uint32_t milliseconds) override;
    bool WriteResumeData() override;

    // Called by the session.
    const lt::torrent_handle& Handle() const { return torrent_; }
    int State();
    void UpdateStatus(const lt::torrent_status& status);
    void OnAlert(const VLBTAlert& alert);
    void Progress();
    // The completion the owner asked to hear again, once its time has come.
    void ReportCompletionIfDue();
    void SaveResumeDataIfNeeded();
    // Once the torrent is out of the engine.
    void ReleaseDataFiles() { dataFiles_.clear(); }
    // Before the record file is deleted: a write of it under way has ended
    // when this returns, and none begins after.
    void ForgetRecord();

private:
    void RefreshStatus();
    // Once per download, unless a recheck allows another.
    void ReportCompletion();
    void Notify(BTEvent event);
    void FlushBeforeCompletion();
    // Has the engine close the torrent's files, and unmap their views.
    void CloseEngineFiles();
    bool SaveRecord(lt::entry resumeData);

    lt::torrent_handle torrent_;
    torrentInfoImpl info_;
    // Called with no lock held; SetCallback waits for the calls under way.
    VLCallGate<ITaskCallback> callback_;
    BTTaskRecord record_;
    BTHeldFiles dataFiles_;
    const int claimedPieces_;
    std::atomic<bool> claimsChecked_{false};
    std::atomic<bool> resumedOnce_{false};
    std::mutex recordLock_; // a leaf: orders the record's writes with forgetting it
    bool recordForgotten_ = false;
    std::mutex statusLock_; // a leaf: guards status_
    lt::torrent_status status_;
    std::atomic<bool> statusReported_{false};
    // The completion reaches the owner once, whether the first status or the
    // engine's finished alert brings it; a recheck allows another.
    std::atomic<bool> completionReported_{false};
    // The completion waits for the engine's files to be flushed; asked for
    // once per completion.
    std::atomic<bool> flushRequested_{false};
    // When the owner hears of the completion again, on the engine's clock in
    // milliseconds; 0 when not asked.
    std::atomic<int64_t> completionDue_{0};
};

// Writes the bytes over the start of the task's record file.
bool SaveBufferToFile(btTaskImpl& task, const std::vector<char>& bytes);

} // namespace Velora
