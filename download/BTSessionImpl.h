// The worker behind CBTSession: the engine, the task list and the thread
// that feeds status updates and alerts to the tasks.
#pragma once

#include "download/BTAlert.h"
#include "download/BTSession.h"
#include "download/BTTask.h"

#include <libtorrent/session.hpp>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Velora {

class CBTSession::TImpl {
public:
    TImpl(uint16_t firstPort, uint16_t lastPort, BTNetwork network);
    ~TImpl();

    std::shared_ptr<btTaskImpl> CreateTask(ITaskCallback* callback, std::string* error,
                                           const BTTaskRecord* record, const BTTaskParam* param);
    void Append(const std::shared_ptr<btTaskImpl>& task);
    std::shared_ptr<btTaskImpl> FindTask(const lt::torrent_handle& torrent);

    std::unique_ptr<lt::session> session;
    BTSessionSettings settings;
    // Guards settings, tasks and tasksChanged. Never held while a task calls
    // its owner, whose own locks come first on the owner's threads.
    std::recursive_mutex lock;
    std::vector<std::shared_ptr<btTaskImpl>> tasks;
    bool tasksChanged = false;
    std::atomic<bool> stop{false};

private:
    void Run();
    void HandleAlert(lt::alert* alert);
    bool Dispatch(const BTAlert& alert);
    bool AddTorrent(const BTTaskParam& param, std::string* error, lt::torrent_handle& torrent);

    // Alerts of torrents whose task is not listed yet; only the thread uses it.
    std::deque<BTAlert> pending;
    std::thread thread;
};

} // namespace Velora
