#include "download/BTAlert.h"

#include <libtorrent/alert_types.hpp>

namespace Velora {

namespace {

VLBTAlert Make(VLBTAlert::Kind kind, const lt::torrent_alert& alert)
{
    VLBTAlert copy;
    copy.kind = kind;
    copy.handle = alert.handle;
    copy.timestamp = alert.timestamp();
    return copy;
}

} // namespace

std::optional<VLBTAlert> CopyTaskAlert(lt::alert* alert)
{
    using Kind = VLBTAlert::Kind;
    if (auto* a = lt::alert_cast<lt::save_resume_data_alert>(alert)) {
        VLBTAlert copy = Make(Kind::SaveResumeData, *a);
        copy.resumeData = std::make_shared<lt::add_torrent_params>(std::move(a->params));
        return copy;
    }
    if (auto* a = lt::alert_cast<lt::torrent_finished_alert>(alert)) return Make(Kind::Finished, *a);
    if (auto* a = lt::alert_cast<lt::state_changed_alert>(alert)) {
        VLBTAlert copy = Make(Kind::StateChanged, *a);
        copy.state = static_cast<int>(a->state);
        copy.previousState = static_cast<int>(a->prev_state);
        return copy;
    }
    if (auto* a = lt::alert_cast<lt::torrent_paused_alert>(alert)) return Make(Kind::Paused, *a);
    if (auto* a = lt::alert_cast<lt::torrent_resumed_alert>(alert)) return Make(Kind::Resumed, *a);
    if (auto* a = lt::alert_cast<lt::torrent_checked_alert>(alert)) return Make(Kind::Checked, *a);
    if (auto* a = lt::alert_cast<lt::torrent_error_alert>(alert)) {
        VLBTAlert copy = Make(Kind::TorrentError, *a);
        copy.error = a->error;
        return copy;
    }
    if (auto* a = lt::alert_cast<lt::file_error_alert>(alert)) {
        VLBTAlert copy = Make(Kind::FileError, *a);
        copy.error = a->error;
        copy.operation = a->op;
        return copy;
    }
    if (auto* a = lt::alert_cast<lt::cache_flushed_alert>(alert)) return Make(Kind::CacheFlushed, *a);
    return std::nullopt;
}

} // namespace Velora
