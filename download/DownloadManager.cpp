#include "download/DownloadManager.h"

#include "download/BTManager.h"

#include "base/Singleton.h"

#include <windows.h>

#include <algorithm>

namespace Velora {

VLDownloadManager::VLDownloadManager(VLDownloadMessage* receiver) : VLDownloadListener(receiver) {}

VLDownloadManager::~VLDownloadManager()
{
    StopAll();
}

bool VLDownloadManager::Add(VLDownloadTask* task)
{
    // Pointed at the manager before it is listed, so that StopAll silences it.
    task->listener.Set(this);
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!closed_) {
            tasks_.push_back(task);
            return true;
        }
    }
    task->listener.Set(nullptr);
    return false;
}

bool VLDownloadManager::Enter()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
    calls_.Enter();
    return true;
}

void VLDownloadManager::Leave()
{
    std::lock_guard<std::mutex> guard(lock_);
    calls_.Leave();
}

void VLDownloadManager::OnMessage(uint32_t code, const TaskMessage* message)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        deliveries_.Enter();
    }
    struct Delivered {
        VLDownloadManager& manager;
        ~Delivered()
        {
            std::lock_guard<std::mutex> guard(manager.lock_);
            manager.deliveries_.Leave();
        }
    } delivered{*this};
    VLDownloadListener::OnMessage(code, message);
}

bool VLDownloadManager::StartTask(VLDownloadTask* task)
{
    if (!Enter()) return false;
    const bool started = StartUnlisted(task);
    Leave();
    return started;
}

bool VLDownloadManager::StartUnlisted(VLDownloadTask* task)
{
    bool full;
    {
        std::lock_guard<std::mutex> guard(lock_);
        full = CountRunningLocked() >= maxRunning_;
    }
    if (full) {
        if (task->GetState() != kTaskQueued) task->SetState(kTaskQueued);
        return false;
    }
    return task->Start();
}

void VLDownloadManager::Detach(VLDownloadTask* task)
{
    task->listener.Set(nullptr);
    if (task->GetState() != kTaskStopped) task->Stop();
}

bool VLDownloadManager::MustNotWait() const
{
    return deliveries_.OfThisThread() && calls_.OfOtherThreads();
}

bool VLDownloadManager::Remove(VLDownloadTask* task)
{
    DWORD refused = ERROR_SUCCESS;
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (MustNotWait()) {
            refused = ERROR_BUSY;
        } else {
            // A Replace under way may have listed the task and not started it yet.
            calls_.AwaitOtherThreads(guard);
            auto it = std::find(tasks_.begin(), tasks_.end(), task);
            if (it == tasks_.end()) refused = ERROR_NOT_FOUND;
            else tasks_.erase(it);
        }
    }
    // Set once the lock is released, so that nothing changes it before the return.
    if (refused != ERROR_SUCCESS) {
        SetLastError(refused);
        return false;
    }
    Detach(task);
    return true;
}

bool VLDownloadManager::StopAll()
{
    std::vector<VLDownloadTask*> tasks;
    {
        std::unique_lock<std::mutex> guard(lock_);
        // Refused as Remove refuses, for the same reason; nothing changed.
        if (MustNotWait()) {
            guard.unlock();
            SetLastError(ERROR_BUSY);
            return false;
        }
        closed_ = true;
        tasks.swap(tasks_);
        // A replacement being started must not be destroyed under its starter.
        calls_.AwaitOtherThreads(guard);
    }
    for (VLDownloadTask* task : tasks) task->listener.Set(nullptr);
    for (VLDownloadTask* task : tasks)
        if (task->GetState() != kTaskStopped) task->Stop();
    for (VLDownloadTask* task : tasks) task->Destroy();
    return true;
}

uint32_t VLDownloadManager::CountRunning()
{
    std::lock_guard<std::mutex> guard(lock_);
    return CountRunningLocked();
}

uint32_t VLDownloadManager::CountRunningLocked()
{
    return static_cast<uint32_t>(std::count_if(tasks_.begin(), tasks_.end(),
                                               [](VLDownloadTask* task) { return task->GetState() == kTaskRunning; }));
}

bool VLDownloadManager::Replace(VLDownloadTask* old, VLDownloadTask* replacement)
{
    replacement->listener.Set(this);
    bool listed = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!closed_) {
            calls_.Enter();
            auto it = std::find(tasks_.begin(), tasks_.end(), old);
            if (it != tasks_.end()) tasks_.erase(it);
            tasks_.push_back(replacement);
            listed = true;
        }
    }
    if (!listed) {
        replacement->listener.Set(nullptr);
        return false;
    }
    // The old task is silenced and stopped before its replacement's worker
    // can destroy it.
    Detach(old);
    StartUnlisted(replacement);
    Leave();
    return true;
}

void VLDownloadManager::SetSpeedLimits(uint32_t downloadKB, uint32_t uploadKB)
{
    std::lock_guard<std::mutex> guard(lock_);
    downloadLimitKB_ = downloadKB;
    uploadLimitKB_ = uploadKB;
}

void VLDownloadManager::ShareSpeedLimit()
{
    uint32_t torrents = 0;
    uint32_t share = 0;
    uint32_t uploadKB = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        uploadKB = uploadLimitKB_;
        std::vector<VLDownloadTask*> http;
        for (VLDownloadTask* task : tasks_) {
            if (task->GetState() != kTaskRunning) continue;
            if (task->type == DownloadTaskKind::Http) http.push_back(task);
            if (task->type == DownloadTaskKind::BitTorrent) ++torrents;
        }
        const uint32_t count = static_cast<uint32_t>(http.size()) + torrents;
        if (count == 0) return;
        share = (downloadLimitKB_ + count - 1) / count;
        for (VLDownloadTask* task : http) task->SetSpeedLimitKB(share);
    }
    std::shared_ptr<IBTSession> session = VLSingleton<VLBTManager>::GetInstance().GetSession();
    if (!session) return;
    BTSessionSettings settings;
    session->GetSettings(&settings);
    settings.uploadRateLimit = int32_t(uploadKB * 1024);
    settings.downloadRateLimit = int32_t(torrents * share * 1024);
    session->SetSettings(settings);
}

} // namespace Velora
