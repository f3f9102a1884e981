#include "download/BTTask.h"

#include "download/BTTaskRecord.h"
#include "download/BTText.h"

#include <libtorrent/bencode.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iterator>

namespace Velora {

namespace {

// Every call on the handle of a removed torrent throws; for the owner such
// calls do nothing and answer the fallback.
template <typename T, typename F>
T Guard(T fallback, F&& call)
{
    try {
        return call();
    } catch (const std::exception&) {
        return fallback;
    }
}

template <typename F>
void Guard(F&& call)
{
    try {
        call();
    } catch (const std::exception&) {
    }
}

std::shared_ptr<const lt::torrent_info> InfoOf(const lt::torrent_handle& torrent)
{
    return Guard(std::shared_ptr<const lt::torrent_info>(), [&] { return torrent.torrent_file(); });
}

void CopyText(const std::string& utf8, char* out, size_t size)
{
    const std::string text = Utf8ToAcp(utf8);
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), length);
    out[length] = 0;
}

int32_t SecondsSince(lt::time_point then)
{
    if (then == lt::time_point()) return -1;
    return static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(lt::clock_type::now() - then).count());
}

int64_t EngineMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(lt::clock_type::now().time_since_epoch()).count();
}

bool IsPausedNow(const lt::torrent_handle& torrent)
{
    return Guard(true, [&] { return bool(torrent.flags() & lt::torrent_flags::paused); });
}

} // namespace

void torrentInfoImpl::GetName(std::string& name)
{
    if (auto info = InfoOf(torrent_)) name = Utf8ToAcp(info->name());
}

void torrentInfoImpl::GetTrackers(std::vector<std::string>& trackers)
{
    if (auto info = InfoOf(torrent_))
        for (const lt::announce_entry& tracker : info->trackers())
            trackers.push_back(Utf8ToAcp(tracker.url));
}

void torrentInfoImpl::GetComment(std::string& comment)
{
    if (auto info = InfoOf(torrent_)) comment = Utf8ToAcp(info->comment());
}

int32_t torrentInfoImpl::GetPieceSize()
{
    auto info = InfoOf(torrent_);
    if (!info) return 0;
    // The last piece is short, so a single piece is as long as the data.
    if (info->num_pieces() == 1) return static_cast<int32_t>(info->total_size());
    return info->piece_length();
}

int32_t torrentInfoImpl::GetPieceCount()
{
    auto info = InfoOf(torrent_);
    return info ? info->num_pieces() : 0;
}

int32_t torrentInfoImpl::GetFileCount()
{
    auto info = InfoOf(torrent_);
    return info ? info->num_files() : 0;
}

void torrentInfoImpl::GetFilePath(std::string& path, int32_t index)
{
    auto info = InfoOf(torrent_);
    if (info && index >= 0 && index < info->num_files())
        path = Utf8ToAcp(info->files().file_path(lt::file_index_t(index)));
}

int64_t torrentInfoImpl::GetFileSize(int32_t index)
{
    auto info = InfoOf(torrent_);
    if (!info || index < 0 || index >= info->num_files()) return 0;
    return info->files().file_size(lt::file_index_t(index));
}

int64_t torrentInfoImpl::GetTotalSize()
{
    auto info = InfoOf(torrent_);
    return info ? info->total_size() : 0;
}

void torrentInfoImpl::GetInfoHash(std::string& hash)
{
    if (auto info = InfoOf(torrent_)) hash = info->info_hashes().get_best().to_string();
}

BTEvent ErrorEvent(const lt::error_code& error)
{
    if (error == boost::system::errc::no_space_on_device) return BTEvent::DiskFull;
    if (error == boost::system::errc::read_only_file_system ||
        error == boost::system::errc::permission_denied)
        return BTEvent::AccessDenied;
    return BTEvent::TorrentError;
}

void FillTaskStatus(const lt::torrent_status& s, BTTaskStatus& out)
{
    out = BTTaskStatus();
    out.state = static_cast<int32_t>(s.state);
    out.hasError = s.errc ? 1 : 0;
    out.progress = s.progress;
    if (s.errc) CopyText(s.errc.message(), out.errorText, sizeof(out.errorText));
    out.nextAnnounce = static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(s.next_announce).count());
    CopyText(s.current_tracker, out.currentTracker, sizeof(out.currentTracker));
    out.totalDownload = s.total_download;
    out.totalUpload = s.total_upload;
    out.totalPayloadDownload = s.total_payload_download;
    out.totalPayloadUpload = s.total_payload_upload;
    out.totalFailedBytes = s.total_failed_bytes;
    out.totalRedundantBytes = s.total_redundant_bytes;
    out.downloadRate = static_cast<float>(s.download_rate);
    out.uploadRate = static_cast<float>(s.upload_rate);
    out.downloadPayloadRate = static_cast<float>(s.download_payload_rate);
    out.uploadPayloadRate = static_cast<float>(s.upload_payload_rate);
    out.numSeeds = s.num_seeds;
    out.numPeers = s.num_peers;
    out.numComplete = s.num_complete;
    out.numIncomplete = s.num_incomplete;
    out.listSeeds = s.list_seeds;
    out.listPeers = s.list_peers;
    out.connectCandidates = s.connect_candidates;
    out.numPieces = s.num_pieces;
    out.totalDone = s.total_done;
    out.totalWantedDone = s.total_wanted_done;
    out.totalWanted = s.total_wanted;
    out.distributedCopies = s.distributed_copies;
    out.numUploads = s.num_uploads;
    out.numConnections = s.num_connections;
    out.uploadsLimit = s.uploads_limit;
    out.connectionsLimit = s.connections_limit;
    out.upBandwidthQueue = s.up_bandwidth_queue;
    out.downBandwidthQueue = s.down_bandwidth_queue;
    out.allTimeUpload = s.all_time_upload;
    out.allTimeDownload = s.all_time_download;
    out.activeTime = static_cast<int32_t>(s.active_duration.count());
    out.finishedTime = static_cast<int32_t>(s.finished_duration.count());
    out.seedingTime = static_cast<int32_t>(s.seeding_duration.count());
    out.addedTime = s.added_time;
    out.completedTime = s.completed_time;
    // The engine learns "seen complete" only from peers, so a seed fed by a
    // web seed alone would look as if no copy had been seen for ages.
    out.lastSeenComplete = s.is_seeding ? static_cast<int64_t>(std::time(nullptr)) : s.last_seen_complete;
    out.timeSinceUpload = SecondsSince(s.last_upload);
    out.timeSinceDownload = SecondsSince(s.last_download);
    out.seedRank = s.seed_rank;
    out.hasIncoming = s.has_incoming ? 1 : 0;
}

btTaskImpl::btTaskImpl(const BTTaskRecord& record, ITaskCallback* callback, const lt::torrent_handle& torrent,
                       BTHeldFiles dataFiles, int claimedPieces)
    : torrent_(torrent), info_(torrent_), callback_(callback), record_(record), dataFiles_(std::move(dataFiles)),
      claimedPieces_(claimedPieces)
{
    record_.rootPath.clear();
    info_.GetFilePath(record_.rootPath, 0);
}

void btTaskImpl::Resume()
{
    Guard([&] { torrent_.resume(); });
    if (!resumedOnce_.exchange(true)) statusReported_ = false;
}

void btTaskImpl::Pause()
{
    if (!IsPausedNow(torrent_)) Guard([&] { torrent_.pause(); });
}

std::string btTaskImpl::GetErrorText()
{
    std::lock_guard<std::mutex> guard(statusLock_);
    return status_.errc ? status_.errc.message() : std::string();
}

void btTaskImpl::SetCallback(ITaskCallback* callback)
{
    callback_.Set(callback);
}

bool btTaskImpl::IsRunning()
{
    return Guard(false, [&] { return torrent_.is_valid() && !(torrent_.flags() & lt::torrent_flags::paused); });
}

BTTaskStatus* btTaskImpl::GetStatus(BTTaskStatus* status)
{
    std::lock_guard<std::mutex> guard(statusLock_);
    FillTaskStatus(status_, *status);
    status->seedMode = record_.addAsSeed ? 1 : 0;
    return status;
}

bool btTaskImpl::IsSeedTask()
{
    return record_.addAsSeed;
}

BTTaskRecord* btTaskImpl::GetRecord()
{
    return &record_;
}

ITorrentInfo* btTaskImpl::GetTorrentInfo()
{
    return &info_;
}

std::vector<BTPeerInfo>& btTaskImpl::GetPeers(std::vector<BTPeerInfo>& peers, int32_t first,
                                              uint32_t count)
{
    std::vector<lt::peer_info> engine;
    Guard([&] { torrent_.get_peer_info(engine); });
    if (first < 0) first = 0;
    count = std::min<uint32_t>(count, static_cast<uint32_t>(engine.size()));
    peers.resize(count);
    for (uint32_t i = static_cast<uint32_t>(first); i < count; ++i) {
        const lt::peer_info& p = engine[i];
        BTPeerInfo& entry = peers[i - first];
        entry.address = p.ip.address().to_string() + ":" + std::to_string(p.ip.port());
        entry.client = Utf8ToAcp(p.client);
        entry.downSpeed = p.down_speed;
        entry.upSpeed = p.up_speed;
        entry.totalDownload = p.total_download;
        entry.totalUpload = p.total_upload;
        entry.flags = static_cast<uint32_t>(p.flags);
    }
    return peers;
}

void btTaskImpl::SetRateLimits(int32_t download, int32_t upload)
{
    Guard([&] {
        torrent_.set_download_limit(download);
        torrent_.set_upload_limit(upload);
    });
}

void btTaskImpl::GetRateLimits(int32_t& download, int32_t& upload)
{
    download = Guard(0, [&] { return torrent_.download_limit(); });
    upload = Guard(0, [&] { return torrent_.upload_limit(); });
}

void btTaskImpl::ForceRecheck()
{
    completionReported_ = false;
    flushRequested_ = false;
    Guard([&] { torrent_.force_recheck(); });
}

bool btTaskImpl::WaitPaused(uint32_t milliseconds)
{
    const uint32_t rounds = milliseconds / 300 + 1;
    for (uint32_t round = 0; round < rounds; ++round) {
        if (IsPaused()) return true;
        Sleep(round + 1 == rounds ? milliseconds % 300 : 300);
    }
    return false;
}

bool btTaskImpl::IsPaused()
{
    return IsPausedNow(torrent_);
}

int btTaskImpl::State()
{
    std::lock_guard<std::mutex> guard(statusLock_);
    return static_cast<int>(status_.state);
}

void btTaskImpl::RefreshStatus()
{
    lt::torrent_status status;
    if (!Guard(false, [&] { status = torrent_.status(); return true; })) return;
    std::lock_guard<std::mutex> guard(statusLock_);
    status_ = std::move(status);
}

void btTaskImpl::UpdateStatus(const lt::torrent_status& status)
{
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        status_ = status;
    }
    const int state = static_cast<int>(status.state);
    if (!statusReported_.exchange(true)) {
        callback_.Call([&](ITaskCallback& owner) { owner.MapState(0, state); });
        const bool complete = status.is_finished && (state == lt::torrent_status::finished ||
                                                     state == lt::torrent_status::seeding);
        if (complete) FlushBeforeCompletion();
    }
    callback_.Call([](ITaskCallback& owner) { owner.OnProgress(); });
}

void btTaskImpl::ReportCompletion()
{
    callback_.Call([this](ITaskCallback& owner) {
        if (!completionReported_.exchange(true)) owner.OnEvent(BTEvent::Complete);
    });
}

void btTaskImpl::Notify(BTEvent event)
{
    callback_.Call([event](ITaskCallback& owner) { owner.OnEvent(event); });
}

void btTaskImpl::OnAlert(const VLBTAlert& alert)
{
    using Kind = VLBTAlert::Kind;
    switch (alert.kind) {
    case Kind::SaveResumeData:
        if (alert.resumeData) SaveRecord(lt::write_resume_data(*alert.resumeData));
        return;
    case Kind::Finished:
        RefreshStatus();
        FlushBeforeCompletion();
        return;
    case Kind::CacheFlushed:
        if (flushRequested_) ReportCompletion();
        return;
    case Kind::StateChanged:
        callback_.Call([&](ITaskCallback& owner) { owner.MapState(alert.previousState, alert.state); });
        return;
    case Kind::Paused:
        RefreshStatus();
        if (resumedOnce_) Notify(BTEvent::Paused);
        return;
    case Kind::Resumed: callback_.Call([](ITaskCallback& owner) { owner.OnResumed(); }); return;
    case Kind::Checked: {
        lt::torrent_status status;
        Guard([&] { status = torrent_.status(); });
        if (record_.addAsSeed && !status.is_finished) return Notify(BTEvent::SeedIncomplete);
        // The engine keeps a view of each file it opens, for the way it
        // opened it: the check's view for reading, and a second one mapped
        // for the first write, which finds no room in a 32-bit process for
        // a file of a gigabyte. Closed now, before the first block comes,
        // the file is mapped once more, for writing.
        if (!record_.addAsSeed && !status.is_finished) CloseEngineFiles();
        // The first check of a record that claimed other pieces than the
        // data holds: a download's that claimed more (a power cut after the
        // record was saved, another program writing the file), whose missing
        // pieces the engine fetches, or a seed's that claimed fewer (a
        // process killed before its record was written), which seeds on. The
        // record is written again to say what is there.
        if (claimsChecked_.exchange(true)) return;
        if (status.num_pieces != claimedPieces_) Guard([&] { torrent_.save_resume_data(); });
        return;
    }
    case Kind::TorrentError:
        RefreshStatus();
        Notify(ErrorEvent(alert.error));
        return;
    case Kind::FileError: {
        // A write that fails for want of space or rights only puts the
        // torrent into upload mode, with no torrent error and no pause: left
        // alone, the download would wait forever. Other disk errors raise a
        // torrent error of their own.
        namespace errc = boost::system::errc;
        const lt::error_code& e = alert.error;
        // A view the engine could not map for want of room: it drops the
        // block and asks again. With its files closed, the next write maps
        // the file alone.
        if (e == errc::not_enough_memory) return CloseEngineFiles();
        const bool stalls = alert.operation != lt::operation_t::file_read &&
                            (e == errc::no_space_on_device || e == errc::read_only_file_system ||
                             e == errc::permission_denied || e == errc::operation_not_permitted ||
                             e == errc::file_too_large);
        if (!stalls || record_.addAsSeed) return;
        RefreshStatus();
        Notify(ErrorEvent(e));
        return;
    }
    }
}

// The engine counts a piece as had once its hash passed, and hashes the
// blocks still waiting to be written: a torrent can finish before its last
// blocks are in the file. The owner, who reads the file at once, hears of
// the completion when the engine reports everything written.
void btTaskImpl::FlushBeforeCompletion()
{
    if (record_.addAsSeed || completionReported_ || flushRequested_.exchange(true)) return;
    CloseEngineFiles();
}

void btTaskImpl::CloseEngineFiles()
{
    Guard([&] { torrent_.flush_cache(); });
}

void btTaskImpl::RepeatCompletion(uint32_t milliseconds)
{
    completionDue_ = EngineMilliseconds() + milliseconds;
}

void btTaskImpl::ReportCompletionIfDue()
{
    int64_t due = completionDue_;
    if (due == 0 || EngineMilliseconds() < due || !completionDue_.compare_exchange_strong(due, 0)) return;
    completionReported_ = false;
    ReportCompletion();
}

void btTaskImpl::Progress()
{
    callback_.Call([](ITaskCallback& owner) { owner.OnProgress(); });
}

void btTaskImpl::SaveResumeDataIfNeeded()
{
    if (record_.resumeFile.empty()) return;
    Guard([&] {
        if (torrent_.need_save_resume_data()) torrent_.save_resume_data();
    });
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool btTaskImpl::WriteResumeData()
{
    // The engine's synchronous form: the record must be on disk when this
    // returns, before the torrent is removed.
    lt::entry resumeData;
    if (!Guard(false, [&] { resumeData = torrent_.write_resume_data(); return true; })) return true;
    return SaveRecord(std::move(resumeData));
}
#pragma GCC diagnostic pop

bool btTaskImpl::SaveRecord(lt::entry resumeData)
{
    WriteTaskRecord(record_, resumeData, InfoOf(torrent_).get());
    std::vector<char> bytes;
    lt::bencode(std::back_inserter(bytes), resumeData);
    // The engine's answer to a save can come as the torrent is removed with
    // its record: written then, the record would outlive its deletion.
    std::lock_guard<std::mutex> guard(recordLock_);
    return !recordForgotten_ && SaveBufferToFile(*this, bytes);
}

void btTaskImpl::ForgetRecord()
{
    std::lock_guard<std::mutex> guard(recordLock_);
    recordForgotten_ = true;
}

bool SaveBufferToFile(btTaskImpl& task, const std::vector<char>& bytes)
{
    return save_file(task.GetRecord()->resumeFile, bytes) == 0;
}

} // namespace Velora
