#include "download/BTManager.h"

#include "download/AddressQuery.h"
#include "download/BTTaskRecord.h"
#include "download/XmlDocument.h"

#include "base/FileUtil.h"
#include "base/FolderScope.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <algorithm>
#include <ctime>
#include <thread>
#include <utility>

namespace Velora {

namespace {

constexpr int64_t kUnseenLimitSeconds = 259200; // 3 days without a complete copy in sight
constexpr int32_t kFreeSeedingSeconds = 21600;  // 6 hours of seeding before the ratio counts
constexpr uint16_t kFirstPort = 6881;
constexpr uint16_t kLastPort = 6890;
// Between two tries of a list that could not be written: a program that
// holds the file (a reader, a scanner) may hold it for long.
constexpr DWORD kSeedListRetryMs = 5000;

void ListSeeds(VLXmlDocument& document, const std::vector<std::shared_ptr<VLBTManager::VLSeedTask>>& seeds)
{
    TiXmlElement* root = AddElement(&document, L"Seeds");
    for (const auto& seed : seeds) {
        TiXmlElement* entry = AddElement(root, L"Seed");
        AddElementWithText(entry, L"gameId", UInt64ToString(seed->gameId));
        AddElementWithText(entry, L"resume", seed->resume);
    }
}

} // namespace

int32_t ChooseSeedState(const BTTaskStatus& status, int64_t now, uint32_t seedCount, uint32_t seedLimit)
{
    if (now - status.lastSeenComplete > kUnseenLimitSeconds) return kSeedStopped;
    if (status.hasError) return kSeedStopped;
    if (status.seedingTime <= kFreeSeedingSeconds) return kSeeding;
    // Whole numbers on purpose: 2.9 shared counts as 2.
    const double ratio = status.totalPayloadDownload == 0
                             ? 10.0
                             : double(status.totalPayloadUpload / status.totalPayloadDownload);
    if (ratio > 2.0) return kSeedStopped;
    if (ratio > 1.0) return seedCount > seedLimit ? kSeedStopped : kSeedThrottled;
    return kSeeding;
}

bool IsSeedRecordPath(const std::wstring& path, const std::wstring& folder)
{
    std::wstring name;
    return VLFolderScope(folder).HoldsEntry(path, &name) && IsBareFileName(name) && EndsInLongNames(path, name) &&
           CompareNoCase(GetFileExtension(name), L".vll") == 0;
}

VLBTManager::VLSeedTask::VLSeedTask(VLBTManager* manager, uint64_t id, const std::wstring& resumePath,
                                    std::shared_ptr<IBTTask> handle)
    : gameId(id), resume(resumePath), owner(manager), torrent(std::move(handle))
{
}

void VLBTManager::VLSeedTask::OnEvent(BTEvent event)
{
    if (event == BTEvent::Paused || event == BTEvent::Complete) return;
    // A torrent error, or data found incomplete: the seed goes. Not from
    // here, though: removing it detaches and deletes the object this call
    // runs in. Data found incomplete (at a start, or in the full check after
    // a piece failed as a peer asked for it) goes with its record and torrent
    // copy: nothing is left that claims to hold the package.
    if (event == BTEvent::SeedIncomplete) dataIncomplete = true;
    removeRequested = true;
    owner->WakeWorker();
}

void VLBTManager::VLSeedTask::OnProgress()
{
    std::shared_ptr<IBTTask> torrent;
    {
        std::lock_guard<std::mutex> guard(owner->lock_);
        torrent = this->torrent;
    }
    if (!torrent || removeRequested) return;
    BTTaskStatus status;
    torrent->GetStatus(&status);
    // While the engine still checks the data, nothing of the seeding is
    // known yet (no complete copy seen, no time seeded): judged, every seed
    // would stop at start-up.
    if (static_cast<BTTorrentState>(status.state) != BTTorrentState::Seeding) return;
    const int32_t next = ChooseSeedState(status, static_cast<int64_t>(std::time(nullptr)), owner->CountSeeds(),
                                         owner->SeedLimit());
    if (seedState.exchange(next) == next) return;
    if (next == kSeedThrottled) {
        int32_t download = 0, upload = 0;
        torrent->GetRateLimits(download, upload);
        if (upload == 0 || upload > kSeedThrottleRate) torrent->SetRateLimits(kSeedThrottleRate, kSeedThrottleRate);
    } else if (next == kSeedStopped) {
        removeRequested = true;
        owner->WakeWorker();
    }
}

bool VLBTManager::VLSeedTask::StartSeed()
{
    std::shared_ptr<IBTTask> held;
    {
        std::lock_guard<std::mutex> guard(owner->lock_);
        held = torrent;
    }
    if (held) {
        held->SetCallback(this);
        {
            std::lock_guard<std::mutex> guard(owner->lock_);
            if (torrent == held) return false;
        }
        // Dropped meanwhile: whoever took the torrent removes it, and the
        // callback must not outlive the seed.
        held->SetCallback(nullptr);
        return false;
    }
    std::shared_ptr<IBTSession> session = owner->GetSession();
    if (resume.empty() || !session) return false;
    // The seed is its torrent's callback from the first alert on; its
    // callbacks find no torrent until the torrent is listed below.
    std::shared_ptr<IBTTask> added = session->AddTaskFromRecord(ToMultiByte(resume), true, this, nullptr);
    if (!added) return false;
    bool listed;
    {
        std::lock_guard<std::mutex> guard(owner->lock_);
        const auto& seeds = owner->seeds_;
        listed = std::any_of(seeds.begin(), seeds.end(), [this](const SeedPtr& entry) { return entry.get() == this; });
        if (listed) torrent = added;
    }
    if (listed) {
        added->Resume();
        return true;
    }
    // Removed while it started: nobody else knows of this torrent.
    added->SetCallback(nullptr);
    session->RemoveTask(added.get(), BTRemoveMode::KeepFiles);
    return true;
}

VLBTManager::VLBTManager() = default;

VLBTManager::~VLBTManager()
{
    Shutdown();
}

bool VLBTManager::Init(std::wstring folder, uint32_t limit, VLBTNetwork network)
{
    if (GetSession()) return true;
    std::shared_ptr<IBTSession> session;
    try {
        IBTSession* created = CreateBTSession(kFirstPort, kLastPort, network);
        if (!created) return false;
        // The session's destructor joins its thread, so the last holder must
        // not be that thread (a task's callback holding the pointer while the
        // manager shuts down): there the session is destroyed on a thread of
        // its own.
        session.reset(created, [](IBTSession* s) {
            auto* owned = static_cast<CBTSession*>(s);
            if (owned->IsOwnThread())
                std::thread([owned] { delete owned; }).detach();
            else
                delete owned;
        });
    } catch (const std::exception&) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Two first starts at once: the later one keeps the earlier session.
        if (session_) return true;
        session_ = session;
        folder_ = folder;
        seedsFile_ = CombinePath(folder, kSeedListName);
        seedLimit_ = limit;
    }
    LoadSeeds();
    return true;
}

bool VLBTManager::Shutdown()
{
    StopThread();
    std::shared_ptr<IBTSession> session;
    std::vector<SeedPtr> seeds;
    std::wstring file;
    uint64_t stopped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        seeds.swap(seeds_);
        session.swap(session_);
        file = seedsFile_;
        stopped = ++changes_;
    }
    // The list file stays as the last save left it: the next start adds these
    // seeds again. A save under way (a completion handing its torrent over
    // meanwhile) ends first, and one not yet written is not written after
    // this. A list the last save could not write is tried once more, as it
    // stands: the saver's waits bound the try, so the exit never waits on
    // the program that holds the file.
    bool saved = true;
    {
        std::lock_guard<std::mutex> guard(saveLock_);
        savedChange_ = stopped;
        if (unsaved_.exchange(false)) {
            VLXmlDocument document;
            ListSeeds(document, seeds);
            saved = document.Save(file);
        }
    }
    for (const SeedPtr& seed : seeds) Drop(*seed, BTRemoveMode::KeepFiles, session);
    // A seed's callback, or a save that failed, may have woken the worker
    // again meanwhile.
    StopThread();
    return saved;
}

std::shared_ptr<IBTSession> VLBTManager::GetSession()
{
    std::lock_guard<std::mutex> guard(lock_);
    return session_;
}

uint32_t VLBTManager::SeedLimit()
{
    std::lock_guard<std::mutex> guard(lock_);
    return seedLimit_;
}

DWORD VLBTManager::IdleWaitMs()
{
    if (!unsaved_) return INFINITE;
    const DWORD since = GetTickCount() - failedTick_;
    return since < kSeedListRetryMs ? kSeedListRetryMs - since : 0;
}

void VLBTManager::WakeWorker()
{
    StartThread();
    Wake();
}

VLBTManager::SeedPtr VLBTManager::Take(VLSeedTask* seed)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find_if(seeds_.begin(), seeds_.end(), [seed](const SeedPtr& entry) { return entry.get() == seed; });
    if (it == seeds_.end()) return nullptr;
    SeedPtr taken = std::move(*it);
    seeds_.erase(it);
    return taken;
}

std::shared_ptr<IBTTask> VLBTManager::Detach(VLSeedTask& seed)
{
    std::shared_ptr<IBTTask> torrent;
    {
        std::lock_guard<std::mutex> guard(lock_);
        torrent = std::move(seed.torrent);
    }
    // Returns only once no call of the seed's callback is under way, so the
    // seed may be deleted afterwards.
    if (torrent) torrent->SetCallback(nullptr);
    return torrent;
}

void VLBTManager::Drop(VLSeedTask& seed, BTRemoveMode mode, const std::shared_ptr<IBTSession>& session)
{
    std::shared_ptr<IBTTask> torrent = Detach(seed);
    if (torrent && session) session->RemoveTask(torrent.get(), mode);
}

void VLBTManager::AddSeed(const std::shared_ptr<IBTTask>& handle, uint64_t gameId)
{
    if (!handle) return;
    // Written before the list names the seed: a process killed right after
    // (saves come only every minute and at a clean exit) leaves a record that
    // claims every piece, and the next start seeds it without reading it.
    handle->WriteResumeData();
    std::shared_ptr<IBTSession> session = GetSession();
    // Listed holding its torrent, so that the worker never takes it for a
    // waiting seed and adds the torrent a second time.
    auto seed = std::make_shared<VLSeedTask>(this, gameId, ToWide(handle->GetRecord()->resumeFile.c_str()), handle);
    std::vector<SeedPtr> replaced;
    bool overLimit = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Shut down meanwhile (or never started): the torrent is let go.
        if (!session || session_ != session) {
            session.reset();
        } else {
            for (auto it = seeds_.begin(); it != seeds_.end();) {
                if ((*it)->gameId == gameId) {
                    replaced.push_back(std::move(*it));
                    it = seeds_.erase(it);
                } else {
                    ++it;
                }
            }
            seeds_.push_back(seed);
            const auto active = std::count_if(seeds_.begin(), seeds_.end(),
                                              [](const SeedPtr& entry) { return entry->torrent != nullptr; });
            // Over the limit: the torrent goes and the entry waits its turn,
            // beyond the limit's places where the worker starts none.
            overLimit = uint32_t(active) > seedLimit_;
            if (overLimit) seed->torrent.reset();
        }
    }
    if (!session) {
        handle->SetCallback(nullptr);
        return;
    }
    for (const SeedPtr& same : replaced) Drop(*same, BTRemoveMode::KeepFiles, session);
    if (overLimit) {
        handle->SetCallback(nullptr);
        session->RemoveTask(handle.get(), BTRemoveMode::KeepFiles);
    } else {
        seed->StartSeed();
    }
    SaveSeeds();
}

void VLBTManager::RemoveSeed(VLSeedTask* seed)
{
    SeedPtr taken = Take(seed);
    if (!taken) return;
    Drop(*taken, taken->dataIncomplete ? BTRemoveMode::ForgetAll : BTRemoveMode::ForgetRecord, GetSession());
    SaveSeeds();
    WakeWorker();
}

bool VLBTManager::RemoveSeedById(uint64_t gameId)
{
    SeedPtr taken;
    bool held = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = std::find_if(seeds_.begin(), seeds_.end(),
                               [gameId](const SeedPtr& seed) { return seed->gameId == gameId; });
        if (it == seeds_.end()) return false;
        taken = std::move(*it);
        seeds_.erase(it);
        held = taken->torrent != nullptr;
    }
    Drop(*taken, BTRemoveMode::ForgetRecord, GetSession());
    SaveSeeds();
    if (held) WakeWorker();
    return true;
}

bool VLBTManager::IsSeeding(uint64_t gameId)
{
    std::lock_guard<std::mutex> guard(lock_);
    const size_t visible = std::min<size_t>(seedLimit_, seeds_.size());
    for (size_t i = 0; i < visible; ++i)
        if (seeds_[i]->gameId == gameId) return true;
    return false;
}

bool VLBTManager::AddSeedFromFile(const std::wstring& resumePath, uint64_t gameId)
{
    std::shared_ptr<IBTSession> session = GetSession();
    if (!session || !session->LoadTaskRecord(ToMultiByte(resumePath), nullptr)) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (session_ != session) return false;
        seeds_.push_back(std::make_shared<VLSeedTask>(this, gameId, resumePath, nullptr));
    }
    WakeWorker();
    return true;
}

void VLBTManager::LoadSeeds()
{
    std::wstring file, folder;
    {
        std::lock_guard<std::mutex> guard(lock_);
        file = seedsFile_;
        folder = folder_;
    }
    VLXmlDocument document;
    if (!document.Load(file)) return;
    TiXmlElement* root = FirstChildElement(&document, L"Seeds");
    if (!root) return;
    for (TiXmlElement* entry = FirstChildElement(root, L"Seed"); entry; entry = entry->NextSiblingElement()) {
        std::wstring id, resume;
        const bool hasId = GetElementText(FirstChildElement(entry, L"gameId"), id);
        const bool hasResume = GetElementText(FirstChildElement(entry, L"resume"), resume);
        // The list lies in a folder every user can write: only our own
        // records are used, and only they are ever deleted.
        const bool ours = hasResume && IsSeedRecordPath(resume, folder);
        if (hasId && ours && AddSeedFromFile(resume, StringToUInt64(id.c_str()))) continue;
        if (ours) DeletePlainFile(resume);
    }
}

void VLBTManager::SaveSeeds()
{
    VLXmlDocument document;
    std::wstring file;
    uint64_t change;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // Shut down: the list file stays as the last save left it.
        if (!session_) return;
        ListSeeds(document, seeds_);
        file = seedsFile_;
        change = ++changes_;
    }
    std::lock_guard<std::mutex> guard(saveLock_);
    // A later change already written: this older list must not replace it.
    if (change < savedChange_) return;
    savedChange_ = change;
    if (document.Save(file)) {
        unsaved_ = false;
        return;
    }
    // Another program holds the file past the saver's waits. The list stays
    // to be written: a seed added meanwhile must not be gone at the next
    // start. The worker is woken (under the save's lock, so that a shutdown
    // stops it) to learn that its wait has an end now.
    failedTick_ = GetTickCount();
    if (!unsaved_.exchange(true)) WakeWorker();
}

uint32_t VLBTManager::CountSeeds()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<uint32_t>(seeds_.size());
}

uint32_t VLBTManager::CountActiveSeeds()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<uint32_t>(
        std::count_if(seeds_.begin(), seeds_.end(), [](const SeedPtr& seed) { return seed->torrent != nullptr; }));
}

void VLBTManager::ProcessTasks()
{
    // Only this worker starts waiting seeds, so a seed is never started twice.
    for (;;) {
        SeedPtr removal;
        SeedPtr waiting;
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (const SeedPtr& seed : seeds_)
                if (seed->removeRequested) removal = seed;
            const size_t active = std::min<size_t>(seedLimit_, seeds_.size());
            for (size_t i = 0; i < active && !waiting; ++i)
                if (!seeds_[i]->torrent) waiting = seeds_[i];
        }
        if (removal) {
            RemoveSeed(removal.get());
        } else if (waiting) {
            // The caller holds the seed, so a removal meanwhile cannot free it.
            if (!waiting->StartSeed()) RemoveSeed(waiting.get());
        } else {
            // A list that could not be written is tried again once its wait
            // is over.
            if (IdleWaitMs() == 0) SaveSeeds();
            return;
        }
    }
}

} // namespace Velora
