#include "download/BTManager.h"

#include "download/AddressQuery.h"
#include "download/XmlDocument.h"

#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace Velora {

namespace {

constexpr int64_t kUnseenLimitSeconds = 259200; // 3 days without a complete copy in sight
constexpr int32_t kFreeSeedingSeconds = 21600;  // 6 hours of seeding before the ratio counts
constexpr uint16_t kFirstPort = 6881;
constexpr uint16_t kLastPort = 6890;
constexpr int32_t kTorrentSeedingState = 5;

std::wstring WithoutTrailingSeparators(std::wstring path)
{
    NormalizePath(path, kPathNoTrailingSeparator);
    return path;
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
    if (!IsAbsolutePath(path) || path.find(L'/') != std::wstring::npos) return false;
    const std::wstring name = GetFileName(path);
    const std::wstring parent = WithoutTrailingSeparators(GetParentPath(path));
    return IsBareFileName(name) && CompareNoCase(GetFileExtension(name), L".vll") == 0 &&
           CompareNoCase(parent, WithoutTrailingSeparators(folder)) == 0;
}

VLBTManager::VLSeedTask::VLSeedTask(VLBTManager* manager, uint64_t id, const std::wstring& resumePath,
                                    std::shared_ptr<IBTTask> handle)
    : gameId(id), resume(resumePath), torrent(std::move(handle)), owner(manager)
{
}

void VLBTManager::VLSeedTask::OnEvent(int event)
{
    if (event == -1 || event == 0) return;
    // A torrent error, or data found incomplete: the seed goes. Not from
    // here, though: removing it detaches and deletes the object this call
    // runs in.
    removeRequested = true;
    owner->WakeWorker();
}

void VLBTManager::VLSeedTask::OnProgress()
{
    std::shared_ptr<IBTTask> torrent;
    {
        std::lock_guard<std::recursive_mutex> guard(owner->lock_);
        torrent = this->torrent;
    }
    if (!torrent || removeRequested) return;
    BTTaskStatus status;
    torrent->GetStatus(&status);
    // While the engine still checks the data, nothing of the seeding is
    // known yet (no complete copy seen, no time seeded): judged, every seed
    // would stop at start-up.
    if (status.state != kTorrentSeedingState) return;
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
        std::lock_guard<std::recursive_mutex> guard(owner->lock_);
        held = torrent;
    }
    if (held) {
        held->SetCallback(this);
        return false;
    }
    std::shared_ptr<IBTSession> session = owner->GetSession();
    if (resume.empty() || !session) return false;
    std::shared_ptr<IBTTask> added = session->AddTaskFromRecord(ToMultiByteString(resume), true, this, nullptr);
    if (!added) return false;
    {
        std::lock_guard<std::recursive_mutex> guard(owner->lock_);
        torrent = added;
    }
    added->Resume();
    return true;
}

VLBTManager::VLBTManager() = default;

VLBTManager::~VLBTManager()
{
    Shutdown();
}

bool VLBTManager::Init(std::wstring folder, uint32_t limit, BTNetwork network)
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (session_) return true;
    }
    try {
        IBTSession* created = CreateBTSession(kFirstPort, kLastPort, network);
        if (!created) return false;
        std::shared_ptr<IBTSession> session(created, [](IBTSession* s) { delete static_cast<CBTSession*>(s); });
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            session_ = std::move(session);
            folder_ = folder;
            seedsFile_ = CombinePath(folder, L"seeds.xml");
            seedLimit_ = limit;
        }
        LoadSeeds();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool VLBTManager::Shutdown()
{
    StopThread();
    std::shared_ptr<IBTSession> session;
    std::vector<std::unique_ptr<VLSeedTask>> seeds;
    {
        std::lock_guard<std::recursive_mutex> change(changeLock_);
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            seeds.swap(seeds_);
            session = session_;
        }
        // The list file stays as it is: the next start adds these seeds again.
        for (auto& seed : seeds) Drop(std::move(seed), 0);
        std::lock_guard<std::recursive_mutex> guard(lock_);
        session_.reset();
    }
    // A seed handed over on the session's thread meanwhile finds no session
    // and is let go; the session is destroyed here, outside every lock that
    // thread may wait for.
    session.reset();
    return true;
}

std::shared_ptr<IBTSession> VLBTManager::GetSession()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return session_;
}

uint32_t VLBTManager::SeedLimit()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return seedLimit_;
}

void VLBTManager::WakeWorker()
{
    StartThread();
    Wake();
}

void VLBTManager::Append(std::unique_ptr<VLSeedTask> seed)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    seeds_.push_back(std::move(seed));
}

std::unique_ptr<VLBTManager::VLSeedTask> VLBTManager::Take(VLSeedTask* seed)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto it = std::find_if(seeds_.begin(), seeds_.end(), [seed](const auto& entry) { return entry.get() == seed; });
    if (it == seeds_.end()) return nullptr;
    std::unique_ptr<VLSeedTask> taken = std::move(*it);
    seeds_.erase(it);
    return taken;
}

std::shared_ptr<IBTTask> VLBTManager::Detach(VLSeedTask* seed)
{
    std::shared_ptr<IBTTask> torrent;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        torrent = seed->torrent;
    }
    if (!torrent) return nullptr;
    // Returns only once no call of the seed's callback is under way, so the
    // callback never finds its torrent gone.
    torrent->SetCallback(nullptr);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    seed->torrent.reset();
    return torrent;
}

void VLBTManager::Drop(std::unique_ptr<VLSeedTask> seed, int32_t mode)
{
    std::shared_ptr<IBTTask> torrent = Detach(seed.get());
    std::shared_ptr<IBTSession> session = GetSession();
    if (torrent && session) session->RemoveTask(torrent.get(), mode);
}

void VLBTManager::AddSeed(const std::shared_ptr<IBTTask>& handle, uint64_t gameId)
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    if (!handle) return;
    if (!GetSession()) {
        handle->SetCallback(nullptr);
        return;
    }
    for (;;) {
        VLSeedTask* same = nullptr;
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            for (const auto& seed : seeds_)
                if (seed->gameId == gameId) same = seed.get();
        }
        if (!same) break;
        Drop(Take(same), 0);
    }
    const BTTaskRecord* record = handle->GetRecord();
    auto seed = std::make_unique<VLSeedTask>(this, gameId, ToWide(record->resumeFile.c_str()), handle);
    VLSeedTask* added = seed.get();
    Append(std::move(seed));
    if (CountActiveSeeds() > SeedLimit()) {
        // Over the limit: the torrent goes and the entry waits its turn.
        GetSession()->RemoveTask(Detach(added).get(), 0);
    } else {
        added->StartSeed();
    }
    SaveSeeds();
}

void VLBTManager::RemoveSeed(VLSeedTask* seed)
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    std::unique_ptr<VLSeedTask> taken = Take(seed);
    if (!taken) return;
    Drop(std::move(taken), 1);
    SaveSeeds();
    WakeWorker();
}

bool VLBTManager::RemoveSeedById(uint64_t gameId)
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    VLSeedTask* found = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (const auto& seed : seeds_) {
            if (seed->gameId == gameId) {
                found = seed.get();
                break;
            }
        }
    }
    if (!found) return false;
    std::unique_ptr<VLSeedTask> taken = Take(found);
    bool held;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        held = taken->torrent != nullptr;
    }
    Drop(std::move(taken), 1);
    SaveSeeds();
    if (held) WakeWorker();
    return true;
}

bool VLBTManager::IsSeeding(uint64_t gameId)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const size_t visible = std::min<size_t>(seedLimit_, seeds_.size());
    for (size_t i = 0; i < visible; ++i)
        if (seeds_[i]->gameId == gameId) return true;
    return false;
}

bool VLBTManager::AddSeedFromFile(const std::wstring& resumePath, uint64_t gameId)
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    std::shared_ptr<IBTSession> session = GetSession();
    if (!session || !session->LoadTaskRecord(ToMultiByteString(resumePath), nullptr)) return false;
    Append(std::make_unique<VLSeedTask>(this, gameId, resumePath, nullptr));
    WakeWorker();
    return true;
}

void VLBTManager::LoadSeeds()
{
    std::wstring file, folder;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
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
        if (ours) DeleteFileNormal(resume);
    }
}

void VLBTManager::SaveSeeds()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    VLXmlDocument document;
    TiXmlElement* root = AddElement(&document, L"Seeds");
    for (const auto& seed : seeds_) {
        TiXmlElement* entry = AddElement(root, L"Seed");
        AddElementWithText(entry, L"gameId", UInt64ToString(seed->gameId));
        AddElementWithText(entry, L"resume", seed->resume);
    }
    document.Save(seedsFile_);
}

uint32_t VLBTManager::CountSeeds()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<uint32_t>(seeds_.size());
}

uint32_t VLBTManager::CountActiveSeeds()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<uint32_t>(
        std::count_if(seeds_.begin(), seeds_.end(), [](const auto& seed) { return seed->torrent != nullptr; }));
}

void VLBTManager::ProcessTasks()
{
    std::lock_guard<std::recursive_mutex> change(changeLock_);
    for (;;) {
        VLSeedTask* removal = nullptr;
        VLSeedTask* waiting = nullptr;
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            for (const auto& seed : seeds_)
                if (seed->removeRequested) removal = seed.get();
            const size_t active = std::min<size_t>(seedLimit_, seeds_.size());
            for (size_t i = 0; i < active && !waiting; ++i)
                if (!seeds_[i]->torrent) waiting = seeds_[i].get();
        }
        if (removal) {
            RemoveSeed(removal);
        } else if (waiting) {
            if (!waiting->StartSeed()) RemoveSeed(waiting);
        } else {
            return;
        }
    }
}

} // namespace Velora
