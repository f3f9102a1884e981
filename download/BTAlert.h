// The session's own copy of an engine alert that a task consumes. The engine
// owns its alerts only until the next pop, so alerts that wait for their task
// to be listed must be copies.
#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/operations.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <memory>
#include <optional>

namespace Velora {

struct VLBTAlert {
    enum class Kind {
        SaveResumeData,
        Finished,
        StateChanged,
        Paused,
        Resumed,
        Checked,
        TorrentError,
        FileError,
        CacheFlushed,
    };

    Kind kind = Kind::Finished;
    lt::torrent_handle handle;
    lt::time_point timestamp;
    lt::error_code error;                      // TorrentError, FileError
    lt::operation_t operation = lt::operation_t::unknown; // FileError
    int state = 0;                             // StateChanged
    int previousState = 0;
    std::shared_ptr<lt::add_torrent_params> resumeData; // SaveResumeData
};

// Nothing for alerts no task consumes. Takes the resume data out of a
// save_resume_data_alert.
std::optional<VLBTAlert> CopyTaskAlert(lt::alert* alert);

} // namespace Velora
