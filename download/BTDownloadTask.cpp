#include "download/BTDownloadTask.h"

#include "download/BTManager.h"
#include "download/BTTaskRecord.h"
#include "download/HttpRequest.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/Md5.h"
#include "base/PathUtil.h"
#include "base/Singleton.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <windows.h>

#include <utility>

namespace Velora {

namespace {

constexpr int kRetryRounds = 10;
constexpr DWORD kRetryRoundMs = 200;
// How long the destructor lets the session report a pause before it takes
// the torrent out itself.
constexpr DWORD kDoneWaitMs = 5000;
constexpr uint64_t kLargestFatFile = 0xFFFFFFFF;

VLBTManager& Manager()
{
    return VLSingleton<VLBTManager>::GetInstance();
}

bool IsCounted(uint32_t code)
{
    return code == kErrNoAddress || (code >= kErrIncompleteAnswer && code <= kErrTorrent);
}

std::wstring WithoutTrailingSeparators(std::wstring path)
{
    NormalizePath(path, kPathNoTrailingSeparator);
    return path;
}

bool SparseWithGaps(const std::wstring& path)
{
    VLFile file;
    return file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) &&
           IsSparseFile(file.handle.Get()) && HasAllocationGaps(file.handle.Get());
}

void JoinAndFree(VLThread* worker)
{
    if (!worker) return;
    if (worker->data->threadId != GetCurrentThreadId()) worker->Wait();
    DeleteThread(worker);
}

} // namespace

uint32_t PhaseOfTorrentState(int torrentState)
{
    switch (torrentState) {
    case 0: return 3;
    case 1: return 4;
    case 2:
    case 3: return 8;
    case 4: return 6;
    case 5: return 7;
    case 6: return 2;
    default: return 5;
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

VLBTTask::VLBTTask(uint32_t taskId_, const std::wstring& workFolder, const std::wstring& record,
                   const std::wstring& target)
    : VLDownloadTask(2, taskId_), hasGaps(&SparseWithGaps), taskId(taskId_), recordPath(record),
      targetOverride(target), doneEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    SetFolder(workFolder);
}

VLBTTask::~VLBTTask()
{
    Stop();
    VLThread* worker;
    VLThread* previousWorker;
    {
        std::lock_guard<std::mutex> guard(lock_);
        worker = std::exchange(worker_, nullptr);
        previousWorker = std::exchange(previousWorker_, nullptr);
    }
    JoinAndFree(worker);
    JoinAndFree(previousWorker);
    // The pause Stop asked for ends the download through the session's
    // thread; when that report does not come, the torrent is taken out here.
    if (CurrentTorrent() && WaitForSingleObject(doneEvent_.Get(), kDoneWaitMs) != WAIT_OBJECT_0)
        Fail(kErrAborted, kTaskStopped);
    // A report the session's thread has begun reaches into this task until
    // it sets the event, however long the wait above was.
    if (Ending()) WaitForSingleObject(doneEvent_.Get(), INFINITE);
    if (cleanupPending) {
        DeleteOwnRecordFiles(3);
        const std::wstring folder = GetFolder();
        if (DirectoryExists(folder)) RemoveDirectoryW(folder.c_str());
    }
}

void VLBTTask::SetTorrent(std::shared_ptr<IBTTask> handle)
{
    std::lock_guard<std::mutex> guard(lock_);
    torrent_ = std::move(handle);
    ending_ = false;
}

std::shared_ptr<IBTTask> VLBTTask::CurrentTorrent()
{
    std::lock_guard<std::mutex> guard(lock_);
    return torrent_;
}

std::shared_ptr<IBTTask> VLBTTask::TakeTorrent()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (torrent_) ending_ = true;
    return std::move(torrent_);
}

bool VLBTTask::Ending()
{
    std::lock_guard<std::mutex> guard(lock_);
    return ending_;
}

bool VLBTTask::Start()
{
    abort = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = false;
    }
    ResetEvent(doneEvent_.Get());
    driveChecked_ = false;
    rechecked_ = false;
    SetState(kTaskRunning);
    phase = 0;
    SendValueMessage(kMsgPhase, id, listener, 0);
    if (std::shared_ptr<IBTTask> torrent = CurrentTorrent()) {
        torrent->Resume();
        return true;
    }
    // A worker still running (a restart asked from inside its own message)
    // is waited for by the new one, so two never run this task at once.
    VLThread* stale = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (worker_ && worker_->data->running) {
            stale = std::exchange(previousWorker_, worker_);
        } else {
            stale = worker_;
        }
        worker_ = nullptr;
    }
    JoinAndFree(stale);
    VLThread* worker = new VLThread(&VLBTTask::ThreadProc, this);
    {
        std::lock_guard<std::mutex> guard(lock_);
        worker_ = worker;
    }
    if (worker->Start()) return true;
    {
        std::lock_guard<std::mutex> guard(lock_);
        worker_ = nullptr;
    }
    DeleteThread(worker);
    SetState(kTaskFailed);
    ReportFinish(kErrThreadNotStarted);
    return false;
}

bool VLBTTask::Stop()
{
    if (state == kTaskQueued) {
        SetState(kTaskStopped);
        return true;
    }
    // A download that has ended stays as it ended.
    if (state == kTaskFinished) return true;
    abort = true;
    bool working = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        working = worker_ && worker_->data->running;
    }
    if (std::shared_ptr<IBTTask> torrent = CurrentTorrent()) {
        // A running download ends when the session reports the pause.
        torrent->Pause();
        if (state != kTaskRunning) Fail(kErrAborted, kTaskStopped);
    } else if (!working && state != kTaskStopped && state != kTaskFailed) {
        EndAborted();
    }
    return true;
}

double VLBTTask::GetAverageSpeed()
{
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return lastAverageSpeed;
    BTTaskStatus status;
    return AverageSpeedOf(*torrent->GetStatus(&status));
}

double VLBTTask::GetRatio()
{
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return lastRatio;
    BTTaskStatus status;
    return RatioOf(*torrent->GetStatus(&status));
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

void VLBTTask::ThreadProc(void* argument)
{
    VLBTTask& task = *static_cast<VLBTTask*>(argument);
    if (task.previous) {
        task.previous->Destroy();
        task.previous = nullptr;
    }
    VLThread* previousWorker;
    {
        std::lock_guard<std::mutex> guard(task.lock_);
        previousWorker = std::exchange(task.previousWorker_, nullptr);
    }
    JoinAndFree(previousWorker);
    task.Run();
}

void VLBTTask::ReportFinish(uint32_t code)
{
    if (IsCounted(code)) ++retryCount;
    if (abort) {
        SetState(kTaskStopped);
        code = kErrAborted;
    }
    SendValueMessage(kMsgFinished, id, listener, code);
}

void VLBTTask::EndAborted()
{
    SetState(kTaskStopped);
    ReportFinish(kErrAborted);
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
    if (RefuseAnswer(!Manager().GetSession(), kErrNoSession)) return;
    if (abort) return EndAborted();
    if (retryCount > 0) {
        for (int round = 0; round < kRetryRounds; ++round) {
            if (abort) return EndAborted();
            Sleep(kRetryRoundMs);
        }
    }
    phase = 1;
    SendValueMessage(kMsgPhase, id, listener, 1);

    const bool queried = QueryAddress();
    if (!queried) {
        SendValueMessage(kMsgNotice, id, listener, kErrNoAddress);
        DownloadFileInfo answer;
        if (RefuseAnswer(!AskAddressProvider(this, answer), kErrNoAddress)) return;
        if (RefuseAnswer(skipQuery && answer.DownloadType != 2, kErrNoAddress)) return;
        info = answer;
    }
    if (RefuseAnswer(info.InvalidVersion, kErrInvalidVersion)) return;
    if (info.DownloadType != 2) {
        SendValueMessage(kMsgSwitchKind, id, listener, uint32_t(info.DownloadType), 0);
        return;
    }
    if (RefuseAnswer(info.Md5.empty() || info.TorrentUrl.empty() || (info.DownloadUrl.empty() && info.SpareUrl.empty()),
                     kErrIncompleteAnswer))
        return;
    // The name comes over plain HTTP and names what an elevated process
    // writes and deletes: a bare name inside the folder, or nothing.
    if (RefuseAnswer(!IsBareFileName(info.FileName), kErrNoAddress)) return;
    if (abort) return EndAborted();

    VLBTManager& manager = Manager();
    if (manager.IsSeeding(id)) manager.RemoveSeedById(id);
    SetState(kTaskRunning);
    if (ResumeIfRecorded()) return;
    targetPath = CombinePath(GetFolder(), info.FileName);
    recordPath = targetPath + L".vll";
    SendTextMessage(kMsgStatePath, id, listener, recordPath.c_str());
    if (ResumeIfRecorded()) return;
    if (abort) return EndAborted();

    uint32_t fetched = 0;
    if (!HttpGetToBuffer(info.TorrentUrl, torrentData, fetched)) {
        SendValueMessage(kMsgNotice, id, listener, kErrTorrentFetch);
        const bool ownTarget = !targetOverride.empty() && FileExists(targetOverride);
        if (!ownTarget && !(!queried && retryCount > 2)) {
            DownloadFileInfo fresh;
            if (AskAddressProvider(this, fresh)) SendValueMessage(kMsgSwitchKind, id, listener, 1, 1);
        }
        RefuseAnswer(true, kErrTorrentFetch);
        return;
    }
    torrentData.size = fetched < torrentData.capacity ? fetched : torrentData.capacity;
    if (!AddToSession()) return;
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (torrent) {
        const std::wstring file = TorrentFilePath(torrent);
        SendTextMessage(kMsgDataPath, id, listener, file.c_str());
    }
    if (abort) Fail(kErrAborted, kTaskStopped);
}

bool VLBTTask::ResumeIfRecorded()
{
    if (!RecordMatches(recordPath)) return false;
    if (ResumeFromRecord() && abort) Fail(kErrAborted, kTaskStopped);
    return true;
}

bool VLBTTask::RecordMatches(const std::wstring& path)
{
    if (!Manager().GetSession() || path.empty() || !FileExists(path)) return false;
    BTTaskRecord record;
    if (!LoadTaskRecord(ToMultiByteString(path), &record)) return false;
    if (!SavesIntoFolder(record)) return false;
    const std::wstring digest = Md5FileHex(ToWide(record.torrentFile.c_str()));
    if (digest.empty()) return false;
    if (CompareNoCase(digest, info.Md5) == 0) return true;
    DeleteTaskFiles(ToMultiByteString(path), 3);
    return false;
}

bool VLBTTask::ResumeFromRecord()
{
    std::shared_ptr<IBTSession> session = Manager().GetSession();
    std::shared_ptr<IBTTask> torrent =
        session ? session->AddTaskFromRecord(ToMultiByteString(recordPath), false, this, nullptr) : nullptr;
    if (RefuseAnswer(!torrent, kErrSessionRefused)) return false;
    SetTorrent(torrent);
    torrent->Resume();
    return true;
}

bool VLBTTask::AddToSession()
{
    const uint32_t size = torrentData.size;
    if (RefuseAnswer(size == 0 || ParseFileSize(info.FileSize) != int64_t(size), kErrTorrentSize)) return false;
    if (RefuseAnswer(CompareNoCase(Md5BufferHex(torrentData.data, int32_t(size)), info.Md5) != 0, kErrTorrentMd5))
        return false;

    BTTaskParam param;
    param.savePath = ToMultiByteString(GetParentPath(targetPath));
    if (!targetOverride.empty() && IsAbsolutePath(targetOverride)) {
        param.savePath = ToMultiByteString(GetParentPath(targetOverride));
        param.rootName = ToMultiByteString(GetFileName(targetOverride));
    }
    param.resumeFile = ToMultiByteString(recordPath);
    param.sourceKind = 1;
    param.torrentData.assign(reinterpret_cast<const char*>(torrentData.data), size);
    for (const std::wstring* url : {&info.DownloadUrl, &info.SpareUrl})
        if (!url->empty()) param.urlSeeds.push_back(ToMultiByteString(*url));

    std::shared_ptr<IBTSession> session = Manager().GetSession();
    std::string error;
    std::shared_ptr<IBTTask> torrent = session ? session->AddTask(&param, this, &error) : nullptr;
    if (RefuseAnswer(!torrent, kErrSessionRefused)) return false;
    SetTorrent(torrent);
    torrent->Resume();
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
    std::shared_ptr<IBTTask> torrent = TakeTorrent();
    if (!torrent) return;
    torrent->SetCallback(nullptr);
    if (std::shared_ptr<IBTSession> session = Manager().GetSession())
        session->RemoveTask(torrent.get(), cleanupPending ? 3 : 0);
    SetState(newState);
    ReportFinish(code);
    SetEvent(doneEvent_.Get());
}

void VLBTTask::OnEvent(int event)
{
    if (abort) return Fail(kErrAborted, kTaskStopped);
    switch (event) {
    case -1: return Fail(kErrAborted, kTaskStopped);
    case 0: return Complete();
    case 3: return Fail(kErrDiskFull, kTaskFailed);
    case 4: return Fail(kErrAccessDenied, kTaskFailed);
    default: return Fail(kErrTorrent, kTaskFailed);
    }
}

void VLBTTask::Complete()
{
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return;
    const std::wstring file = TorrentFilePath(torrent);
    // Holes in the file: the engine checks its data again, once. Its hashes
    // decide after that.
    if (!rechecked_ && FileExists(file) && hasGaps(file)) {
        rechecked_ = true;
        torrent->ForceRecheck();
        return;
    }
    // Taken before the report, so that a Stop racing with the completion
    // finds no torrent to fail.
    if (!TakeTorrent()) return;
    torrent->SetCallback(nullptr);
    BTTaskStatus status;
    torrent->GetStatus(&status);
    const bool nothingDownloaded = status.totalPayloadDownload == 0;
    finishedPath = file;
    SendTextMessage(kMsgFinalPath, id, listener, file.c_str(), nothingDownloaded ? 1 : 0);
    lastAverageSpeed = AverageSpeedOf(status);
    lastRatio = RatioOf(status);
    SetState(kTaskFinished);
    ReportFinish(kDownloadOk);
    // The task may be gone once the event is set.
    const uint32_t seedId = id;
    SetEvent(doneEvent_.Get());
    Manager().AddSeed(torrent, seedId);
}

void VLBTTask::MapState(int, int torrentState)
{
    phase = PhaseOfTorrentState(torrentState);
    SendValueMessage(kMsgPhase, id, listener, phase);
}

void VLBTTask::OnProgress()
{
    std::shared_ptr<IBTTask> torrent = CurrentTorrent();
    if (!torrent) return;
    BTTaskStatus status;
    torrent->GetStatus(&status);
    int64_t wanted = totalWanted;
    int64_t done = totalDone;
    switch (status.state) {
    case 1:
        wanted = status.totalWanted;
        done = static_cast<int64_t>(double(wanted) * status.progress);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        done = status.totalWantedDone;
        wanted = status.totalWanted;
        break;
    default:
        wanted = status.totalWanted;
        break;
    }
    totalWanted = wanted;
    totalDone = done;
    if (uint64_t(wanted) > kLargestFatFile && !CheckDrive(torrent, wanted)) return;
    SendSizeMessage(kMsgTotalSize, id, listener, uint64_t(wanted));
    SendSizeMessage(kMsgDownloaded, id, listener, uint64_t(done));
    lastTick = GetTickCount();
    const uint32_t speed = static_cast<uint32_t>(status.downloadRate);
    SendValueMessage(kMsgSpeed, id, listener, lastTick, speed);
    SendValueMessage(kMsgTimeLeft, id, listener,
                     EstimateSecondsLeft(uint64_t(wanted), uint64_t(done), AverageSpeedOf(status), speed));
}

bool VLBTTask::CheckDrive(const std::shared_ptr<IBTTask>& torrent, int64_t wanted)
{
    if (driveChecked_) return true;
    driveChecked_ = true;
    const std::wstring savePath = ToWide(torrent->GetRecord()->savePath.c_str());
    if (savePath.empty()) return true;
    std::wstring root;
    Format(root, L"%c:\\", savePath[0]);
    DriveInfo drive;
    if (!GetDriveInfo(root, drive) || !DriveRefusesSize(drive, uint64_t(wanted))) return true;
    Fail(kErrFatTooLarge, kTaskFailed);
    if (PathExists(recordPath)) DeleteFileForce(recordPath);
    recordPath.clear();
    return false;
}

bool VLBTTask::SavesIntoFolder(const BTTaskRecord& record)
{
    // Records lie in a folder every user can write: one is only used, and
    // what it names only deleted, for a download into this task's folder.
    return CompareNoCase(WithoutTrailingSeparators(ToWide(record.savePath.c_str())),
                         WithoutTrailingSeparators(GetFolder())) == 0;
}

void VLBTTask::DeleteOwnRecordFiles(int32_t mode)
{
    BTTaskRecord record;
    if (recordPath.empty() || !LoadTaskRecord(ToMultiByteString(recordPath), &record) || !SavesIntoFolder(record))
        return;
    DeleteTaskFiles(ToMultiByteString(recordPath), mode);
}

} // namespace Velora
