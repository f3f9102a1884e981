// Holds the running download tasks of one owner, forwards their messages to
// it, limits how many run at once and shares a total speed limit among them.
#pragma once

#include "download/DownloadTask.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Velora {

// The manager's part that every task of it reports to.
class VLDownloadListener : public VLDownloadMessage {
public:
    explicit VLDownloadListener(VLDownloadMessage* owner) : owner_(owner) {}
    void OnMessage(uint32_t code, const TaskMessage* message) override
    {
        if (owner_) owner_->OnMessage(code, message);
    }

private:
    // Fixed before any task can report.
    VLDownloadMessage* const owner_;
};

class VLDownloadManager : public VLDownloadListener {
public:
    explicit VLDownloadManager(VLDownloadMessage* receiver);
    virtual ~VLDownloadManager();
    VLDownloadManager(const VLDownloadManager&) = delete;
    VLDownloadManager& operator=(const VLDownloadManager&) = delete;

    virtual void ShareSpeedLimit();
    // KB/s, 0 = unlimited: the download limit ShareSpeedLimit shares among
    // the running tasks, and the session's upload limit.
    void SetSpeedLimits(uint32_t downloadKB, uint32_t uploadKB);

    // The manager owns the task from here. False once StopAll has closed the
    // list: the caller keeps the task.
    bool Add(VLDownloadTask* task);
    bool StartTask(VLDownloadTask* task);
    // The task is not deleted. Once this returns, the task's messages no
    // longer reach the manager's owner, and no call of the manager made by
    // another thread uses it any more: the caller may destroy it.
    bool Remove(VLDownloadTask* task);
    // Stops and destroys every task; later additions are refused. Once this
    // returns, no message reaches the owner any more.
    bool StopAll();
    uint32_t CountRunning();
    // Takes the old task out and adds and starts its replacement, as one step
    // against StopAll. False when the list is closed (nothing changed).
    bool Replace(VLDownloadTask* old, VLDownloadTask* replacement);

private:
    // Counts a call that starts or stops tasks; false once the list is closed.
    bool Enter();
    void Leave();
    // Until no call of another thread is under way: the calling thread's own
    // (a message sent from inside a start) cannot end first.
    void WaitForOtherCalls(std::unique_lock<std::mutex>& guard);
    bool StartUnlisted(VLDownloadTask* task);
    uint32_t CountRunningLocked();
    // Silences the task, then stops it unless it is stopped already.
    static void Detach(VLDownloadTask* task);

    // Tasks that may run at once.
    const uint32_t maxRunning_ = 1;

    // A leaf: guards the list, closed_, callers_ and the limits; a task is
    // started or stopped only with it released, as those calls send messages.
    std::mutex lock_;
    std::condition_variable idle_;
    std::vector<VLDownloadTask*> tasks_;
    bool closed_ = false;
    // The threads of the calls of StartTask and Replace under way, one entry
    // per call: StopAll destroys no task, and Remove hands none back, before
    // they have ended.
    std::vector<std::thread::id> callers_;
    uint32_t downloadLimitKB_ = 0;
    uint32_t uploadLimitKB_ = 0;
};

} // namespace Velora
