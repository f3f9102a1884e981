#include "download/HttpTask.h"

#include "base/FileUtil.h"
#include "base/Md5.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"

#include <windows.h>

#include <cwctype>
#include <utility>

namespace Velora {

namespace {

constexpr uint32_t kRetryDelayMs = 5000;
constexpr DWORD kDelayRoundMs = 333;

bool IsRetryable(uint32_t result)
{
    return result >= kErrNoAddress && result <= kErrRetryable;
}

std::wstring StoredText(const wchar_t* field, size_t chars)
{
    std::wstring text;
    ReadText(field, chars, text);
    return text;
}

// The state file at path, only when it describes itself: its recorded paths
// then all lie beside path.
bool LoadOwnState(const std::wstring& path, VLRangeDownloader& scratch)
{
    return !path.empty() && scratch.LoadState(path) &&
           CompareNoCase(StoredText(scratch.stored.statePath, 260), path) == 0;
}

// Exactly 32 hexadecimal digits once surrounding blanks are gone.
bool NormalizeMd5(std::wstring text, std::wstring& out)
{
    TrimLeft(text, L" \t\r\n");
    TrimRight(text, L" \t\r\n");
    if (text.size() != 32) return false;
    for (wchar_t c : text) {
        if (!std::iswxdigit(c)) return false;
    }
    out = text;
    return true;
}

} // namespace

VLHttpTask::VLHttpTask(uint32_t taskId, const std::wstring& folder) : VLDownloadTask(DownloadTaskKind::Http, taskId)
{
    SetFolder(folder);
}

VLHttpTask::~VLHttpTask()
{
    // Breaking off the transfer bounds the joins: the workers notice the
    // cancel within one poll or one broken connection.
    Cancel();
    JoinRuns();
    if (TakeCleanupPending()) Cleanup();
}

bool VLHttpTask::Start()
{
    // A run still under way (a restart from inside one of its messages, or a
    // Start after a Stop) ends before the new one begins.
    if (!StartRun(StopCount())) {
        OnFinish(kErrThreadNotStarted);
        return false;
    }
    SetState(kTaskRunning);
    return true;
}

bool VLHttpTask::Stop()
{
    if (GetState() == kTaskQueued) {
        OnFinish(kErrStopped);
    } else if (IsWorking()) {
        Cancel();
    } else if (TakeCleanupPending()) {
        Cleanup();
    }
    return true;
}

double VLHttpTask::GetAverageSpeed()
{
    return downloader_.GetAverageSpeed();
}

void VLHttpTask::Work(uint32_t stopsBeforeStart)
{
    KeepStopsSince(stopsBeforeStart);
    uint32_t result = Run();
    if (result == kDownloadOk && !CheckFile(targetPath_)) {
        DeletePlainFile(targetPath_);
        result = kErrCheckFailed;
    }
    OnFinish(result);
}

uint32_t VLHttpTask::Run()
{
    const uint32_t rounds = GetRetryCount() * kRetryDelayMs / kDelayRoundMs;
    for (uint32_t round = 0; round < rounds; ++round) {
        if (IsAborted()) return kErrStopped;
        Sleep(kDelayRoundMs);
    }
    ReportPhase(0);

    const bool queried = !SkipsQuery() && QueryAddress(AbortFlag());
    if (IsAborted()) return kErrStopped;
    if (!queried) {
        DownloadFileInfo answer;
        if (!AskAddressProvider(this, answer)) return kErrNoAddress;
        info = answer;
    }
    if (info.InvalidVersion) return kErrInvalidVersion;
    if (info.DownloadType != int32_t(type)) {
        // The replacing task's owner removes this task's files later and
        // needs the data file's name for that.
        VLRangeDownloader scratch;
        if (queried && LoadOwnState(statePath_, scratch) && dataPath_.empty() && scratch.stored.downloaded > 0) {
            dataPath_ = StoredText(scratch.stored.dataPath, 260);
        }
        SendValueMessage(kMsgSwitchKind, id, &listener, uint32_t(info.DownloadType), 0);
        return kErrKindSwitch;
    }
    // The name comes over the network and the target is written by an
    // elevated process: it must name a file inside the task's folder.
    if (!IsBareFileName(info.FileName)) return kErrNoAddress;
    const std::wstring target = CombinePath(GetFolder(), info.FileName);
    if (CanResume(statePath_, target)) return downloader_.Resume(this, statePath_, info);
    if (CheckFile(target)) {
        targetPath_ = target;
        SendTextMessage(kMsgFinalPath, id, &listener, target.c_str(), 1);
        return kDownloadOk;
    }
    const std::wstring targetState = target + L".vll";
    if (CanResume(targetState, target)) return downloader_.Resume(this, targetState, info);
    return downloader_.StartNew(this, info, target);
}

bool VLHttpTask::CanResume(const std::wstring& path, const std::wstring& expectedTarget)
{
    if (path.empty() || !FileExists(path) || !downloader_.LoadState(path)) return false;
    const VLStoredBlock& block = downloader_.stored;
    // A state file is only trusted for the download this task is about to
    // make: its own target in the task's folder, the files beside it.
    if (CompareNoCase(StoredText(block.targetPath, 260), expectedTarget) != 0 ||
        CompareNoCase(StoredText(block.statePath, 260), path) != 0) {
        return false;
    }
    if (info.FileSize.empty() || StringToUInt64(info.FileSize.c_str()) != block.totalSize) return false;
    if (info.Md5.size() != 32 || CompareNoCase(std::wstring(block.md5, 32), info.Md5) != 0) return false;
    return FileExists(StoredText(block.dataPath, 260));
}

bool VLHttpTask::CheckFile(const std::wstring& path)
{
    {
        std::lock_guard<std::mutex> guard(counterLock_);
        checkedFile_.Reset();
    }
    if (path.empty() || !FileExists(path)) return false;
    // Checked through the handle that then holds the file: without write or
    // delete sharing nobody can change it before its user has taken it.
    VLPlainFile file;
    uint64_t size = 0;
    uint8_t digest[16];
    std::wstring expectedMd5;
    // The whole digest must match: a short or malformed Md5 in the answer
    // proves nothing about the file.
    const bool passed = file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) && file.file.GetSize(size) &&
                        size != 0 && !info.FileSize.empty() && StringToUInt64(info.FileSize.c_str()) == size &&
                        NormalizeMd5(info.Md5, expectedMd5) && Md5File(file.file, digest) &&
                        CompareNoCase(Md5ToHex(digest), expectedMd5) == 0;
    if (!passed) {
        file.file.Close();
        // A link is left as it is.
        DeletePlainFile(path);
        return false;
    }
    std::lock_guard<std::mutex> guard(counterLock_);
    checkedFile_ = std::move(file.file.handle);
    return true;
}

VLHandle VLHttpTask::TakeCheckedFile()
{
    std::lock_guard<std::mutex> guard(counterLock_);
    return std::move(checkedFile_);
}

void VLHttpTask::OnTotalSize(uint64_t total)
{
    {
        std::lock_guard<std::mutex> guard(counterLock_);
        totalSize_ = total;
    }
    SendSizeMessage(kMsgTotalSize, id, &listener, total);
}

void VLHttpTask::OnReceived(uint64_t bytes, bool accumulate)
{
    // Figured under the lock, sent without it: the range threads report at once.
    bool windowEnded = false;
    uint64_t total, done;
    uint32_t rate;
    {
        std::lock_guard<std::mutex> guard(counterLock_);
        if (!accumulate) {
            downloaded_ = bytes;
            windowTick_ = 0;
        } else {
            downloaded_ += bytes;
            const uint32_t now = GetTickCount();
            if (windowTick_ == 0) {
                windowTick_ = now;
                windowBytes_ = downloaded_;
            } else if (now - windowTick_ >= 1000) {
                speed_ = uint32_t((downloaded_ - windowBytes_) * 1000 / (now - windowTick_));
                windowTick_ = now;
                windowBytes_ = downloaded_;
                windowEnded = true;
            }
        }
        total = totalSize_;
        done = downloaded_;
        rate = speed_;
    }
    if (windowEnded) {
        SendValueMessage(kMsgSpeed, id, &listener, 0, rate);
        const uint64_t blended = uint64_t((double(rate) * 6 + GetAverageSpeed() * 4) / 10);
        const uint64_t left = total > done ? total - done : 0;
        SendValueMessage(kMsgTimeLeft, id, &listener, blended ? uint32_t(left / blended) : kTimeLeftUnknown);
    }
    SendSizeMessage(kMsgDownloaded, id, &listener, done);
}

void VLHttpTask::OnFinish(uint32_t result)
{
    if (result == kDownloadOk) {
        SetState(kTaskFinished);
    } else if (result == kErrStopped || IsAborted()) {
        result = kErrStopped;
        SetState(kTaskStopped);
    } else {
        if (IsRetryable(result)) CountRetry();
        SetState(kTaskFailed);
    }
    SendValueMessage(kMsgFinished, id, &listener, result);
    // Whoever wanted the checked file took it with the report.
    TakeCheckedFile();
    if (TakeCleanupPending()) Cleanup();
}

void VLHttpTask::SetStatePath(const std::wstring& text)
{
    statePath_ = text;
    SendTextMessage(kMsgStatePath, id, &listener, text.c_str());
}

void VLHttpTask::SetDataPath(const std::wstring& text)
{
    dataPath_ = text;
    SendTextMessage(kMsgDataPath, id, &listener, text.c_str());
}

void VLHttpTask::SetTargetPath(const std::wstring& text)
{
    targetPath_ = text;
    SendTextMessage(kMsgFinalPath, id, &listener, text.c_str(), 0);
}

void VLHttpTask::ReportPhase(uint32_t value)
{
    phase_ = value;
    SendValueMessage(kMsgPhase, id, &listener, value);
}

int VLHttpTask::GetSpeedLimit(uint32_t& kilobytesPerSecond)
{
    const uint32_t limit = GetSpeedLimitKB();
    if (limit == 0) return 1;
    kilobytesPerSecond = limit;
    return 0;
}

void VLHttpTask::Cleanup()
{
    if (statePath_.empty()) return;
    std::wstring data = dataPath_;
    VLRangeDownloader scratch;
    if (data.empty() && LoadOwnState(statePath_, scratch)) data = StoredText(scratch.stored.dataPath, 260);
    if (!data.empty()) DeletePlainFile(data);
    DeletePlainFile(statePath_);
    // Only empty folders go: a folder with anything else in it stays.
    if (!data.empty()) DeletePlainFile(GetParentPath(data));
    DeletePlainFile(GetFolder());
}

} // namespace Velora
