// What every download task shares: the message record and codes a task
// reports to its one listener, the task states, the result codes, and the
// abstract task itself.
#pragma once

#include "download/AddressQuery.h"

#include "base/CallGate.h"
#include "base/Handles.h"
#include "base/Thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Velora {

// First argument of VLDownloadMessage::OnMessage.
enum TaskMessageCode : uint32_t {
    kMsgStatePath = 0,  // text: resume state file (HTTP) or task record (BitTorrent)
    kMsgDataPath = 1,   // text: partial data file, or the torrent's file
    kMsgFinalPath = 2,  // text; value2 low byte: already complete, no transfer ran
    kMsgPhase = 3,      // value1: phase of the run
    kMsgTotalSize = 4,  // value1 low word, value2 high word
    kMsgDownloaded = 5, // value1 low word, value2 high word
    kMsgSpeed = 6,      // value2: bytes per second; value1 carries nothing
    kMsgState = 7,      // value1: the new DownloadTaskState
    kMsgFinished = 8,   // value1: the DownloadError of the run
    kMsgSwitchKind = 9, // value1: the DownloadTaskKind asked for; value2 low byte: answer came from the provider
    kMsgTimeLeft = 10,  // value1: seconds, kTimeLeftUnknown when the rate is 0
    kMsgNotice = 11,    // value1: a DownloadError that did not end the run
};

constexpr uint32_t kTimeLeftUnknown = 0xFFFFFFFF;

// The kind of a task, as the address answer's DownloadType names it.
enum class DownloadTaskKind : int32_t {
    Http = 1,
    BitTorrent = 2,
};

enum DownloadTaskState : int32_t {
    kTaskNew = 0,
    kTaskQueued = 1,
    kTaskRunning = 2,
    kTaskFinished = 3,
    kTaskStopped = 4,
    kTaskFailed = 5,
};

enum DownloadError : uint32_t {
    kDownloadOk = 0,
    kErrThreadNotStarted = 1,
    kErrNoAddress = 0xE0000003,
    kErrBadUrl = 0xE0000004,
    kErrProbe = 0xE0000005,
    kErrCheckFailed = 0xE0000006,
    // The finished file stayed open for writing in another program: nothing
    // is known against it, and it stays for the next run.
    kErrFileInUse = 0xE0000013,
    kErrRangeConnection = 0xE0000007,
    kErrBadStateFile = 0xE0000008,
    kErrRetryable = 0xE0000009,
    kErrStopped = 0xE000000A,
    kErrKindSwitch = 0xE000000B,
    kErrNoSession = 0xE000000C,
    kErrIncompleteAnswer = 0xE000000D,
    kErrTorrentFetch = 0xE000000E,
    kErrTorrentSize = 0xE000000F,
    kErrTorrentMd5 = 0xE0000010,
    kErrSessionRefused = 0xE0000011,
    kErrTorrent = 0xE0000012,
    kErrInvalidVersion = 0xE0002000,
    kErrFatTooLarge = 0xE0002001,
    kErrDiskFull = 112,
    kErrAccessDenied = 5,
    kErrAborted = 0x80004004,
    kErrFileAccess = 0x80004005,
};

// Built on the sender's stack for one call; the listener copies what it keeps.
struct TaskMessage {
    uint32_t taskId;
    uint32_t reserved;
    union {
        uint32_t value1;
        const wchar_t* text;
    };
    uint32_t value2;
};

// Messages arrive on the sender's thread (a task worker, a range connection,
// the BitTorrent session), several at once: a listener guards what it stores.
class VLDownloadMessage {
public:
    virtual ~VLDownloadMessage() = default;
    virtual void OnMessage(uint32_t code, const TaskMessage* message) = 0;
};

// The slot through which a task reaches its one listener. Clearing it
// (Set(nullptr)) returns once no message of another thread is being
// delivered, so the listener is never called after its owner let it go.
typedef VLCallGate<VLDownloadMessage> VLListenerSlot;

class VLDownloadTask;
// Frees a task the way its kind does.
struct VLTaskDestroy {
    void operator()(VLDownloadTask* task) const;
};
// The one owner of a task that is not a manager's.
typedef std::unique_ptr<VLDownloadTask, VLTaskDestroy> VLTaskPtr;

// Consulted when the address query is skipped or fails; record is the task.
typedef bool (*VLAddressProvider)(uint32_t id, void* record, DownloadFileInfo& info);

void SendTextMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener,
                     const wchar_t* text, uint32_t value2 = 0);
void SendValueMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener,
                      uint32_t value1, uint32_t value2 = 0);
// 64-bit quantity as low word (value1) and high word (value2).
void SendSizeMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener, uint64_t value);

// Lock order of the downloads: there is none to keep, because every lock of
// download/ is a leaf. Each guards its own fields for a few statements and is
// released before anything else is called: a listener, a torrent's owner
// callback, the engine, a file write, another object's lock, or a wait. These
// are the locks:
//   VLDownloadTask::lock_ (the folder, the replaced task, the latest run's
//   worker); VLHttpTask's counter lock; VLRangeDownloader's range records;
//   VLConnection's socket; VLBTTask::lock_ (torrent handle, figures frozen
//   at completion, callbacks under way, a torrent being added, starts and
//   restarts, torrents leaving the task); VLDownloadManager::lock_ (task
//   list, calls and messages under way, limits);
//   VLBTManager::lock_ (seed list and each seed's torrent, session, file
//   names); the session's task list lock; btTaskImpl's status lock;
//   VLDownloadSingleFile's path lock; and the lock inside every VLCallGate (a
//   task's listener slot, a torrent's owner callback).
// Three are held across something else and are taken with no other lock
// held: VLBTManager's save lock across the write of "seeds.xml", so that
// writes land in the order of the changes; VLTaskList's worker lock across
// starting or joining its worker, which never takes it (the list is running
// from before the worker lives, so StartThread answers the worker at once);
// and VLDownloadTask::lock_ across starting a worker, which takes it only
// once it runs.
// What once needed a lock held across a call is kept as state instead:
// clearing a VLCallGate waits for the calls under way through it, a download
// manager's StopAll and Remove wait for its starts under way on other
// threads (from inside a task's message either refuses instead), a change
// of the seed list takes its seeds out before it calls the engine and checks
// afterwards that a seed it started is still listed, and VLBTTask counts the
// owner callbacks under way before it lets its object go.
// One callback waits for a worker: an event on a torrent the session is
// adding for a worker waits until the task holds it, that is for the rest of
// the session's add, which waits only for the engine's own thread. Workers
// wait for other threads: each run's worker waits for the worker of the run
// started before it; and a BitTorrent task's worker begins its run only once
// the torrents of earlier runs are out of the session or in the seed list,
// which the thread that took each (the session's, a completion's check, an
// owner's or an earlier run's worker) finishes without waiting for a worker.
class VLDownloadTask {
public:
    VLDownloadTask(DownloadTaskKind kind, uint32_t id);
    virtual ~VLDownloadTask();
    VLDownloadTask(const VLDownloadTask&) = delete;
    VLDownloadTask& operator=(const VLDownloadTask&) = delete;

    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual void Destroy() { delete this; }
    virtual double GetAverageSpeed() { return 0.0; }
    virtual double GetRatio() { return 0.0; }
    // The finished file, held open without write or delete sharing since it
    // passed its check, for the listener to take while the successful finish
    // is reported; nothing held otherwise.
    virtual VLHandle TakeCheckedFile() { return VLHandle(); }

    void SetState(int32_t newState);
    int32_t GetState() const { return state_; }
    std::wstring GetFolder();
    void SetFolder(const std::wstring& text);

    // Set by the owner before Start.
    void SetAddressProvider(VLAddressProvider provider) { addressProvider_ = provider; }
    void SetSkipQuery(bool skip) { skipQuery_ = skip; }
    // Runs that ended in an error worth retrying; the next run waits the
    // longer, the more there were.
    uint32_t GetRetryCount() const { return retryCount_; }
    void SetRetryCount(uint32_t count) { retryCount_ = count; }
    // Set by the owner that replaces the task: it deletes its temporary files
    // when it next finishes or is stopped.
    void SetCleanupPending(bool pending) { cleanupPending_ = pending; }
    // KB/s, 0 = unlimited: the manager's share of its limit, changed while the
    // task runs.
    uint32_t GetSpeedLimitKB() const { return speedLimitKB_; }
    void SetSpeedLimitKB(uint32_t limit) { speedLimitKB_ = limit; }
    // The task this one replaced at a kind switch, owned from here on: this
    // task's worker destroys it before it runs, the destructor when it is
    // still held. Set before Start.
    void SetPrevious(VLTaskPtr task);
    VLTaskPtr TakePrevious();

    const uint32_t id;
    const DownloadTaskKind type;
    VLListenerSlot listener;

protected:
    bool AskAddressProvider(void* record, DownloadFileInfo& answer);
    // Gives up soon after cancelled is set.
    bool QueryAddress(const std::atomic<bool>* cancelled = nullptr);
    bool SkipsQuery() const { return skipQuery_; }
    void CountRetry() { ++retryCount_; }
    bool IsCleanupPending() const { return cleanupPending_; }
    // Clears the flag; true when it was set.
    bool TakeCleanupPending() { return cleanupPending_.exchange(false); }

    // Starts a run on a worker of its own, with the number of stops made
    // before the run's Start. The worker first destroys the replaced task,
    // then waits for the worker of the run started before it (whether that
    // one still runs or not), so that runs take turns in the order of their
    // starts; then it calls Work. False when no thread could be started
    // (nothing changed).
    bool StartRun(uint32_t stopsBeforeStart);
    // The body of a run's worker, in each kind that starts runs.
    virtual void Work(uint32_t) {}
    // Whether the worker of the latest run has not ended yet.
    bool IsWorking();
    // Waits for the workers of every run; the destructor of each kind calls
    // it while the Work they run still exists.
    void JoinRuns();

    // The stop flag of the run under way, which every wait of the run polls.
    const std::atomic<bool>* AbortFlag() const { return &abort_; }
    bool IsAborted() const { return abort_; }
    // Asks the runs under way to end.
    void Abort()
    {
        ++aborts_;
        abort_ = true;
    }
    // The stops made so far: a run's Start keeps the count.
    uint32_t StopCount() const { return aborts_; }
    // Begins a run's own stop flag: it keeps only the stops made since the
    // run's Start, which stopsBeforeStart counts. A run begins only once the
    // runs started before it have ended, which had to see the earlier stops.
    void KeepStopsSince(uint32_t stopsBeforeStart);

    // The address answer: only the worker reads and writes it, and one run's
    // worker ends before the next one's begins.
    DownloadFileInfo info;

private:
    struct RunStart;
    static void WorkerProc(void* run);

    std::atomic<int32_t> state_{kTaskNew};
    std::atomic<uint32_t> retryCount_{0};
    std::atomic<bool> cleanupPending_{false};
    std::atomic<bool> abort_{false};
    std::atomic<uint32_t> aborts_{0};
    std::atomic<uint32_t> speedLimitKB_{0};
    // Written before Start, read by the worker it starts.
    std::atomic<bool> skipQuery_{false};
    std::atomic<VLAddressProvider> addressProvider_{nullptr};
    // Guards folder_, previous_ and worker_, and is held across starting a
    // worker too, so that the next run always waits for a worker that was
    // started. The new worker takes it only once it runs.
    std::mutex lock_;
    std::wstring folder_;
    VLTaskPtr previous_;
    // The worker of the latest run; each worker holds the one before it.
    VLThreadPtr worker_;
};

} // namespace Velora
