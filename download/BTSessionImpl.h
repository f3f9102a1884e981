// The worker behind CBTSession: the engine, the task list and the thread
// that feeds status updates and alerts to the tasks.
#pragma once

#include "download/BTAlert.h"
#include "download/BTSession.h"
#include "download/BTTask.h"

#include "base/Handles.h"

#include <libtorrent/session.hpp>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Velora {

// A torrent the engine took, with what its task keeps of the add.
struct AddedTorrent {
    lt::torrent_handle handle;
    // The torrent as read and parsed: its copy is written from these bytes.
    std::string bytes;
    BTHeldFiles dataFiles;
    // The pieces the record said were there, which the engine checks again.
    int claimedPieces = 0;
};

class CBTSession::TImpl {
public:
    TImpl(CBTSession& owner, uint16_t firstPort, uint16_t lastPort, VLBTNetwork network);
    ~TImpl();

    std::shared_ptr<btTaskImpl> CreateTask(ITaskCallback* callback, std::string* error,
                                           const BTTaskRecord* record, const BTTaskParam* param);
    void Append(const std::shared_ptr<btTaskImpl>& task);
    std::shared_ptr<btTaskImpl> FindTask(const lt::torrent_handle& torrent);
    std::thread::id ThreadId() const { return thread.get_id(); }

    CBTSession& owner;
    std::unique_ptr<lt::session> session;
    BTSessionSettings settings;
    // A leaf: guards settings, tasks and tasksChanged; never held while a
    // task, the engine or the disk is called.
    std::mutex lock;
    std::vector<std::shared_ptr<btTaskImpl>> tasks;
    bool tasksChanged = false;
    std::atomic<bool> stop{false};

private:
    void Run();
    void HandleAlert(lt::alert* alert);
    bool Dispatch(const VLBTAlert& alert);
    bool AddTorrent(const BTTaskParam& param, std::string* error, AddedTorrent& added);

    // Alerts of torrents whose task is not listed yet; only the thread uses it.
    std::deque<VLBTAlert> pending;
    std::thread thread;
};

} // namespace Velora
