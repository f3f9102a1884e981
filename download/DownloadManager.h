// Holds the running download tasks of one owner, forwards their messages to
// it, limits how many run at once and shares a total speed limit among them.
#pragma once

#include "download/DownloadTask.h"

#include "base/CallsUnderWay.h"

#include <cstdint>
#include <mutex>
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
    // The task is not deleted. Once this returns true, the task's messages
    // no longer reach the manager's owner, and no call of the manager made by
    // another thread uses it any more: the caller may destroy it. False when
    // the task is not listed (last error ERROR_NOT_FOUND), or when it is
    // asked from inside a task's message while a start or replace of another
    // thread is under way (ERROR_BUSY; nothing changed): that call may be
    // waiting for the very thread that delivers the message, so Remove cannot
    // wait for it.
    bool Remove(VLDownloadTask* task);
    // Stops and destroys every task; later additions are refused. Once this
    // returns true, no message reaches the owner any more. Refused like
    // Remove from inside a task's message while a start or replace of
    // another thread is under way (ERROR_BUSY; nothing changed).
    bool StopAll();
    uint32_t CountRunning();
    // Takes the old task out and adds and starts its replacement, as one step
    // against StopAll. False when the list is closed (nothing changed).
    bool Replace(VLDownloadTask* old, VLDownloadTask* replacement);

    // Every message of the tasks passes here on its way to the owner.
    void OnMessage(uint32_t code, const TaskMessage* message) override;

private:
    // Counts a call that starts or stops tasks; false once the list is closed.
    bool Enter();
    void Leave();
    bool StartUnlisted(VLDownloadTask* task);
    // Under lock_: the caller delivers a task's message, which a start or
    // replace of another thread may be waiting for, so it cannot wait for
    // those calls.
    bool MustNotWait() const;
    uint32_t CountRunningLocked();
    // Silences the task, then stops it unless it is stopped already.
    static void Detach(VLDownloadTask* task);

    // Tasks that may run at once.
    const uint32_t maxRunning_ = 1;

    // A leaf: guards the list, closed_, the calls and the limits; a task is
    // started or stopped only with it released, as those calls send messages.
    std::mutex lock_;
    std::vector<VLDownloadTask*> tasks_;
    bool closed_ = false;
    // The calls of StartTask and Replace under way: StopAll destroys no task,
    // and Remove hands none back, before they have ended.
    VLCallsUnderWay calls_;
    // The messages being delivered to the owner.
    VLCallsUnderWay deliveries_;
    uint32_t downloadLimitKB_ = 0;
    uint32_t uploadLimitKB_ = 0;
};

} // namespace Velora
