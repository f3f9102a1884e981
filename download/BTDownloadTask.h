// The BitTorrent kind of download task: asks the address service for the
// torrent, checks it against the answer, and hands it with the answer's HTTP
// addresses as web seeds to the process's session, whose thread then drives
// the task. A finished download stays in the session as a seed.
#pragma once

#include "base/Buffer.h"
#include "base/Handles.h"
#include "base/Thread.h"
#include "download/BTTypes.h"
#include "download/DownloadTask.h"
#include "download/DriveInfo.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Velora {

// Phase reported with message 3 for an engine torrent state.
uint32_t PhaseOfTorrentState(int torrentState);
// Seconds until done at a blend of 40 % average and 60 % current rate;
// kTimeLeftUnknown when that rate is 0.
uint32_t EstimateSecondsLeft(uint64_t wanted, uint64_t done, double averageSpeed, uint32_t speed);
// Whether the drive cannot hold a download of that size: FAT and FAT32 end
// files below 4 GiB.
bool DriveRefusesSize(const DriveInfo& drive, uint64_t size);

class VLBTTask : public VLDownloadTask, public ITaskCallback {
public:
    VLBTTask(uint32_t id, const std::wstring& workFolder, const std::wstring& record = std::wstring(),
             const std::wstring& target = std::wstring());
    ~VLBTTask() override;

    bool Start() override;
    bool Stop() override;
    double GetAverageSpeed() override;
    double GetRatio() override;

    void Reserved() override {}
    void OnEvent(int event) override;
    void MapState(int, int torrentState) override;
    void OnProgress() override;

    // Whether a finished file still has unwritten holes; replaceable so that
    // the one recheck it triggers can be shown where the file system has no
    // sparse files.
    bool (*hasGaps)(const std::wstring& path);

    std::wstring targetPath;
    VLBuffer<unsigned char> torrentData;
    uint32_t taskId;
    std::wstring recordPath;
    std::wstring targetOverride;
    std::wstring finishedPath;
    std::atomic<int64_t> totalDone{0};
    std::atomic<int64_t> totalWanted{0};
    std::atomic<uint32_t> phase{0};
    std::atomic<bool> abort{false};
    uint32_t lastTick = 0;
    double lastAverageSpeed = 0.0;
    double lastRatio = 0.0;

private:
    static void ThreadProc(void* task);
    void Run();
    bool ResumeIfRecorded();
    bool AddToSession();
    bool RecordMatches(const std::wstring& path);
    bool ResumeFromRecord();
    bool RefuseAnswer(bool refused, uint32_t code);
    void Fail(uint32_t code, int32_t newState);
    void ReportFinish(uint32_t code);
    void EndAborted();
    void Complete();
    bool CheckDrive(const std::shared_ptr<IBTTask>& torrent, int64_t wanted);
    std::wstring TorrentFilePath(const std::shared_ptr<IBTTask>& torrent);
    void SetTorrent(std::shared_ptr<IBTTask> handle);
    std::shared_ptr<IBTTask> CurrentTorrent();
    std::shared_ptr<IBTTask> TakeTorrent();
    bool Ending();
    bool SavesIntoFolder(const BTTaskRecord& record);
    void DeleteOwnRecordFiles(int32_t mode);
    double AverageSpeedOf(const BTTaskStatus& status);
    double RatioOf(const BTTaskStatus& status);

    std::mutex lock_; // guards torrent_, ending_, worker_ and previousWorker_
    std::shared_ptr<IBTTask> torrent_;
    // A thread took the torrent to end the run: it sets doneEvent_ when its
    // report is done.
    bool ending_ = false;
    VLThread* worker_ = nullptr;
    VLThread* previousWorker_ = nullptr;
    VLHandle doneEvent_;
    bool driveChecked_ = false;
    bool rechecked_ = false;
};

} // namespace Velora
