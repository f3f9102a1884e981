#include "download/RangeDownloader.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"
#include "base/Thread.h"
#include "download/HttpWire.h"

#include <windows.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace Velora {

namespace {

constexpr uint32_t kRangeCount = 2;
constexpr DWORD kPollMs = 333;
constexpr uint64_t kSaveEvery = 1048576;
constexpr size_t kProbeHeadLimit = 4096;
constexpr size_t kRangeHeadLimit = 16384;
// Each receive and each write costs a trip through Wine's server, so a fast
// transfer takes large blocks; under a speed limit a block stays a small part
// of a second's allowance, since the limiter acts only between blocks.
constexpr size_t kReceiveBlock = 262144;
constexpr size_t kLimitedReceiveBlock = 4096;
constexpr uint64_t kBlocksPerAllowance = 16;
constexpr int kProbeAttempts = 4;
// Bounds of the re-probe after a broken range connection.
constexpr int kReprobeLimit = 8;
constexpr int kFailedReprobeLimit = 4;
// A range that keeps breaking without fetching a byte is given up.
constexpr uint32_t kIdleRestartLimit = 4;

// The system's code for a failed file step; never 0, which would mean success.
uint32_t LastErrorOr(uint32_t fallback)
{
    const DWORD error = GetLastError();
    return error ? error : fallback;
}

std::wstring Text(const wchar_t* field, size_t chars)
{
    std::wstring text;
    ReadText(field, chars, text);
    return text;
}

struct ProbeContext {
    std::wstring host;
    std::wstring path;
    uint16_t port;
    VLConnection connection;
    VLProbeResult result{kErrProbe, 0};
};

void ProbeWorker(void* argument)
{
    ProbeContext& probe = *static_cast<ProbeContext*>(argument);
    std::string head, body;
    VLResponseHead response;
    if (!probe.connection.Connect(probe.host, probe.port) ||
        !probe.connection.SendAll(BuildRequest(probe.host, probe.port, probe.path, nullptr)) ||
        !ReadResponseHead(probe.connection, kProbeHeadLimit, head, body) ||
        !ParseResponseHead(head, response)) {
        return;
    }
    // Only a successful answer tells the file's size: an error page has a
    // length too.
    if (response.status < 200 || response.status > 299 || !response.hasLength) return;
    probe.result = VLProbeResult{kDownloadOk, response.contentLength};
}

} // namespace

struct VLRangeDownloader::RangeContext {
    VLRangeDownloader* owner = nullptr;
    uint32_t index = 0;
    std::unique_ptr<VLConnection> connection;
    VLFile dataFile;
    VLFile stateFile;
    uint32_t restarts = 0;
    uint32_t idleRestarts = 0;
    uint64_t attemptStart = 0; // bytes of the range fetched when this attempt began
    uint32_t result = 1;
    VLThreadPtr thread;
    uint64_t windowBytes = 0;
    DWORD windowTick = 0;
};

VLRangeDownloader::VLRangeDownloader()
{
    Reset();
}

void VLRangeDownloader::Reset()
{
    loaded = false;
    std::memset(&stored, 0, sizeof(stored));
    stored.mainPort = 80;
    stored.sparePort = 80;
    stored.rangeCount = kRangeCount;
    std::lock_guard<std::mutex> guard(rangesLock_);
    ranges_.clear();
    lastTime_.clear();
    currentHost_.clear();
    currentPath_.clear();
    currentPort_ = 0xFFFF;
    usingMain_ = true;
    hasSpare_ = false;
}

uint32_t VLRangeDownloader::StartNew(VLHttpDownloadCallback* callback, const DownloadFileInfo& info,
                                     const std::wstring& targetPath)
{
    const int64_t expected = ParseFileSize(info.FileSize);
    callback_ = callback;
    callback->OnReceived(0, false);
    callback->OnTotalSize(0);

    Reset();
    std::wstring host, path;
    uint16_t port = 80;
    if (!SplitUrl(info.DownloadUrl, host, path, port)) return kErrBadUrl;
    StoreText(stored.mainHost, 1024, host);
    StoreText(stored.mainPath, 1024, path);
    stored.mainPort = port;
    if (!info.SpareUrl.empty()) {
        if (!SplitUrl(info.SpareUrl, host, path, port)) return kErrBadUrl;
        StoreText(stored.spareHost, 1024, host);
        StoreText(stored.sparePath, 1024, path);
        stored.sparePort = port;
        hasSpare_ = true;
    }
    if (!info.Md5.empty()) {
        std::memcpy(stored.md5, info.Md5.data(), (info.Md5.size() < 32 ? info.Md5.size() : 32) * 2);
    }
    const std::wstring dataPath = targetPath + L".vlt";
    const std::wstring statePath = targetPath + L".vll";
    if (!StoreText(stored.targetPath, 260, targetPath) || !StoreText(stored.dataPath, 260, dataPath) ||
        !StoreText(stored.statePath, 260, statePath)) {
        return kErrBadUrl;
    }
    callback->SetTargetPath(targetPath);
    callback->SetDataPath(dataPath);
    callback->SetStatePath(statePath);
    callback->ReportPhase(1);

    SelectMain();
    VLProbeResult probe = ProbeCurrentChoice();
    for (int probes = 1; probe.error == kErrProbe && probes < kProbeAttempts; ++probes) {
        if (!WaitBeforeRetry()) return kErrProbe;
        SwitchAddress();
        probe = ProbeCurrentChoice();
    }
    if (probe.error != kDownloadOk) return probe.error;
    if (expected != 0 && static_cast<uint64_t>(expected) != probe.size) return kErrCheckFailed;
    stored.totalSize = probe.size;
    MakeChoiceCurrent();
    callback->OnTotalSize(probe.size);

    // A folder that is a link, or lies behind one, is not used: the download
    // fails with that error.
    if (!CreatePlainFolder(GetParentPath(targetPath)) || !CreateSizedFile(dataPath, probe.size))
        return LastErrorOr(ERROR_WRITE_FAULT);
    {
        std::lock_guard<std::mutex> guard(rangesLock_);
        ranges_ = SplitRanges(probe.size, stored.rangeCount);
        stored.rangeCount = uint32_t(ranges_.size());
        lastTime_.assign(ranges_.size(), 0);
    }
    if (!WriteStateFile(statePath, stored, ranges_)) return LastErrorOr(ERROR_WRITE_FAULT);
    return RunRanges();
}

uint32_t VLRangeDownloader::Resume(VLHttpDownloadCallback* callback, const std::wstring& statePath,
                                   const DownloadFileInfo& info)
{
    callback_ = callback;
    callback->OnReceived(stored.downloaded, false);
    callback->OnTotalSize(stored.totalSize);
    if (!LoadState(statePath)) {
        DeletePlainFile(statePath);
        return kErrBadStateFile;
    }
    const std::wstring target = Text(stored.targetPath, 260);
    const std::wstring dataPath = Text(stored.dataPath, 260);
    if (!FileExists(dataPath) && !CreateSizedFile(dataPath, stored.totalSize)) {
        return LastErrorOr(ERROR_WRITE_FAULT);
    }
    hasSpare_ = stored.spareHost[0] != 0;
    SelectMain();
    callback->ReportPhase(1);

    for (int probes = 1;; ++probes) {
        const VLProbeResult probe = ProbeCurrentChoice();
        if (probe.error == kDownloadOk && probe.size == stored.totalSize) break;
        if (probe.error == kErrStopped) return kErrStopped;
        // The file changed on the server, or both addresses keep failing:
        // what was fetched so far is worthless, start over.
        if ((probe.error != kDownloadOk && probe.error != kErrProbe) || probes >= kProbeAttempts) {
            return StartNew(callback, info, target);
        }
        SwitchAddress();
    }
    MakeChoiceCurrent();
    callback->SetTargetPath(target);
    callback->SetDataPath(dataPath);
    callback->SetStatePath(Text(stored.statePath, 260));
    return RunRanges();
}

bool VLRangeDownloader::LoadState(const std::wstring& statePath)
{
    // Always read from the file: it is the truth about what was fetched, and a
    // block kept from another file must never stand in for this one.
    loaded = false;
    VLStoredBlock block;
    std::vector<VLRangeRecord> records;
    if (!ReadStateFile(statePath, block, records)) return false;
    stored = block;
    std::lock_guard<std::mutex> guard(rangesLock_);
    ranges_ = records;
    lastTime_.assign(records.size(), 0);
    loaded = true;
    return true;
}

double VLRangeDownloader::GetAverageSpeed()
{
    std::lock_guard<std::mutex> guard(rangesLock_);
    uint64_t bytes = 0;
    uint64_t seconds = 0;
    for (const VLRangeRecord& range : ranges_) {
        bytes += range.length - range.remaining;
        seconds += range.seconds;
    }
    return seconds ? double(bytes) / double(seconds) : 0.0;
}

VLProbeResult VLRangeDownloader::ProbeSize(const std::wstring& host, uint16_t port,
                                           const std::wstring& path)
{
    // The probe runs on its own thread so that a cancel is noticed while the
    // server keeps it waiting; breaking its connection ends it.
    ProbeContext probe;
    probe.host = host;
    probe.path = path;
    probe.port = port;
    VLThread thread(&ProbeWorker, &probe);
    if (!thread.Start()) return VLProbeResult{kErrProbe, 0};
    bool cancelled = false;
    while (WaitForSingleObject(thread.data->handle.Get(), kPollMs) == WAIT_TIMEOUT) {
        if (!cancelled && callback_->IsCancelled()) {
            cancelled = true;
            probe.connection.Abort();
        }
    }
    thread.Wait();
    return cancelled ? VLProbeResult{kErrStopped, 0} : probe.result;
}

VLProbeResult VLRangeDownloader::ProbeCurrentChoice()
{
    if (usingMain_) return ProbeSize(Text(stored.mainHost, 1024), stored.mainPort, Text(stored.mainPath, 1024));
    return ProbeSize(Text(stored.spareHost, 1024), stored.sparePort, Text(stored.sparePath, 1024));
}

void VLRangeDownloader::SelectMain()
{
    usingMain_ = true;
}

void VLRangeDownloader::SwitchAddress()
{
    usingMain_ = hasSpare_ ? !usingMain_ : true;
}

void VLRangeDownloader::MakeChoiceCurrent()
{
    // A re-probe switches the address while the other range still runs and
    // reads it when it reconnects.
    std::lock_guard<std::mutex> guard(rangesLock_);
    currentHost_ = Text(usingMain_ ? stored.mainHost : stored.spareHost, 1024);
    currentPath_ = Text(usingMain_ ? stored.mainPath : stored.sparePath, 1024);
    currentPort_ = usingMain_ ? stored.mainPort : stored.sparePort;
}

bool VLRangeDownloader::WaitBeforeRetry()
{
    for (int round = 0; round < 21; ++round) {
        if (callback_->IsCancelled()) return false;
        Sleep(100);
    }
    return true;
}

uint32_t VLRangeDownloader::RunRanges()
{
    if (callback_->IsCancelled()) return kErrStopped;
    stop_ = false;
    const uint32_t count = uint32_t(ranges_.size());
    std::vector<std::unique_ptr<RangeContext>> contexts;
    uint32_t result = kDownloadOk;
    for (uint32_t i = 0; i < count; ++i) {
        lastTime_[i] = _time64(nullptr);
        contexts.emplace_back(new RangeContext);
        RangeContext& context = *contexts.back();
        context.owner = this;
        context.index = i;
        if (ranges_[i].remaining == 0) {
            context.result = kDownloadOk;
            continue;
        }
        context.connection.reset(new VLConnection);
        context.thread = std::make_unique<VLThread>(&VLRangeDownloader::RangeWorker, &context);
        if (!context.thread->Start()) result = kErrThreadNotStarted;
    }

    while (result == kDownloadOk) {
        std::vector<HANDLE> handles;
        std::vector<RangeContext*> waiting;
        for (auto& context : contexts) {
            if (!context->thread) continue;
            handles.push_back(context->thread->data->handle.Get());
            waiting.push_back(context.get());
        }
        if (handles.empty()) break;
        const DWORD woke = WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE, kPollMs);
        if (woke == WAIT_TIMEOUT) {
            if (callback_->IsCancelled()) result = kErrStopped;
            continue;
        }
        if (woke >= WAIT_OBJECT_0 + handles.size()) {
            result = kErrThreadNotStarted;
            break;
        }
        RangeContext& ended = *waiting[woke - WAIT_OBJECT_0];
        JoinThread(std::move(ended.thread));
        if (ended.result == kDownloadOk) continue;
        if (ended.result != kErrRangeConnection) {
            result = ended.result;
            break;
        }
        result = Reprobe(ended);
        if (result != kDownloadOk) break;
        ended.dataFile.Close();
        ended.stateFile.Close();
        ended.connection.reset(new VLConnection);
        ++ended.restarts;
        ended.result = 1;
        ended.thread = std::make_unique<VLThread>(&VLRangeDownloader::RangeWorker, &ended);
        if (!ended.thread->Start()) result = kErrThreadNotStarted;
    }

    // Stopping: breaking each connection wakes a worker blocked on the
    // network; every worker then saves its range and ends by itself.
    stop_ = true;
    for (auto& context : contexts) {
        if (context->thread && context->connection) context->connection->Abort();
    }
    for (auto& context : contexts) JoinThread(std::move(context->thread));
    contexts.clear();

    if (result != kDownloadOk) return result;
    // Renamed through the handle that found the data file plain: whatever
    // lies at the target's name (a link included) is replaced, never written.
    VLPlainFile data;
    if (!data.Open(Text(stored.dataPath, 260), DELETE, FILE_SHARE_READ, OPEN_EXISTING) ||
        !data.Rename(Text(stored.targetPath, 260), true))
        return LastErrorOr(ERROR_WRITE_FAULT);
    data.file.Close();
    DeletePlainFile(Text(stored.statePath, 260));
    return kDownloadOk;
}

uint32_t VLRangeDownloader::Reprobe(RangeContext& context)
{
    {
        // A range that broke off again without a single new byte is not
        // going to get better by reconnecting.
        std::lock_guard<std::mutex> guard(rangesLock_);
        const VLRangeRecord& range = ranges_[context.index];
        if (context.attemptStart == range.length - range.remaining) {
            if (++context.idleRestarts > kIdleRestartLimit) return kErrProbe;
        } else {
            context.idleRestarts = 0;
        }
    }
    int failed = 0;
    for (int probes = 1; probes <= kReprobeLimit; ++probes) {
        if (callback_->IsCancelled()) return kErrStopped;
        const VLProbeResult probe = ProbeCurrentChoice();
        if (probe.error == kDownloadOk && probe.size == stored.totalSize) {
            MakeChoiceCurrent();
            return kDownloadOk;
        }
        if (probe.error == kErrStopped) return kErrStopped;
        if (probe.error != kErrProbe) {
            SwitchAddress();
            continue;
        }
        ++context.restarts;
        if (++failed > kFailedReprobeLimit) return kErrProbe;
        if (context.restarts % 3 == 0) {
            SwitchAddress();
            if (!WaitBeforeRetry()) return kErrStopped;
        }
    }
    return kErrProbe;
}

void VLRangeDownloader::SaveRange(RangeContext& context, uint64_t received)
{
    VLRangeRecord record;
    {
        std::lock_guard<std::mutex> guard(rangesLock_);
        VLRangeRecord& range = ranges_[context.index];
        range.position = range.start + received;
        range.remaining = range.length - received;
        const int64_t now = _time64(nullptr);
        int64_t& last = lastTime_[context.index];
        if (now > last) {
            range.seconds += uint32_t(now - last);
            last = now;
        }
        record = range;
    }
    DWORD written = 0;
    if (context.stateFile.Seek(int64_t(RangeRecordOffset(context.index)), FILE_BEGIN, nullptr)) {
        context.stateFile.Write(&record, sizeof(record), &written);
    }
}

uint64_t VLRangeDownloader::Allowance()
{
    uint32_t kilobytes = 0;
    if (callback_->GetSpeedLimit(kilobytes) != 0) return 0;
    return uint64_t(kilobytes) * 1024 / ranges_.size();
}

size_t VLRangeDownloader::ReceiveSize()
{
    const uint64_t allowance = Allowance();
    if (allowance == 0) return kReceiveBlock;
    const uint64_t size = allowance / kBlocksPerAllowance;
    if (size < kLimitedReceiveBlock) return kLimitedReceiveBlock;
    return size < kReceiveBlock ? size_t(size) : kReceiveBlock;
}

void VLRangeDownloader::Throttle(RangeContext& context, uint64_t received)
{
    const uint64_t allowance = Allowance();
    if (allowance == 0) return;
    const DWORD elapsed = GetTickCount() - context.windowTick;
    // The time these bytes may take at the allowance; sleeping off the
    // difference holds the connection at the allowance.
    const uint64_t due = (received - context.windowBytes) * 1000 / allowance;
    if (due > elapsed) {
        uint64_t pause = due - elapsed;
        while (pause > 0 && !stop_ && !callback_->IsCancelled()) {
            const DWORD slice = pause < 50 ? DWORD(pause) : 50;
            Sleep(slice);
            pause -= slice;
        }
    } else if (elapsed < 1000) {
        return;
    }
    // A fresh window after each pause, and at least once a second, so that a
    // slow stretch earns no credit for a later burst.
    context.windowBytes = received;
    context.windowTick = GetTickCount();
}

void VLRangeDownloader::RangeWorker(void* argument)
{
    RangeContext& context = *static_cast<RangeContext*>(argument);
    context.result = context.owner->RunRange(context);
}

uint32_t VLRangeDownloader::RunRange(RangeContext& context)
{
    VLRangeRecord range;
    std::wstring host, path;
    uint16_t port;
    {
        std::lock_guard<std::mutex> guard(rangesLock_);
        range = ranges_[context.index];
        host = currentHost_;
        path = currentPath_;
        port = currentPort_;
    }
    uint64_t received = range.length - range.remaining;
    context.attemptStart = received;
    context.windowBytes = received;
    context.windowTick = GetTickCount();

    if (!context.connection->Connect(host, port)) return kErrRangeConnection;
    VLPlainFile dataFile, stateFile;
    if (!dataFile.Open(Text(stored.dataPath, 260), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING) ||
        !stateFile.Open(Text(stored.statePath, 260), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        OPEN_EXISTING)) {
        return kErrFileAccess;
    }
    context.dataFile = std::move(dataFile.file);
    context.stateFile = std::move(stateFile.file);
    if (!context.dataFile.Seek(int64_t(range.position), FILE_BEGIN, nullptr)) return kErrFileAccess;
    if (context.index == 0) callback_->ReportPhase(3);

    const VLByteRange wanted{range.position, range.position + range.remaining - 1};
    if (!context.connection->SendAll(BuildRequest(host, port, path, &wanted))) {
        return kErrRangeConnection;
    }
    // Only the very bytes asked for may reach the data file: anything but a
    // 206 for exactly this range counts as a broken connection.
    std::string head, body;
    VLResponseHead response;
    if (!ReadResponseHead(*context.connection, kRangeHeadLimit, head, body) ||
        !ParseResponseHead(head, response) || response.status != 206 || !response.hasRange ||
        response.rangeFirst != wanted.first || response.rangeLast != wanted.last ||
        response.rangeTotal != stored.totalSize ||
        (response.hasLength && response.contentLength != range.remaining)) {
        return kErrRangeConnection;
    }

    uint32_t result = kErrRangeConnection;
    uint64_t unsaved = 0;
    std::unique_ptr<char[]> block(new char[kReceiveBlock]);
    const char* data = body.data();
    int size = int(body.size());
    for (;;) {
        if (size > 0) {
            // Never more than the range still owes, whatever the server sends.
            const uint64_t owed = range.length - received;
            const DWORD take = DWORD(uint64_t(size) < owed ? uint64_t(size) : owed);
            DWORD written = 0;
            if (!context.dataFile.Write(data, take, &written) || written != take) {
                result = kErrFileAccess;
                break;
            }
            received += take;
            unsaved += take;
            callback_->OnReceived(take, true);
            const bool cancelled = callback_->IsCancelled() != 0;
            if (unsaved >= kSaveEvery || cancelled) {
                SaveRange(context, received);
                if (unsaved >= kSaveEvery) unsaved -= kSaveEvery;
                if (cancelled) {
                    result = kErrStopped;
                    break;
                }
            }
            if (stop_) {
                result = kErrAborted;
                break;
            }
            Throttle(context, received);
        }
        if (received == range.length) {
            result = kDownloadOk;
            break;
        }
        size = context.connection->Receive(block.get(), int(ReceiveSize()));
        if (size <= 0) break;
        data = block.get();
    }
    SaveRange(context, received);
    return result;
}

} // namespace Velora
