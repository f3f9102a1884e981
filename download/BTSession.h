// The program's one BitTorrent engine and the thread that drives every task
// of it.
#pragma once

#include "download/BTTypes.h"

#include <cstdint>
#include <memory>

namespace Velora {

enum class VLBTNetwork {
    // Listens on every interface, maps its port through UPnP and NAT-PMP and
    // finds local peers.
    Public,
    // Listens on 127.0.0.1 only and looks for no peers or gateways: for test
    // programs, which must not reach beyond this machine.
    LoopbackOnly,
};

class CBTSession : public IBTSession {
public:
    CBTSession(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network);
    virtual ~CBTSession();
    CBTSession(const CBTSession&) = delete;
    CBTSession& operator=(const CBTSession&) = delete;

    void SetSettings(BTSessionSettings settings) override;
    BTSessionSettings* GetSettings(BTSessionSettings* settings) override;
    BTSessionStatus* GetStatus(BTSessionStatus* status) override;
    int32_t GetListenPort() override;
    std::shared_ptr<IBTTask> AddTask(const BTTaskParam* param, ITaskCallback* callback,
                                     std::string* error) override;
    bool LoadTaskRecord(const std::string& path, BTTaskRecord* record) override;
    std::shared_ptr<IBTTask> AddTaskFromRecord(const std::string& path, bool asSeed, ITaskCallback* callback,
                                               std::string* error,
                                               const std::vector<std::string>& urlSeeds = {}) override;
    void RemoveTask(IBTTask* task, BTRemoveMode mode) override;
    void DeleteTaskFiles(const std::string& path, BTRemoveMode mode) override;
    uint32_t GetTaskCount() override;
    // The session cannot be destroyed on its own thread, which its
    // destructor joins.
    bool IsOwnThread() const;

    class TImpl;

protected:
    // Called while a task is added, once its save folder is found plain and
    // before the torrent copy is written into it. Does nothing; tests hold
    // this moment open.
    virtual void OnSaveFolderChecked() {}

private:
    std::unique_ptr<TImpl> impl_;
};

// Null when the session cannot be made. The owner deletes it as a CBTSession.
IBTSession* CreateBTSession(uint16_t firstPort, uint16_t lastPort, VLBTNetwork network = VLBTNetwork::Public);

} // namespace Velora
