// The BitTorrent kind of download task: asks the address service for the
// torrent, checks it against the answer, and hands it with the answer's HTTP
// addresses as web seeds to the process's session, whose thread then drives
// the task. A finished download stays in the session as a seed.
#pragma once

#include "base/Buffer.h"
#include "base/Handles.h"
#include "download/BTPieceCheck.h"
#include "download/BTTypes.h"
#include "download/DownloadTask.h"
#include "download/DriveInfo.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

// The phase a BitTorrent task reports with message 3.
enum class BTTaskPhase : uint32_t {
    Starting = 0, // Start was called
    Querying = 1, // the worker asks for the address and fetches the torrent
    Allocating = 2,
    QueuedForChecking = 3,
    CheckingFiles = 4,
    Other = 5, // checking resume data, or a state the engine does not name
    Finished = 6,
    Seeding = 7,
    Downloading = 8, // the metadata or the data
};

BTTaskPhase PhaseOfTorrentState(int torrentState);
// Seconds until done at a blend of 40 % average and 60 % current rate;
// kTimeLeftUnknown when that rate is 0.
uint32_t EstimateSecondsLeft(uint64_t wanted, uint64_t done, double averageSpeed, uint32_t speed);
// Whether the drive cannot hold a download of that size: FAT and FAT32 end
// files below 4 GiB.
bool DriveRefusesSize(const DriveInfo& drive, uint64_t size);

// What a finished download does after the check of its file.
enum class BTCheckVerdict {
    HandOver,  // the file passed: it is reported and seeded
    Refetch,   // pieces failed: the torrent starts afresh and fetches them
    AwaitFile, // another program has the file open: the check is tried again later
    FailInUse, // the file stayed in use: the download fails, keeping its files
    Fail,      // pieces still fail after the refetches, or the file is not ours to read
};
// refetches and fileWaits: how often the download has already been fetched
// again and has waited for its file since its start.
BTCheckVerdict JudgeCheck(const VLPieceCheck& check, uint32_t refetches, uint32_t fileWaits);

class VLBTTask : public VLDownloadTask, public ITaskCallback {
public:
    VLBTTask(uint32_t id, const std::wstring& workFolder, const std::wstring& record = std::wstring(),
             const std::wstring& target = std::wstring());
    ~VLBTTask() override;

    bool Start() override;
    bool Stop() override;
    double GetAverageSpeed() override;
    double GetRatio() override;
    VLHandle TakeCheckedFile() override;

    void OnResumed() override {}
    void OnEvent(BTEvent event) override;
    void MapState(int, int torrentState) override;
    void OnProgress() override;

    // Whether a finished file still has unwritten holes; replaceable so that
    // the one recheck it triggers can be shown where the file system has no
    // sparse files. Set before Start.
    void SetGapCheck(bool (*hasGaps)(const std::wstring& path)) { hasGaps_ = hasGaps; }
    // Empty until the download completed.
    std::wstring GetFinishedPath();

protected:
    // Called by the worker once the session holds a new torrent of this task
    // and before the task does: from here on the session's thread reports on
    // the torrent. Does nothing; tests hold this moment open.
    virtual void OnTorrentAdded() {}
    // Called on the thread that ends a run once the task has let go of its
    // torrent and before the session removes it. Does nothing; tests hold
    // this moment open.
    virtual void OnRemovingTorrent() {}
    // Called by a worker about to begin its run while an earlier torrent of
    // the task is still leaving it, before it waits for that. Does nothing;
    // tests hold this moment open.
    virtual void OnAwaitingRemoval() {}
    // Called on the thread that checks a finished file, before the check.
    // Does nothing; tests hold this moment open.
    virtual void OnCheckingFile() {}

    void Work(uint32_t stopsBeforeStart) override;

private:
    class CallbackScope;

    void Run();
    // The steps of a run before its record and its torrent; each is false
    // once it has ended the run.
    bool AwaitQuery();
    bool TakeAnswer(bool& queried);
    bool FetchTorrent(bool queried);
    // Ends the run when a stop holds; true then.
    bool EndIfAborted();
    bool ResumeIfRecorded();
    bool AddToSession();
    // The answer's HTTP addresses, the web seeds of every add of this run.
    std::vector<std::string> AnswerWebSeeds() const;
    bool RecordMatches(const std::wstring& path);
    bool ResumeFromRecord();
    bool RefuseAnswer(bool refused, uint32_t code);
    void Fail(uint32_t code, int32_t newState);
    // Ends the run with a torrent taken from the task: out of the session,
    // then the report.
    // forget: its record, torrent copy and data go too.
    void Drop(const std::shared_ptr<IBTTask>& torrent, uint32_t code, int32_t newState, bool forget = false);
    // Goes on with the torrent the task holds, as a run begun with that
    // many earlier stops; false when it holds none.
    bool ResumeHeldTorrent(uint32_t stopsBeforeStart);
    void OnPaused();
    // Until no torrent taken from the task is still leaving it.
    void AwaitTorrentsLeaving();
    // Around the session's adding of a torrent, which may report on it
    // before the task holds it.
    void BeginAdding();
    void HoldAdded(const std::shared_ptr<IBTTask>& torrent);
    void ReportFinish(uint32_t code);
    void ReportPhase(BTTaskPhase value);
    void EndAborted();
    // On the session's thread: the completion reported for the torrent,
    // whose finished file is then checked off that thread.
    void Complete();
    // The check of the finished file against the torrent's piece hashes and
    // what follows: handed over to the install and the seed list, fetched
    // again, waited for while in use, or failed.
    void CheckFinishedFile(const std::shared_ptr<IBTTask>& torrent, const std::wstring& file,
                           const BTTaskStatus& status);
    // The check of the finished file; the task decides what follows.
    VLPieceCheck CheckFinished(const std::wstring& file);
    // Gives the torrent back to the task, which goes on hearing of it.
    void Hold(const std::shared_ptr<IBTTask>& torrent);
    // A fresh start of the torrent, as a restart makes it: out of the
    // session keeping its files and record, and added again, so that the
    // engine checks the data and fetches what fails from its peers and web
    // seeds. The engine asked to check a finished torrent again would find
    // the pieces missing but dial none of the peers it knew for them.
    void Refetch(const std::shared_ptr<IBTTask>& torrent);
    // Whether the torrent has fetched for the torrent idle limit
    // (download/WaitLimits.h) and gained nothing, done being what it holds
    // now; a check or an allocation counts as no wait.
    bool Stalled(int64_t done, bool fetching);
    // Under lock_: the torrent, held anew, has gained nothing yet.
    void RestartStallClock();
    bool CheckDrive(const std::shared_ptr<IBTTask>& torrent, int64_t wanted);
    std::wstring TorrentFilePath(const std::shared_ptr<IBTTask>& torrent);
    void SetTorrent(std::shared_ptr<IBTTask> handle);
    std::shared_ptr<IBTTask> CurrentTorrent();
    // Takes the torrent from the task, counted as leaving it until LetGo.
    std::shared_ptr<IBTTask> TakeTorrent();
    void LetGo();
    // The torrent's bytes as checked against the answer, whose piece hashes
    // the finished file must match.
    void SetCheckedTorrent(std::string bytes);
    // Takes the torrent's bytes as those the finished file is checked
    // against, and readies its data file at savePath\name (name: the
    // torrent's own when empty); false for a torrent of more than one file.
    bool TakeTorrentBytes(std::string bytes, const std::wstring& savePath, std::wstring name);
    std::wstring RecordPath();
    void SetRecordPath(const std::wstring& path);
    bool SavesIntoFolder(const BTTaskRecord& record);
    void DeleteOwnRecordFiles(BTRemoveMode mode);
    double AverageSpeedOf(const BTTaskStatus& status);
    double RatioOf(const BTTaskStatus& status);

    // The worker's own.
    std::wstring targetPath_;
    VLBuffer<unsigned char> torrentData_;
    const uint32_t taskId_;
    const std::wstring targetOverride_;
    bool (*hasGaps_)(const std::wstring& path);

    // Guarded by lock_, a leaf: the session's thread, the worker and the
    // owner all reach them.
    std::mutex lock_;
    std::shared_ptr<IBTTask> torrent_;
    std::wstring recordPath_;
    std::wstring finishedPath_;
    std::shared_ptr<const std::string> checkedTorrent_;
    // The finished file since it passed its check, until the finish report
    // is sent.
    VLHandle checkedFile_;
    double lastAverageSpeed_ = 0.0;
    double lastRatio_ = 0.0;
    // The owner callbacks under way; none starts once closing_ is set.
    uint32_t callbacks_ = 0;
    bool closing_ = false;
    std::condition_variable callbacksEnded_;
    // Set while the worker adds a torrent: an event reported before the
    // task holds it waits for torrentHeld_.
    bool adding_ = false;
    std::condition_variable torrentHeld_;
    // Starts that resumed the torrent the task held; a pause that a stop
    // asked for before one of them ends nothing.
    uint32_t resumes_ = 0;
    // Starts under way that have counted the stops before them and have not
    // yet begun their run.
    uint32_t starts_ = 0;
    // Torrents taken from the task and not yet out of the session or in the
    // seed list; a run begins only once none is left (left_), so that it
    // neither adds the torrent while the session still has it nor misses
    // its seed.
    uint32_t leaving_ = 0;
    std::condition_variable left_;
    // Since the torrent was added or resumed: the most it held, and when it
    // first held that much.
    int64_t mostDone_ = 0;
    uint64_t mostDoneTick_ = 0;

    std::atomic<int64_t> totalDone_{0};
    std::atomic<int64_t> totalWanted_{0};
    VLHandle doneEvent_;
    std::atomic<bool> driveChecked_{false};
    std::atomic<bool> rechecked_{false};
    std::atomic<bool> refetched_{false};
    // Since the last Start: finished files fetched again after a failed
    // check, and checks put off while another program had the file open.
    std::atomic<uint32_t> refetches_{0};
    std::atomic<uint32_t> fileWaits_{0};
};

} // namespace Velora
