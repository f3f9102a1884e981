#include "download/BTDownloadTask.h"

#include "download/BTManager.h"
#include "download/BTPieceCheck.h"
#include "download/BTTaskRecord.h"
#include "download/HttpRequest.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/Md5.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/Singleton.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <windows.h>

#include <system_error>
#include <thread>
#include <utility>

namespace Velora {

namespace {

constexpr int kRetryRounds = 10;
constexpr DWORD kRetryRoundMs = 200;
// How long the destructor lets the session report a pause before it takes
// the torrent out itself.
constexpr DWORD kDoneWaitMs = 5000;
constexpr uint64_t kLargestFatFile = 0xFFFFFFFF;
// A finished file that fails its check is fetched again that many times; a
// download whose file fails once more fails.
constexpr uint32_t kMaxRefetches = 2;
// While another program has the finished file open for writing, the check is
// tried again every second for a minute.
constexpr uint32_t kMaxFileWaits = 60;
constexpr uint32_t kFileWaitMs = 1000;
// A download fetched again that gains no bytes for five minutes (its peers
// and web seeds gone) fails, keeping its record and data for the next run.
// The session reports on a torrent whose status stays the same every three
// minutes, so it ends within eight minutes of its last byte.
constexpr uint64_t kRefetchStallMs = 5 * 60 * 1000;

VLBTManager& Manager()
{
    return VLSingleton<VLBTManager>::GetInstance();
}

bool IsCounted(uint32_t code)
{
    return code == kErrNoAddress || (code >= kErrIncompleteAnswer && code <= kErrTorrent);
}

bool SparseWithGaps(const std::wstring& path)
{
    VLPlainFile file;
    return file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) && IsSparseFile(file.file.handle.Get()) &&
           HasAllocationGaps(file.file.handle.Get());
}

} // namespace

BTTaskPhase PhaseOfTorrentState(int torrentState)
{
    switch (static_cast<BTTorrentState>(torrentState)) {
    case BTTorrentState::QueuedForChecking: return BTTaskPhase::QueuedForChecking;
    case BTTorrentState::CheckingFiles: return BTTaskPhase::CheckingFiles;
    case BTTorrentState::DownloadingMetadata:
    case BTTorrentState::Downloading: return BTTaskPhase::Downloading;
    case BTTorrentState::Finished: return BTTaskPhase::Finished;
    case BTTorrentState::Seeding: return BTTaskPhase::Seeding;
    case BTTorrentState::Allocating: return BTTaskPhase::Allocating;
    default: return BTTaskPhase::Other;
    }
}

uint32_t EstimateSecondsLeft(uint64_t wanted, uint64_t done, double averageSpeed, uint32_t speed)
{
    const uint32_t current = speed * 6u;
    const uint64_t rate = static_cast<uint64_t>((averageSpeed * 4.0 + current) / 10.0);
    if (rate == 0) return kTimeLeftUnknown;
    return static_cast<uint32_t>((wanted > done ? wanted - done : 0) / rate);
}

bool DriveRefusesSize(const DriveInfo& drive, uint64_t size)
{
    return size > kLargestFatFile && drive.volumeInfoValid &&
           (CompareNoCase(drive.fileSystem, L"FAT32") == 0 || CompareNoCase(drive.fileSystem, L"FAT") == 0);
}

// Counts an owner callback under way, unless the task is closing: then the
// callback does nothing.
class VLBTTask::CallbackScope {
public:
    explicit CallbackScope(VLBTTask& task) : task_(task)
    {
        std::lock_guard<std::mutex> guard(task_.lock_);
        entered_ = !task_.closing_;
        if (entered_) ++task_.callbacks_;
    }
    ~CallbackScope()
    {
        if (!entered_) return;
        std::lock_guard<std::mutex> guard(task_.lock_);
        if (--task_.callbacks_ == 0) task_.callbacksEnded_.notify_all();
    }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
    explicit operator bool() const { return entered_; }

private:
    VLBTTask& task_;
    bool entered_;
};

VLBTTask::VLBTTask(uint32_t taskId, const std::wstring& workFolder, const std::wstring& record,
                   const std::wstring& target)
    : VLDownloadTask(DownloadTaskKind::BitTorrent, taskId), taskId_(taskId), targetOverride_(target),
      hasGaps_(&SparseWithGaps), refetchStallMs_(kRefetchStallMs), recordPath_(record),
      doneEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    SetFolder(workFolder);
}

VLBTTask::~VLBTTask()
{
    Stop();
    JoinRuns();
    // The pause Stop asked for ends the download through the session's
    // thread; when that report does not come, the torrent is taken out below.
    if (CurrentTorrent()) WaitForSingleObject(doneEvent_.Get(), kDoneWaitMs);
    // A callback under way may still use this object (a completion handing
    // its torrent to the seed list): it ends first, and no other begins.
    {
        std::unique_lock<std::mutex> guard(lock_);
        closing_ = true;
        callbacksEnded_.wait(guard, [this] { return callbacks_ == 0; });
    }
    if (CurrentTorrent()) Fail(kErrAborted, kTaskStopped);
    if (IsCleanupPending()) {
        DeleteOwnRecordFiles(BTRemoveMode::ForgetAll);
        // Only when empty, and only the folder itself.
        DeletePlainFile(GetFolder());
    }
}

void VLBTTask::SetTorrent(std::shared_ptr<IBTTask> handle)
{
    std::lock_guard<std::mutex> guard(lock_);
    torrent_ = std::move(handle);
}

std::shared_ptr<IBTTask> VLBTTask::CurrentTorrent()
{
    std::lock_guard<std::mutex> guard(lock_);
    return torrent_;
}

std::shared_ptr<IBTTask> VLBTTask::TakeTorrent()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (torrent_) ++leaving_;
    return std::move(torrent_);
}

void VLBTTask::LetGo()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (--leaving_ == 0) left_.notify_all();
}

std::wstring VLBTTask::RecordPath()
{
    std::lock_guard<std::mutex> guard(lock_);
    return recordPath_;
}

void VLBTTask::SetRecordPath(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(lock_);
    recordPath_ = path;
}

void VLBTTask::SetCheckedTorrent(std::string bytes)
{
    auto held = std::make_shared<const std::string>(std::move(bytes));
    std::lock_guard<std::mutex> guard(lock_);
    checkedTorrent_ = std::move(held);
}

VLHandle VLBTTask::TakeCheckedFile()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::move(checkedFile_);
}

std::wstring VLBTTask::GetFinishedPath()
{
    std::lock_guard<std::mutex> guard(lock_);
    return finishedPath_;
}

void VLBTTask::ReportPhase(BTTaskPhase value)
{
    SendValueMessage(kMsgPhase, id, &listener, static_cast<uint32_t>(value));
}

bool VLBTTask::Start()
{
    uint32_t stops;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stops = StopCount();
        ++starts_;
    }
    driveChecked_ = false;
    rechecked_ = false;
    refetched_ = false;
    refetches_ = 0;
    fileWaits_ = 0;
    // With no worker left the torrent the task holds goes on at once; a run
    // still under way (stopped or not, or a restart asked from inside one of
    // its messages) ends first, and the new run goes on from there.
    const bool resumed = !IsWorking() && ResumeHeldTorrent(stops);
    if (!resumed) ResetEvent(doneEvent_.Get());
    SetState(kTaskRunning);
    ReportPhase(BTTaskPhase::Starting);
    const bool started = resumed || StartRun(stops);
    {
        std::lock_guard<std::mutex> guard(lock_);
        --starts_;
    }
    if (started) return true;
    SetState(kTaskFailed);
    ReportFinish(kErrThreadNotStarted);
    return false;
}

bool VLBTTask::ResumeHeldTorrent(uint32_t stopsBeforeStart)
{
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return false;
    // Resumed before the stop is withdrawn: a report of the stop's pause
    // that still finds the stop takes the torrent first (then there is none
    // to go on with here), and one that comes later finds the torrent
    // running again.
    torrent->Resume();
    std::lock_guard<std::mutex> guard(lock_);
    if (torrent_ != torrent) return false;
    KeepStopsSince(stopsBeforeStart);
    ++resumes_;
    return true;
}

bool VLBTTask::Stop()
{
    if (GetState() == kTaskQueued) {
        SetState(kTaskStopped);
        return true;
    }
    // A download that has ended stays as it ended.
    if (GetState() == kTaskFinished) return true;
    bool starting;
    {
        // A stop made once a Start has counted the stops before it belongs to
        // the run that Start begins, which reports its end.
        std::lock_guard<std::mutex> guard(lock_);
        Abort();
        starting = starts_ > 0;
    }
    const bool working = starting || IsWorking();
    if (std::shared_ptr<IBTTask> torrent = CurrentTorrent()) {
        // A running download ends when the session reports the pause.
        torrent->Pause();
        if (GetState() != kTaskRunning) Fail(kErrAborted, kTaskStopped);
    } else if (!working && GetState() != kTaskStopped && GetState() != kTaskFailed) {
        EndAborted();
    }
    return true;
}

double VLBTTask::GetAverageSpeed()
{
    if (std::shared_ptr<IBTTask> torrent = CurrentTorrent()) {
        BTTaskStatus status;
        return AverageSpeedOf(*torrent->GetStatus(&status));
    }
    std::lock_guard<std::mutex> guard(lock_);
    return lastAverageSpeed_;
}

double VLBTTask::GetRatio()
{
    if (std::shared_ptr<IBTTask> torrent = CurrentTorrent()) {
        BTTaskStatus status;
        return RatioOf(*torrent->GetStatus(&status));
    }
    std::lock_guard<std::mutex> guard(lock_);
    return lastRatio_;
}

double VLBTTask::AverageSpeedOf(const BTTaskStatus& status)
{
    int32_t seconds = status.activeTime;
    if (status.finishedTime > 0 && status.activeTime - status.finishedTime != 0)
        seconds = status.activeTime - status.finishedTime;
    return seconds == 0 ? 0.0 : double(status.allTimeDownload) / seconds;
}

double VLBTTask::RatioOf(const BTTaskStatus& status)
{
    if (status.allTimeDownload <= 0) return 0.0;
    return 1.0 - double(status.extraCounter3) / double(status.allTimeDownload);
}

void VLBTTask::Work(uint32_t stopsBeforeStart)
{
    // Once no torrent of an earlier run is leaving, the task holds none (the
    // run adds one) or one it goes on with: a torrent taken while it is
    // resumed is waited for as well. A run stopped since its Start ends at
    // once: that stop paused a torrent the task holds, and its report ends it.
    for (;;) {
        AwaitTorrentsLeaving();
        if (StopCount() != stopsBeforeStart || !CurrentTorrent()) break;
        if (ResumeHeldTorrent(stopsBeforeStart)) return;
    }
    KeepStopsSince(stopsBeforeStart);
    Run();
}

void VLBTTask::AwaitTorrentsLeaving()
{
    std::unique_lock<std::mutex> guard(lock_);
    if (leaving_ > 0) {
        guard.unlock();
        OnAwaitingRemoval();
        guard.lock();
    }
    left_.wait(guard, [this] { return leaving_ == 0; });
}

void VLBTTask::ReportFinish(uint32_t code)
{
    if (IsCounted(code)) CountRetry();
    if (IsAborted()) {
        SetState(kTaskStopped);
        code = kErrAborted;
    }
    SendValueMessage(kMsgFinished, id, &listener, code);
}

void VLBTTask::EndAborted()
{
    SetState(kTaskStopped);
    ReportFinish(kErrAborted);
}

bool VLBTTask::EndIfAborted()
{
    if (!IsAborted()) return false;
    EndAborted();
    return true;
}

bool VLBTTask::RefuseAnswer(bool refused, uint32_t code)
{
    if (!refused) return false;
    SetState(kTaskFailed);
    ReportFinish(code);
    return true;
}

void VLBTTask::Run()
{
    bool queried = false;
    if (!AwaitQuery() || !TakeAnswer(queried)) return;

    VLBTManager& manager = Manager();
    if (manager.IsSeeding(id)) manager.RemoveSeedById(id);
    SetState(kTaskRunning);
    if (ResumeIfRecorded()) return;
    targetPath_ = CombinePath(GetFolder(), info.FileName);
    const std::wstring record = targetPath_ + L".vll";
    SetRecordPath(record);
    SendTextMessage(kMsgStatePath, id, &listener, record.c_str());
    if (ResumeIfRecorded()) return;
    if (IsAborted()) return EndAborted();

    if (!FetchTorrent(queried) || !AddToSession()) return;
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (torrent) {
        const std::wstring file = TorrentFilePath(torrent);
        SendTextMessage(kMsgDataPath, id, &listener, file.c_str());
    }
    if (IsAborted()) Fail(kErrAborted, kTaskStopped);
}

bool VLBTTask::AwaitQuery()
{
    if (RefuseAnswer(!Manager().GetSession(), kErrNoSession)) return false;
    // After a counted failure the run waits a little first.
    const int rounds = GetRetryCount() > 0 ? kRetryRounds : 0;
    for (int round = 0; round < rounds; ++round) {
        if (EndIfAborted()) return false;
        Sleep(kRetryRoundMs);
    }
    return !EndIfAborted();
}

bool VLBTTask::TakeAnswer(bool& queried)
{
    ReportPhase(BTTaskPhase::Querying);
    queried = QueryAddress(AbortFlag());
    if (EndIfAborted()) return false;
    if (!queried) {
        SendValueMessage(kMsgNotice, id, &listener, kErrNoAddress);
        DownloadFileInfo answer;
        if (RefuseAnswer(!AskAddressProvider(this, answer), kErrNoAddress)) return false;
        if (RefuseAnswer(SkipsQuery() && answer.DownloadType != int32_t(DownloadTaskKind::BitTorrent), kErrNoAddress))
            return false;
        info = answer;
    }
    if (RefuseAnswer(info.InvalidVersion, kErrInvalidVersion)) return false;
    if (info.DownloadType != int32_t(DownloadTaskKind::BitTorrent)) {
        SendValueMessage(kMsgSwitchKind, id, &listener, uint32_t(info.DownloadType), 0);
        return false;
    }
    if (RefuseAnswer(info.Md5.empty() || info.TorrentUrl.empty() || (info.DownloadUrl.empty() && info.SpareUrl.empty()),
                     kErrIncompleteAnswer))
        return false;
    // The name comes over plain HTTP and names what an elevated process
    // writes and deletes: a bare name inside the folder, or nothing.
    return !RefuseAnswer(!IsBareFileName(info.FileName), kErrNoAddress) && !EndIfAborted();
}

bool VLBTTask::FetchTorrent(bool queried)
{
    uint32_t fetched = 0;
    // The fetch gives up on a stop: a torrent server that stalls or trickles
    // would otherwise hold the task, and a closing program, for its head
    // limit or longer. A stop is no failed fetch and asks for no other kind.
    if (HttpGetToBuffer(info.TorrentUrl, torrentData_, fetched, AbortFlag())) {
        torrentData_.size = fetched < torrentData_.capacity ? fetched : torrentData_.capacity;
        return true;
    }
    if (EndIfAborted()) return false;
    SendValueMessage(kMsgNotice, id, &listener, kErrTorrentFetch);
    const bool ownTarget = !targetOverride_.empty() && FileExists(targetOverride_);
    if (!ownTarget && !(!queried && GetRetryCount() > 2)) {
        DownloadFileInfo fresh;
        if (AskAddressProvider(this, fresh))
            SendValueMessage(kMsgSwitchKind, id, &listener, uint32_t(DownloadTaskKind::Http), 1);
    }
    RefuseAnswer(true, kErrTorrentFetch);
    return false;
}

bool VLBTTask::ResumeIfRecorded()
{
    if (!RecordMatches(RecordPath())) return false;
    if (ResumeFromRecord() && IsAborted()) Fail(kErrAborted, kTaskStopped);
    return true;
}

bool VLBTTask::RecordMatches(const std::wstring& path)
{
    if (!Manager().GetSession() || path.empty() || !FileExists(path)) return false;
    BTTaskRecord record;
    if (!LoadTaskRecord(ToMultiByte(path), &record)) return false;
    if (!SavesIntoFolder(record)) return false;
    std::vector<char> copy;
    if (!LoadFileBytes(record.torrentFile, copy, kMaxAnswerBytes)) return false;
    if (CompareNoCase(Md5BufferHex(reinterpret_cast<const unsigned char*>(copy.data()), int32_t(copy.size())),
                      info.Md5) == 0)
        // A torrent of more than one file is refused once fetched again.
        return TakeTorrentBytes(std::string(copy.begin(), copy.end()), ToWide(record.savePath.c_str()),
                                ToWide(record.rootPath.c_str()));
    DeleteTaskFiles(ToMultiByte(path), BTRemoveMode::ForgetAll);
    return false;
}

bool VLBTTask::ResumeFromRecord()
{
    std::shared_ptr<IBTSession> session = Manager().GetSession();
    BeginAdding();
    std::shared_ptr<IBTTask> torrent =
        session ? session->AddTaskFromRecord(ToMultiByte(RecordPath()), false, this, nullptr) : nullptr;
    HoldAdded(torrent);
    if (RefuseAnswer(!torrent, kErrSessionRefused)) return false;
    torrent->Resume();
    return true;
}

void VLBTTask::BeginAdding()
{
    std::lock_guard<std::mutex> guard(lock_);
    adding_ = true;
}

void VLBTTask::HoldAdded(const std::shared_ptr<IBTTask>& torrent)
{
    if (torrent) OnTorrentAdded();
    std::lock_guard<std::mutex> guard(lock_);
    if (torrent) torrent_ = torrent;
    adding_ = false;
    torrentHeld_.notify_all();
}

bool VLBTTask::AddToSession()
{
    const uint32_t size = torrentData_.size;
    if (RefuseAnswer(size == 0 || ParseFileSize(info.FileSize) != int64_t(size), kErrTorrentSize)) return false;
    if (RefuseAnswer(CompareNoCase(Md5BufferHex(torrentData_.data, int32_t(size)), info.Md5) != 0, kErrTorrentMd5))
        return false;

    BTTaskParam param;
    param.savePath = ToMultiByte(GetParentPath(targetPath_));
    if (!targetOverride_.empty() && IsAbsolutePath(targetOverride_)) {
        param.savePath = ToMultiByte(GetParentPath(targetOverride_));
        param.rootName = ToMultiByte(GetFileName(targetOverride_));
    }
    if (RefuseAnswer(!TakeTorrentBytes(std::string(reinterpret_cast<const char*>(torrentData_.data), size),
                                       ToWide(param.savePath.c_str()), ToWide(param.rootName.c_str())),
                     kErrTorrent))
        return false;
    param.resumeFile = ToMultiByte(RecordPath());
    param.sourceKind = 1;
    param.torrentData.assign(reinterpret_cast<const char*>(torrentData_.data), size);
    for (const std::wstring* url : {&info.DownloadUrl, &info.SpareUrl})
        if (!url->empty()) param.urlSeeds.push_back(ToMultiByte(*url));

    std::shared_ptr<IBTSession> session = Manager().GetSession();
    std::string error;
    BeginAdding();
    std::shared_ptr<IBTTask> torrent = session ? session->AddTask(&param, this, &error) : nullptr;
    HoldAdded(torrent);
    if (RefuseAnswer(!torrent, kErrSessionRefused)) return false;
    torrent->Resume();
    return true;
}

bool VLBTTask::TakeTorrentBytes(std::string bytes, const std::wstring& savePath, std::wstring name)
{
    std::string own;
    uint64_t length = 0;
    if (!ReadSingleFile(bytes, own, length)) return false;
    SetCheckedTorrent(std::move(bytes));
    if (name.empty()) name = MultiByteToWideCP(own.c_str(), -1, CP_UTF8, nullptr);
    // An older, longer package of the same name: the engine would keep its
    // file as it is, and the check at the end would refuse it for its tail.
    // Cut, it keeps the pieces it shares with the torrent. A file that cannot
    // be cut now (another program has it open) meets that check as before.
    CutToLength(CombinePath(savePath, name), length);
    return true;
}

std::wstring VLBTTask::TorrentFilePath(const std::shared_ptr<IBTTask>& torrent)
{
    std::string name;
    torrent->GetTorrentInfo()->GetFilePath(name, 0);
    return CombinePath(ToWide(torrent->GetRecord()->savePath.c_str()), ToWide(name.c_str()));
}

void VLBTTask::Fail(uint32_t code, int32_t newState)
{
    if (std::shared_ptr<IBTTask> torrent = TakeTorrent()) Drop(torrent, code, newState);
}

void VLBTTask::Drop(const std::shared_ptr<IBTTask>& torrent, uint32_t code, int32_t newState, bool forget)
{
    OnRemovingTorrent();
    torrent->SetCallback(nullptr);
    if (std::shared_ptr<IBTSession> session = Manager().GetSession())
        session->RemoveTask(torrent.get(),
                            forget || IsCleanupPending() ? BTRemoveMode::ForgetAll : BTRemoveMode::KeepFiles);
    // The engine takes the torrent out before any add asked for later.
    LetGo();
    SetState(newState);
    ReportFinish(code);
    SetEvent(doneEvent_.Get());
}

void VLBTTask::OnEvent(BTEvent event)
{
    CallbackScope scope(*this);
    if (!scope) return;
    {
        // A report on a torrent the worker is adding waits until the task
        // holds it: the rest of the session's add, which waits only for the
        // engine's own thread.
        std::unique_lock<std::mutex> guard(lock_);
        torrentHeld_.wait(guard, [this] { return !adding_; });
    }
    if (event == BTEvent::Paused) return OnPaused();
    if (IsAborted()) return Fail(kErrAborted, kTaskStopped);
    switch (event) {
    case BTEvent::Complete: return Complete();
    case BTEvent::DiskFull: return Fail(kErrDiskFull, kTaskFailed);
    case BTEvent::AccessDenied: return Fail(kErrAccessDenied, kTaskFailed);
    default: return Fail(kErrTorrent, kTaskFailed);
    }
}

void VLBTTask::OnPaused()
{
    std::shared_ptr<IBTTask> torrent;
    bool stopping;
    uint32_t resumes;
    {
        std::lock_guard<std::mutex> guard(lock_);
        torrent = torrent_;
        stopping = IsAborted();
        resumes = resumes_;
    }
    if (!torrent) return;
    // Without a stop, a Start has resumed the torrent since the stop this
    // pause ends (it resumes before it withdraws the stop), or the engine
    // paused it by itself: for a disk or hash error, which it reports next
    // and which ends the download as such, or for its own reasons. Nobody
    // stopped the download: it goes on.
    if (!stopping) return torrent->Resume();
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (torrent_ != torrent || resumes_ != resumes) return;
        torrent_.reset();
        ++leaving_;
    }
    Drop(torrent, kErrAborted, kTaskStopped);
}

BTCheckVerdict JudgeCheck(const VLPieceCheck& check, uint32_t refetches, uint32_t fileWaits)
{
    if (check.Passed()) return BTCheckVerdict::HandOver;
    // A byte-range lock of another program refuses the read the way an open
    // for writing refuses the open: the file is in use, not wrong.
    if (check.error == ERROR_SHARING_VIOLATION || check.error == ERROR_LOCK_VIOLATION)
        return fileWaits < kMaxFileWaits ? BTCheckVerdict::AwaitFile : BTCheckVerdict::FailInUse;
    if (check.error == ERROR_SUCCESS && !check.badPieces.empty() && refetches < kMaxRefetches)
        return BTCheckVerdict::Refetch;
    return BTCheckVerdict::Fail;
}

void VLBTTask::Complete()
{
    // Taken at once, so that a Stop racing with the completion finds no
    // torrent to fail; a restart's run begins once the seed list has it.
    std::shared_ptr<IBTTask> torrent = TakeTorrent();
    if (!torrent) return;
    torrent->SetCallback(nullptr);
    BTTaskStatus status;
    torrent->GetStatus(&status);
    const std::wstring file = TorrentFilePath(torrent);
    // Holes in the file: the engine checks its data again, once. Its hashes
    // decide after that.
    if (!rechecked_ && FileExists(file) && hasGaps_(file)) {
        rechecked_ = true;
        return Refetch(torrent);
    }
    // The check reads the whole file: a thread of its own does it, so that
    // the session's thread goes on reporting the other torrents meanwhile.
    // It counts as a callback under way until it has handed the torrent on,
    // so the task outlives it; a restart waits for the torrent as for any
    // other leaving the task.
    auto scope = std::make_shared<CallbackScope>(*this);
    auto check = [this, scope, torrent, file, status] { CheckFinishedFile(torrent, file, status); };
    if (*scope) {
        try {
            std::thread(check).detach();
            return;
        } catch (const std::system_error&) {
            // No thread to spare: the session's thread checks.
        }
    }
    check();
}

void VLBTTask::CheckFinishedFile(const std::shared_ptr<IBTTask>& torrent, const std::wstring& file,
                                 const BTTaskStatus& status)
{
    OnCheckingFile();
    // What is installed is what the torrent's hashes say, read through the
    // handle that then holds the file.
    VLPieceCheck check = CheckFinished(file);
    switch (JudgeCheck(check, refetches_, fileWaits_)) {
    case BTCheckVerdict::HandOver: break;
    case BTCheckVerdict::Refetch: ++refetches_; return Refetch(torrent);
    case BTCheckVerdict::AwaitFile:
        // Another program writes the file: nothing is known of its pieces
        // yet. The completion comes again after a while.
        if (fileWaits_++ == 0) SendValueMessage(kMsgNotice, id, &listener, kErrFileInUse);
        Hold(torrent);
        torrent->RepeatCompletion(kFileWaitMs);
        return;
    case BTCheckVerdict::FailInUse:
        // The data may well be sound: the record, the torrent copy and the
        // data stay for the next run.
        return Drop(torrent, kErrFileInUse, kTaskFailed);
    case BTCheckVerdict::Fail: return Drop(torrent, kErrCheckFailed, kTaskFailed, true);
    }
    VLHandle checked = std::move(check.file);
    {
        std::lock_guard<std::mutex> guard(lock_);
        checkedFile_ = std::move(checked);
        finishedPath_ = file;
        lastAverageSpeed_ = AverageSpeedOf(status);
        lastRatio_ = RatioOf(status);
    }
    SendTextMessage(kMsgFinalPath, id, &listener, file.c_str(), status.totalPayloadDownload == 0 ? 1 : 0);
    SetState(kTaskFinished);
    ReportFinish(kDownloadOk);
    // Whoever wanted the checked file took it with the report.
    TakeCheckedFile();
    SetEvent(doneEvent_.Get());
    Manager().AddSeed(torrent, id);
    LetGo();
}

VLPieceCheck VLBTTask::CheckFinished(const std::wstring& file)
{
    std::shared_ptr<const std::string> pieces;
    {
        std::lock_guard<std::mutex> guard(lock_);
        pieces = checkedTorrent_;
    }
    VLPieceCheck check;
    if (pieces) check = CheckPieces(file, reinterpret_cast<const unsigned char*>(pieces->data()), pieces->size());
    else check.error = ERROR_INVALID_DATA;
    return check;
}

void VLBTTask::Hold(const std::shared_ptr<IBTTask>& torrent)
{
    SetTorrent(torrent);
    LetGo();
    torrent->SetCallback(this);
}

void VLBTTask::Refetch(const std::shared_ptr<IBTTask>& torrent)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        mostDone_ = -1;
        mostDoneTick_ = GetTickCount64();
    }
    refetched_ = true;
    if (std::shared_ptr<IBTSession> session = Manager().GetSession())
        session->RemoveTask(torrent.get(), BTRemoveMode::KeepFiles);
    // Until the torrent is back, a restart waits for it as for any other
    // leaving the task. ResumeIfRecorded ends the run itself when it cannot
    // add the torrent, or when a stop came meanwhile.
    const bool back = !IsAborted() && ResumeIfRecorded();
    LetGo();
    if (back) return;
    SetState(kTaskFailed);
    ReportFinish(kErrCheckFailed);
    SetEvent(doneEvent_.Get());
}

void VLBTTask::MapState(int, int torrentState)
{
    CallbackScope scope(*this);
    if (scope) ReportPhase(PhaseOfTorrentState(torrentState));
}

void VLBTTask::OnProgress()
{
    CallbackScope scope(*this);
    if (!scope) return;
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return;
    BTTaskStatus status;
    torrent->GetStatus(&status);
    int64_t wanted = totalWanted_;
    int64_t done = totalDone_;
    switch (static_cast<BTTorrentState>(status.state)) {
    case BTTorrentState::CheckingFiles:
        wanted = status.totalWanted;
        done = static_cast<int64_t>(double(wanted) * status.progress);
        break;
    case BTTorrentState::DownloadingMetadata:
    case BTTorrentState::Downloading:
    case BTTorrentState::Finished:
    case BTTorrentState::Seeding:
        done = status.totalWantedDone;
        wanted = status.totalWanted;
        break;
    default:
        wanted = status.totalWanted;
        break;
    }
    totalWanted_ = wanted;
    totalDone_ = done;
    if (refetched_ && StalledSinceRefetch(done)) return Fail(kErrCheckFailed, kTaskFailed);
    if (uint64_t(wanted) > kLargestFatFile && !CheckDrive(torrent, wanted)) return;
    SendSizeMessage(kMsgTotalSize, id, &listener, uint64_t(wanted));
    SendSizeMessage(kMsgDownloaded, id, &listener, uint64_t(done));
    const uint32_t speed = static_cast<uint32_t>(status.downloadRate);
    SendValueMessage(kMsgSpeed, id, &listener, GetTickCount(), speed);
    SendValueMessage(kMsgTimeLeft, id, &listener,
                     EstimateSecondsLeft(uint64_t(wanted), uint64_t(done), AverageSpeedOf(status), speed));
}

bool VLBTTask::StalledSinceRefetch(int64_t done)
{
    const uint64_t now = GetTickCount64();
    std::lock_guard<std::mutex> guard(lock_);
    if (done > mostDone_) {
        mostDone_ = done;
        mostDoneTick_ = now;
    }
    return now - mostDoneTick_ > refetchStallMs_;
}

bool VLBTTask::CheckDrive(const std::shared_ptr<IBTTask>& torrent, int64_t wanted)
{
    if (driveChecked_.exchange(true)) return true;
    const std::wstring savePath = ToWide(torrent->GetRecord()->savePath.c_str());
    if (savePath.empty()) return true;
    std::wstring root;
    Format(root, L"%c:\\", savePath[0]);
    DriveInfo drive;
    if (!GetDriveInfo(root, drive) || !DriveRefusesSize(drive, uint64_t(wanted))) return true;
    Fail(kErrFatTooLarge, kTaskFailed);
    const std::wstring record = RecordPath();
    DeletePlainFile(record);
    SetRecordPath(std::wstring());
    return false;
}

bool VLBTTask::SavesIntoFolder(const BTTaskRecord& record)
{
    // Records lie in a folder every user can write: one is only used, and
    // what it names only deleted, for a download into this task's folder.
    return IsSameFolder(ToWide(record.savePath.c_str()), GetFolder());
}

void VLBTTask::DeleteOwnRecordFiles(BTRemoveMode mode)
{
    const std::wstring path = RecordPath();
    BTTaskRecord record;
    if (path.empty() || !LoadTaskRecord(ToMultiByte(path), &record) || !SavesIntoFolder(record)) return;
    DeleteTaskFiles(ToMultiByte(path), mode);
}

} // namespace Velora
