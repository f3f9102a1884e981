// The process's BitTorrent session and its seeds: packages downloaded over
// BitTorrent that the program keeps sharing, within a limit, across restarts
// through "seeds.xml" in the work folder.
#pragma once

#include "download/BTSession.h"
#include "download/BTTypes.h"
#include "download/TaskList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

enum SeedState : int32_t {
    kSeeding = 0,
    kSeedThrottled = 1,
    kSeedStopped = 2,
};

// Upload and download limit of a throttled seed, bytes per second.
constexpr int32_t kSeedThrottleRate = 30720;

// The state a seed should be in, from its status: now is seconds since 1970,
// seedCount the length of the seed list.
int32_t ChooseSeedState(const BTTaskStatus& status, int64_t now, uint32_t seedCount, uint32_t seedLimit);
// Whether the file may be deleted as a seed's record: a ".vll" file directly
// inside the work folder.
bool IsSeedRecordPath(const std::wstring& path, const std::wstring& folder);

class VLBTManager : public VLTaskList {
public:
    class VLSeedTask : public ITaskCallback {
    public:
        VLSeedTask(VLBTManager* manager, uint64_t id, const std::wstring& resumePath,
                   std::shared_ptr<IBTTask> handle);

        void Reserved() override {}
        void OnEvent(int event) override;
        void MapState(int, int) override {}
        void OnProgress() override;
        bool StartSeed();

        std::atomic<int32_t> seedState{kSeeding};
        uint64_t gameId;
        std::wstring resume;
        std::shared_ptr<IBTTask> torrent;
        VLBTManager* owner;
        // Set by the seed's own callbacks; the manager's worker removes it.
        std::atomic<bool> removeRequested{false};
    };

    VLBTManager();
    ~VLBTManager() override;

    // False when the session cannot listen on any port from 6881 to 6890. A
    // second call while a session exists changes nothing.
    bool Init(std::wstring folder, uint32_t limit, BTNetwork network = BTNetwork::Public);
    bool Shutdown();
    // Null before Init and after Shutdown. Holding the pointer keeps the
    // session alive.
    std::shared_ptr<IBTSession> GetSession();

    void AddSeed(const std::shared_ptr<IBTTask>& handle, uint64_t gameId);
    void RemoveSeed(VLSeedTask* seed);
    bool RemoveSeedById(uint64_t gameId);
    bool IsSeeding(uint64_t gameId);
    bool AddSeedFromFile(const std::wstring& resumePath, uint64_t gameId);
    void LoadSeeds();
    void SaveSeeds();
    uint32_t CountSeeds();
    uint32_t CountActiveSeeds();
    uint32_t SeedLimit();

    void ProcessTasks() override;

private:
    void Append(std::unique_ptr<VLSeedTask> seed);
    std::unique_ptr<VLSeedTask> Take(VLSeedTask* seed);
    // Takes the torrent from the seed once its callback is detached.
    std::shared_ptr<IBTTask> Detach(VLSeedTask* seed);
    // Detaches and removes the seed's torrent (mode as IBTSession::RemoveTask)
    // and deletes the seed.
    void Drop(std::unique_ptr<VLSeedTask> seed, int32_t mode);
    void WakeWorker();

    // Guards the list, the session pointer and the file name; never held
    // while the engine is called, since the seeds' callbacks take it.
    std::recursive_mutex lock_;
    // Orders the changes of the list, across the engine calls each makes;
    // never taken inside a seed's callback.
    std::recursive_mutex changeLock_;
    std::shared_ptr<IBTSession> session_;
    std::vector<std::unique_ptr<VLSeedTask>> seeds_;
    std::wstring folder_;
    std::wstring seedsFile_;
    uint32_t seedLimit_ = 2;
};

} // namespace Velora
