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
// inside the work folder, named by its own name and not a short name that
// stands for another.
bool IsSeedRecordPath(const std::wstring& path, const std::wstring& folder);

class VLBTManager : public VLTaskList {
public:
    class VLSeedTask : public ITaskCallback {
    public:
        VLSeedTask(VLBTManager* manager, uint64_t id, const std::wstring& resumePath,
                   std::shared_ptr<IBTTask> handle);

        void OnResumed() override {}
        void OnEvent(BTEvent event) override;
        void MapState(int, int) override {}
        void OnProgress() override;
        // A seed holding its torrent becomes that torrent's callback (false);
        // a waiting one adds its torrent to the session (the manager's
        // worker). The caller holds the seed.
        bool StartSeed();

        std::atomic<int32_t> seedState{kSeeding};
        const uint64_t gameId;
        const std::wstring resume;
        VLBTManager* const owner;
        // Set by the seed's own callbacks; the manager's worker removes it.
        std::atomic<bool> removeRequested{false};
        // Removed with its data, as well as its record and torrent copy.
        std::atomic<bool> dataIncomplete{false};

    private:
        friend class VLBTManager;
        // Guarded by the manager's lock; null while the seed waits.
        std::shared_ptr<IBTTask> torrent;
    };

    VLBTManager();
    ~VLBTManager() override;

    // False when the session cannot listen on any port from 6881 to 6890. A
    // second call while a session exists changes nothing.
    bool Init(std::wstring folder, uint32_t limit, VLBTNetwork network = VLBTNetwork::Public);
    // False when a list that could not be written while the program ran
    // cannot be written now either: the file misses the changes since.
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

protected:
    // A list that could not be written makes the worker pass again once its
    // wait is over, wherever it was saved from.
    DWORD IdleWaitMs() override;

private:
    typedef std::shared_ptr<VLSeedTask> SeedPtr;

    SeedPtr Take(VLSeedTask* seed);
    // Takes the torrent from the seed and detaches the seed's callback.
    std::shared_ptr<IBTTask> Detach(VLSeedTask& seed);
    // Detaches and removes the seed's torrent from the session.
    void Drop(VLSeedTask& seed, BTRemoveMode mode, const std::shared_ptr<IBTSession>& session);
    void WakeWorker();

    // A leaf: guards the list, each seed's torrent, the session pointer, the
    // file names and the limit. Released before the engine, a seed's torrent
    // or the disk is called; a change that spans such calls takes the seeds
    // it works on out of the list first, or checks afterwards that they are
    // still listed.
    std::mutex lock_;
    std::vector<SeedPtr> seeds_;
    std::shared_ptr<IBTSession> session_;
    std::wstring folder_;
    std::wstring seedsFile_;
    uint32_t seedLimit_ = 2;
    uint64_t changes_ = 0; // list versions written out, counted under lock_

    // Held only across writing "seeds.xml", and taken with no other lock
    // held: the writes land in the order of the changes they show.
    std::mutex saveLock_;
    uint64_t savedChange_ = 0;
    // The last save failed (another program held the file): the list is
    // written again at the worker's passes and at the shutdown. failedTick_
    // is when.
    std::atomic<bool> unsaved_{false};
    std::atomic<DWORD> failedTick_{0};
};

} // namespace Velora
