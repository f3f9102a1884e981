#include "download/BTSession.h"

#include "download/BTSessionImpl.h"
#include "download/BTTaskRecord.h"

#include "base/PlainFile.h"
#include "base/TextConvert.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/session_status.hpp>

#include <algorithm>
#include <optional>

// The engine keeps the local rate limits and the half-open limit only in its
// older settings, which the settings record still carries.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace Velora {

bool operator==(const BTSessionSettings& a, const BTSessionSettings& b)
{
    return a.activeDownloads == b.activeDownloads && a.activeSeeds == b.activeSeeds &&
           a.uploadRateLimit == b.uploadRateLimit && a.downloadRateLimit == b.downloadRateLimit &&
           a.localUploadRateLimit == b.localUploadRateLimit &&
           a.localDownloadRateLimit == b.localDownloadRateLimit &&
           a.unchokeSlotsLimit == b.unchokeSlotsLimit && a.halfOpenLimit == b.halfOpenLimit &&
           a.connectionsLimit == b.connectionsLimit && a.reserved1 == b.reserved1 &&
           a.reserved2 == b.reserved2;
}

namespace {

lt::settings_pack EngineSettings(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::peer_fingerprint, lt::generate_fingerprint("LT", 0, 16, 0, 0));
    const bool loopback = network == VLBTNetwork::LoopbackOnly;
    pack.set_str(lt::settings_pack::listen_interfaces,
                 (loopback ? "127.0.0.1:" : "0.0.0.0:") + std::to_string(firstPort));
    pack.set_int(lt::settings_pack::max_retry_port_bind, std::max(0, lastPort - firstPort));
    // Outside the range the session would be unreachable for the peers it
    // announced its port to: failing to listen there is failing to start.
    pack.set_bool(lt::settings_pack::listen_system_port_fallback, false);
    pack.set_bool(lt::settings_pack::enable_dht, false);
    if (loopback) {
        pack.set_bool(lt::settings_pack::enable_lsd, false);
        pack.set_bool(lt::settings_pack::enable_upnp, false);
        pack.set_bool(lt::settings_pack::enable_natpmp, false);
    } else {
        pack.set_bool(lt::settings_pack::enable_upnp, true);
        pack.set_bool(lt::settings_pack::enable_natpmp, true);
    }
    // The tasks live on status, error and disk alerts.
    pack.set_int(lt::settings_pack::alert_mask,
                 lt::alert_category::error | lt::alert_category::status | lt::alert_category::storage);
    pack.set_int(lt::settings_pack::stop_tracker_timeout, 2);
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    pack.set_bool(lt::settings_pack::dont_count_slow_torrents, false);
    pack.set_bool(lt::settings_pack::announce_to_all_trackers, true);
    pack.set_bool(lt::settings_pack::announce_to_all_tiers, false);
    pack.set_int(lt::settings_pack::tracker_backoff, 800);
    // Peers named by a tracker are dialled over TCP at once: trying uTP
    // first cost seconds with every peer that does not speak it.
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    return pack;
}

} // namespace

namespace {

lt::session_params EngineParams(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network)
{
    lt::session_params params(EngineSettings(firstPort, lastPort, network));
    params.disk_io_constructor = lt::mmap_disk_io_constructor;
    return params;
}

// Some milliseconds as a rule; a bound all the same, so that a removal
// never waits for good.
constexpr ULONGLONG kEngineReleaseMs = 10000;

// The engine closes a removed torrent's files on its own disk thread, after
// the removal has returned, and says nothing when it has: a file it still
// maps cannot be deleted. Its handle goes invalid once the engine holds the
// torrent no more, which is after the files are closed.
void AwaitEngineRelease(const lt::torrent_handle& torrent)
{
    const ULONGLONG end = GetTickCount64() + kEngineReleaseMs;
    while (torrent.is_valid() && GetTickCount64() < end) Sleep(5);
}

} // namespace

CBTSession::TImpl::TImpl(CBTSession& owner, uint16_t firstPort, uint16_t lastPort, VLBTNetwork network)
    : owner(owner), session(std::make_unique<lt::session>(EngineParams(firstPort, lastPort, network)))
{
    thread = std::thread([this] { Run(); });
}

CBTSession::TImpl::~TImpl()
{
    stop = true;
    if (thread.joinable()) thread.join();
    session.reset();
}

void CBTSession::TImpl::Append(const std::shared_ptr<btTaskImpl>& task)
{
    std::lock_guard<std::mutex> guard(lock);
    tasks.push_back(task);
    tasksChanged = true;
}

std::shared_ptr<btTaskImpl> CBTSession::TImpl::FindTask(const lt::torrent_handle& torrent)
{
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& task : tasks)
        if (task->Handle() == torrent) return task;
    return nullptr;
}

void CBTSession::TImpl::Run()
{
    using namespace std::chrono;
    std::optional<lt::time_point> resumeStamp; // none yet: the first pass saves
    lt::time_point progressStamp = lt::clock_type::now();
    // The engine answers a status request at once, even when nothing changed,
    // so asking on every pass kept this thread and the engine's spinning for
    // as long as the program ran. Ten updates a second are as fresh as any
    // owner shows them; alerts in between are still handled as they come.
    constexpr auto statusPeriod = milliseconds(100);
    lt::time_point statusStamp;
    while (!stop) {
        const lt::time_point passStart = lt::clock_type::now();
        if (passStart - statusStamp >= statusPeriod) {
            session->post_torrent_updates();
            statusStamp = passStart;
        }
        std::vector<std::shared_ptr<btTaskImpl>> local;
        bool changed = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            local = tasks;
            changed = std::exchange(tasksChanged, false);
        }
        const lt::time_point now = lt::clock_type::now();
        const bool resumeDue = !resumeStamp || now - *resumeStamp > milliseconds(60000);
        if (resumeDue) resumeStamp = now;
        const bool progressDue = now - progressStamp > milliseconds(180000);
        if (progressDue) progressStamp = now;
        for (const auto& task : local) {
            if (stop) break;
            if (resumeDue) task->SaveResumeDataIfNeeded();
            if (progressDue) task->Progress();
            task->ReportCompletionIfDue();
        }
        if (changed) {
            for (auto it = pending.begin(); it != pending.end();) {
                const bool expired = duration_cast<seconds>(now - it->timestamp).count() > 5;
                if (Dispatch(*it) || expired)
                    it = pending.erase(it);
                else
                    ++it;
            }
        }
        session->wait_for_alert(std::max<lt::time_duration>(
            lt::time_duration::zero(), statusStamp + statusPeriod - lt::clock_type::now()));
        std::vector<lt::alert*> alerts;
        session->pop_alerts(&alerts);
        for (lt::alert* alert : alerts) {
            if (stop) break;
            HandleAlert(alert);
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    tasks.clear();
}

void CBTSession::TImpl::HandleAlert(lt::alert* alert)
{
    if (auto* update = lt::alert_cast<lt::state_update_alert>(alert)) {
        // Tasks are found under the lock but called without it.
        std::vector<std::pair<std::shared_ptr<btTaskImpl>, const lt::torrent_status*>> found;
        for (const lt::torrent_status& status : update->status)
            if (auto task = FindTask(status.handle)) found.emplace_back(task, &status);
        for (const auto& [task, status] : found) task->UpdateStatus(*status);
        return;
    }
    std::optional<VLBTAlert> copy = CopyTaskAlert(alert);
    if (copy && !Dispatch(*copy)) pending.push_back(std::move(*copy));
}

bool CBTSession::TImpl::Dispatch(const VLBTAlert& alert)
{
    std::shared_ptr<btTaskImpl> task = FindTask(alert.handle);
    if (!task) return false;
    task->OnAlert(alert);
    return true;
}

CBTSession::CBTSession(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network)
    : impl_(std::make_unique<TImpl>(*this, firstPort, lastPort, network))
{
}

CBTSession::~CBTSession() = default;

void CBTSession::SetSettings(BTSessionSettings settings)
{
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        if (settings == impl_->settings) return;
        impl_->settings = settings;
    }
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::active_downloads, settings.activeDownloads);
    pack.set_int(lt::settings_pack::active_seeds, settings.activeSeeds);
    pack.set_int(lt::settings_pack::upload_rate_limit, settings.uploadRateLimit);
    pack.set_int(lt::settings_pack::download_rate_limit, settings.downloadRateLimit);
    pack.set_int(lt::settings_pack::local_upload_rate_limit, settings.localUploadRateLimit);
    pack.set_int(lt::settings_pack::local_download_rate_limit, settings.localDownloadRateLimit);
    pack.set_int(lt::settings_pack::unchoke_slots_limit, settings.unchokeSlotsLimit);
    pack.set_int(lt::settings_pack::half_open_limit, settings.halfOpenLimit);
    pack.set_int(lt::settings_pack::connections_limit, settings.connectionsLimit);
    pack.set_int(lt::settings_pack::active_limit, settings.activeDownloads + settings.activeSeeds);
    impl_->session->apply_settings(std::move(pack));
}

BTSessionSettings* CBTSession::GetSettings(BTSessionSettings* settings)
{
    const lt::settings_pack pack = impl_->session->get_settings();
    BTSessionSettings current;
    current.activeDownloads = pack.get_int(lt::settings_pack::active_downloads);
    current.activeSeeds = pack.get_int(lt::settings_pack::active_seeds);
    current.uploadRateLimit = pack.get_int(lt::settings_pack::upload_rate_limit);
    current.downloadRateLimit = pack.get_int(lt::settings_pack::download_rate_limit);
    current.localUploadRateLimit = pack.get_int(lt::settings_pack::local_upload_rate_limit);
    current.localDownloadRateLimit = pack.get_int(lt::settings_pack::local_download_rate_limit);
    current.unchokeSlotsLimit = pack.get_int(lt::settings_pack::unchoke_slots_limit);
    current.halfOpenLimit = pack.get_int(lt::settings_pack::half_open_limit);
    current.connectionsLimit = pack.get_int(lt::settings_pack::connections_limit);
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        current.reserved1 = impl_->settings.reserved1;
        current.reserved2 = impl_->settings.reserved2;
    }
    *settings = current;
    return settings;
}

BTSessionStatus* CBTSession::GetStatus(BTSessionStatus* status)
{
    *status = BTSessionStatus();
    const lt::session_status engine = impl_->session->status();
    status->hasIncoming = engine.has_incoming_connections ? 1 : 0;
    status->uploadRate = static_cast<float>(engine.upload_rate);
    status->downloadRate = static_cast<float>(engine.download_rate);
    status->totalDownload = engine.total_download;
    status->totalUpload = engine.total_upload;
    status->totalRedundantBytes = engine.total_redundant_bytes;
    status->totalFailedBytes = engine.total_failed_bytes;
    status->numPeers = engine.num_peers;
    status->numUnchoked = engine.num_unchoked;
    return status;
}

int32_t CBTSession::GetListenPort()
{
    return impl_->session->listen_port();
}

bool CBTSession::LoadTaskRecord(const std::string& path, BTTaskRecord* record)
{
    return Velora::LoadTaskRecord(path, record);
}

void CBTSession::DeleteTaskFiles(const std::string& path, BTRemoveMode mode)
{
    Velora::DeleteTaskFiles(path, mode);
}

void CBTSession::RemoveTask(IBTTask* task, BTRemoveMode mode)
{
    std::shared_ptr<btTaskImpl> found;
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        auto& tasks = impl_->tasks;
        auto it = std::find_if(tasks.begin(), tasks.end(), [task](const auto& listed) { return listed.get() == task; });
        if (it == tasks.end()) return;
        found = *it;
        tasks.erase(it);
        impl_->tasksChanged = true;
    }
    // The engine and the disk are called with the list released: a
    // torrent's owner removes it from inside its own callbacks.
    const auto state = static_cast<BTTorrentState>(found->State());
    // Resume data taken while the engine checks the data would be worthless.
    if (!ForgetsRecord(mode) && state != BTTorrentState::QueuedForChecking && state != BTTorrentState::CheckingFiles &&
        state != BTTorrentState::CheckingResumeData)
        found->WriteResumeData();
    try {
        impl_->session->remove_torrent(found->Handle());
    } catch (const std::exception&) {
    }
    found->ReleaseDataFiles();
    if (DeletesData(mode)) AwaitEngineRelease(found->Handle());
    if (ForgetsRecord(mode)) found->ForgetRecord();
    // Deleted here rather than by the engine, which deletes by name. The data
    // is the torrent's top entry: its one file, or the folder of its files.
    BTTaskRecord record = *found->GetRecord();
    record.rootPath = record.rootPath.substr(0, record.rootPath.find_first_of("\\/"));
    DeleteRecordFiles(record, mode);
}

bool CBTSession::IsOwnThread() const
{
    return std::this_thread::get_id() == impl_->ThreadId();
}

uint32_t CBTSession::GetTaskCount()
{
    std::lock_guard<std::mutex> guard(impl_->lock);
    return static_cast<uint32_t>(impl_->tasks.size());
}

IBTSession* CreateBTSession(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network)
{
    try {
        // The engine reports a port it could not bind only as an alert; its
        // listen port is known once the constructor has returned.
        auto session = std::make_unique<CBTSession>(firstPort, lastPort, network);
        return session->GetListenPort() != 0 ? session.release() : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace Velora
