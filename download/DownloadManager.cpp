#include "download/DownloadManager.h"

#include "download/BTManager.h"

#include "base/Singleton.h"

#include <algorithm>

namespace Velora {

VLDownloadManager::VLDownloadManager(VLDownloadMessage* receiver) : slot_(this)
{
    owner = receiver;
}

VLDownloadManager::~VLDownloadManager()
{
    StopAll();
}

bool VLDownloadManager::Add(VLDownloadTask* task)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (closed_) return false;
    task->listener = &slot_;
    tasks_.push_back(task);
    return true;
}

bool VLDownloadManager::StartTask(VLDownloadTask* task)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (CountRunning() >= maxRunning) {
        if (task->state != kTaskQueued) task->SetState(kTaskQueued);
        return false;
    }
    return task->Start();
}

bool VLDownloadManager::Remove(VLDownloadTask* task)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto it = std::find(tasks_.begin(), tasks_.end(), task);
    if (it == tasks_.end()) return false;
    task->listener = nullptr;
    if (task->state != kTaskStopped) task->Stop();
    tasks_.erase(it);
    return true;
}

bool VLDownloadManager::StopAll()
{
    std::vector<VLDownloadTask*> tasks;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        closed_ = true;
        tasks.swap(tasks_);
        for (VLDownloadTask* task : tasks) task->listener = nullptr;
    }
    // Outside the lock: destroying a task waits for its worker, which may be
    // waiting for the lock to replace the task.
    for (VLDownloadTask* task : tasks)
        if (task->state != kTaskStopped) task->Stop();
    for (VLDownloadTask* task : tasks) task->Destroy();
    return true;
}

uint32_t VLDownloadManager::CountRunning()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<uint32_t>(
        std::count_if(tasks_.begin(), tasks_.end(), [](VLDownloadTask* task) { return task->state == kTaskRunning; }));
}

bool VLDownloadManager::Replace(VLDownloadTask* old, VLDownloadTask* replacement)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (closed_) return false;
    Remove(old);
    Add(replacement);
    StartTask(replacement);
    return true;
}

void VLDownloadManager::ShareSpeedLimit()
{
    uint32_t torrents = 0;
    uint32_t share = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        std::vector<VLDownloadTask*> http;
        for (VLDownloadTask* task : tasks_) {
            if (task->state != kTaskRunning) continue;
            if (task->type == 1) http.push_back(task);
            if (task->type == 2) ++torrents;
        }
        const uint32_t count = static_cast<uint32_t>(http.size()) + torrents;
        if (count == 0) return;
        share = (downloadLimitKB + count - 1) / count;
        for (VLDownloadTask* task : http) task->speedLimit = share;
    }
    std::shared_ptr<IBTSession> session = VLSingleton<VLBTManager>::GetInstance().GetSession();
    if (!session) return;
    BTSessionSettings settings;
    session->GetSettings(&settings);
    settings.uploadRateLimit = int32_t(uploadLimitKB * 1024);
    settings.downloadRateLimit = int32_t(torrents * share * 1024);
    session->SetSettings(settings);
}

} // namespace Velora
