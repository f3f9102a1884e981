// The records and interfaces through which the program drives BitTorrent
// downloads and seeds. Every text that crosses them is narrow text in the
// system code page; only the session converts paths for the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

// What the owner of a new download hands to IBTSession::AddTask.
struct BTTaskParam {
    std::string savePath;            // created when missing
    std::string resumeFile;          // the task record file; may be empty
    uint32_t sourceKind = 0;         // 0: torrentFile on disk, 1: bytes in torrentData
    std::string torrentFile;
    std::string torrentData;
    bool addAsSeed = false;
    std::vector<std::string> urlSeeds;
    std::string rootName;            // top-level name of the saved data when not empty
};

// What a task keeps, and stores under "taskData" in its record file, to be
// added again in a later run.
struct BTTaskRecord {
    std::string savePath;
    std::string resumeFile;
    std::string orgTorrentFile;
    std::string torrentFile;         // savePath\<40 lower-case hex of the info-hash>.torrent
    bool addAsSeed = false;
    std::vector<std::string> urlSeed;
    std::string rootPath;            // the first file of the torrent, inside savePath
};

// Eleven 32-bit words; words 9 and 10 are only kept by the session.
struct BTSessionSettings {
    int32_t activeDownloads = 3;
    int32_t activeSeeds = 5;
    int32_t uploadRateLimit = 0;     // bytes per second, 0 unlimited
    int32_t downloadRateLimit = 0;
    int32_t localUploadRateLimit = 0;
    int32_t localDownloadRateLimit = 0;
    int32_t unchokeSlotsLimit = 8;
    int32_t halfOpenLimit = 0;
    int32_t connectionsLimit = 200;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
};
bool operator==(const BTSessionSettings& a, const BTSessionSettings& b);
inline bool operator!=(const BTSessionSettings& a, const BTSessionSettings& b) { return !(a == b); }

struct BTSessionStatus {
    uint32_t hasIncoming = 0;
    float uploadRate = 0;
    float downloadRate = 0;
    int64_t totalDownload = 0;
    int64_t totalUpload = 0;
    int64_t totalRedundantBytes = 0;
    int64_t totalFailedBytes = 0;
    int32_t numPeers = 0;
    int32_t numUnchoked = 0;
};

// Flat copy of the last status the engine posted for a torrent.
struct BTTaskStatus {
    int32_t state = 7; // a BTTorrentState; at first checking resume data
    uint8_t hasError = 0;
    float progress = 0;
    char errorText[1024] = {};
    int32_t nextAnnounce = 0;
    int32_t announceInterval = 0;
    char currentTracker[512] = {};
    int64_t totalDownload = 0;
    int64_t totalUpload = 0;
    int64_t totalPayloadDownload = 0;
    int64_t totalPayloadUpload = 0;
    int64_t extraCounter1 = 0;
    int64_t extraCounter2 = 0;
    int64_t totalFailedBytes = 0;
    int64_t totalRedundantBytes = 0;
    float downloadRate = 0;
    float uploadRate = 0;
    float downloadPayloadRate = 0;
    float uploadPayloadRate = 0;
    int32_t numSeeds = 0;
    int32_t numPeers = 0;
    int32_t numComplete = 0;
    int32_t numIncomplete = 0;
    int32_t listSeeds = 0;
    int32_t listPeers = 0;
    int32_t connectCandidates = 0;
    int32_t numPieces = 0;
    int64_t totalDone = 0;
    int64_t totalWantedDone = 0;
    int64_t totalWanted = 0;
    float distributedCopies = 0;
    int32_t numUploads = 0;
    int32_t numConnections = 0;
    int32_t uploadsLimit = 0;
    int32_t connectionsLimit = 0;
    int32_t upBandwidthQueue = 0;
    int32_t downBandwidthQueue = 0;
    int64_t allTimeUpload = 0;
    int64_t allTimeDownload = 0;
    int64_t extraCounter3 = 0;
    int32_t activeTime = 0;
    int32_t finishedTime = 0;
    int32_t seedingTime = 0;
    int64_t addedTime = 0;
    int64_t completedTime = 0;
    int64_t lastSeenComplete = 0;
    int32_t timeSinceUpload = 0;
    int32_t timeSinceDownload = 0;
    int32_t seedRank = 0;
    int32_t lastScrape = 0;
    uint32_t hasIncoming = 0;
    int32_t sparseRegions = 0;
    uint32_t seedMode = 0;
};

struct BTPeerInfo {
    std::string address;
    std::string client;
    int32_t downSpeed = 0;
    int32_t upSpeed = 0;
    int64_t totalDownload = 0;
    int64_t totalUpload = 0;
    uint32_t flags = 0;
};

// The engine's torrent states, as BTTaskStatus::state carries them.
enum class BTTorrentState : int32_t {
    QueuedForChecking = 0,
    CheckingFiles = 1,
    DownloadingMetadata = 2,
    Downloading = 3,
    Finished = 4,
    Seeding = 5,
    Allocating = 6,
    CheckingResumeData = 7,
};

// What a torrent tells its owner through ITaskCallback::OnEvent.
enum class BTEvent : int32_t {
    Paused = -1,
    Complete = 0,
    TorrentError = 1,
    SeedIncomplete = 2, // a seed's data was found incomplete by a check
    DiskFull = 3,
    AccessDenied = 4,
};

// What IBTSession::RemoveTask and DeleteTaskFiles delete of a task's files.
enum class BTRemoveMode : int32_t {
    KeepFiles = 0,    // record file, torrent copy and data stay: the task can be added again
    ForgetRecord = 1, // the record file and the torrent copy go, the data stays
    DeleteData = 2,   // the data goes, the record file and the torrent copy stay
    ForgetAll = 3,    // the data goes too
};
inline bool ForgetsRecord(BTRemoveMode mode)
{
    return (int32_t(mode) & 1) != 0;
}
inline bool DeletesData(BTRemoveMode mode)
{
    return (int32_t(mode) & 2) != 0;
}

// Implemented by the owner of a task; called on the session's thread.
class ITaskCallback {
public:
    // The engine resumed the torrent.
    virtual void OnResumed() = 0;
    virtual void OnEvent(BTEvent event) = 0;
    virtual void MapState(int previousState, int newState) = 0;
    virtual void OnProgress() = 0;

protected:
    ~ITaskCallback() = default;
};

// Read-only view of a torrent's metadata; empty answers once the torrent is gone.
class ITorrentInfo {
public:
    virtual void GetName(std::string& name) = 0;
    virtual void GetTrackers(std::vector<std::string>& trackers) = 0;
    virtual void GetComment(std::string& comment) = 0;
    virtual int32_t GetPieceSize() = 0;
    virtual int32_t GetPieceCount() = 0;
    virtual int32_t GetFileCount() = 0;
    virtual void GetFilePath(std::string& path, int32_t index) = 0;
    virtual int64_t GetFileSize(int32_t index) = 0;
    virtual int64_t GetTotalSize() = 0;
    // The 20 raw bytes, not hexadecimal text.
    virtual void GetInfoHash(std::string& hash) = 0;

protected:
    ~ITorrentInfo() = default;
};

class ITaskControler {
public:
    virtual void Resume() = 0;
    virtual void Pause() = 0;
    // UTF-8, as the engine words it.
    virtual std::string GetErrorText() = 0;
    // Once it has returned, no call of the old callback is under way or will
    // follow, but for one the calling thread itself is inside: the calls are
    // counted, not made under a lock, so a callback may detach itself.
    virtual void SetCallback(ITaskCallback* callback) = 0;
    virtual bool IsRunning() = 0;
    virtual BTTaskStatus* GetStatus(BTTaskStatus* status) = 0;
    virtual bool IsSeedTask() = 0;
    virtual BTTaskRecord* GetRecord() = 0;
    virtual ITorrentInfo* GetTorrentInfo() = 0;
    virtual std::vector<BTPeerInfo>& GetPeers(std::vector<BTPeerInfo>& peers, int32_t first,
                                              uint32_t count) = 0;
    virtual void SetRateLimits(int32_t download, int32_t upload) = 0;
    virtual void GetRateLimits(int32_t& download, int32_t& upload) = 0;
    virtual void ForceRecheck() = 0;
    // Neither removes the torrent nor calls the callback.
    virtual ~ITaskControler() = default;
    virtual bool WaitPaused(uint32_t milliseconds) = 0;
    virtual bool IsPaused() = 0;
};

// A torrent in the session. Every operation is harmless once the torrent has
// been removed (or the session destroyed).
class IBTTask : public ITaskControler {
public:
    // The callback hears of the finished download once more, on the
    // session's thread, after that many milliseconds: an owner that could
    // not take the file yet tries again without holding that thread.
    virtual void RepeatCompletion(uint32_t milliseconds) = 0;
    // Writes the record now, with the pieces the engine holds: true when
    // written, or when there is no torrent any more to write for.
    virtual bool WriteResumeData() = 0;
};

// The owner destroys the session as a CBTSession.
class IBTSession {
public:
    virtual void SetSettings(BTSessionSettings settings) = 0;
    virtual BTSessionSettings* GetSettings(BTSessionSettings* settings) = 0;
    virtual BTSessionStatus* GetStatus(BTSessionStatus* status) = 0;
    virtual int32_t GetListenPort() = 0;
    // The task is shared between the session and its owner, so the owner's
    // reference stays valid after RemoveTask and after the session is gone.
    virtual std::shared_ptr<IBTTask> AddTask(const BTTaskParam* param, ITaskCallback* callback,
                                             std::string* error) = 0;
    virtual bool LoadTaskRecord(const std::string& path, BTTaskRecord* record) = 0;
    virtual std::shared_ptr<IBTTask> AddTaskFromRecord(const std::string& path, bool asSeed,
                                                       ITaskCallback* callback,
                                                       std::string* error) = 0;
    virtual void RemoveTask(IBTTask* task, BTRemoveMode mode) = 0;
    virtual void DeleteTaskFiles(const std::string& path, BTRemoveMode mode) = 0;
    virtual uint32_t GetTaskCount() = 0;

protected:
    ~IBTSession() = default;
};

} // namespace Velora
