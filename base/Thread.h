// A worker thread running a plain function with one argument.
#pragma once

#include "base/Handles.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Velora {

typedef void (*VLThreadFunction)(void* argument);

struct VLThreadData {
    void* argument = nullptr;
    VLThreadFunction function = nullptr;
    // Only a hint for pollers: set before the thread runs, cleared when the
    // function has returned (or thrown).
    std::atomic<bool> running{false};
    uint32_t threadId = 0;
    VLHandle handle;
};

// Runs at most once: construct, Start, then Wait or Close, then free the holder.
// The record is shared with the running thread, so the holder may be deleted
// while the function still runs.
class VLThread {
public:
    VLThread(VLThreadFunction function, void* argument);
    ~VLThread();
    VLThread(const VLThread&) = delete;
    VLThread& operator=(const VLThread&) = delete;

    // Starts the thread (created suspended, marked running, then resumed).
    bool Start();
    // Waits without limit for the thread to end, then closes its handle.
    void Wait();
    // Closes the handle; neither waits for nor stops the thread.
    void Close();

    std::shared_ptr<VLThreadData> data;

private:
    // Catches every exception of the function: the thread then ends with
    // exit code 1 instead of taking the process down.
    static unsigned __stdcall ThreadProc(void* record);
};

// Closes the handle without waiting and frees the holder (made with new).
void DeleteThread(VLThread* thread);

// The one owner of a thread holder.
typedef std::unique_ptr<VLThread> VLThreadPtr;
// Waits without limit for the thread to end, unless it is the calling thread
// itself, then frees the holder. Nothing happens without a holder.
void JoinThread(VLThreadPtr thread);

// Waits for a started thread in steps of 100 ms until it ends (true) or
// giveUp(), asked after every step, says to stop waiting (false). The thread
// is neither stopped nor waited for once given up on.
template <typename GiveUp> bool WaitForThread(const VLThread& thread, GiveUp giveUp)
{
    for (;;) {
        const DWORD woke = WaitForSingleObject(thread.data->handle.Get(), 100);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_TIMEOUT || giveUp()) return false;
    }
}

// Runs work(*state) on a thread of its own and waits for it as WaitForThread
// does. A call that nothing can wake (a name lookup, a WinINet request under
// Wine) is bounded this way: the thread shares the state with the caller, so
// one that is given up on still has it to finish with. False when the thread
// could not be started or was given up on.
template <typename State, typename GiveUp>
bool RunAbandonable(const std::shared_ptr<State>& state, void (*work)(State&), GiveUp giveUp)
{
    struct Job {
        std::shared_ptr<State> state;
        void (*work)(State&);
        static void Run(void* argument)
        {
            const std::unique_ptr<Job> job(static_cast<Job*>(argument));
            job->work(*job->state);
        }
    };
    auto job = std::make_unique<Job>(Job{state, work});
    VLThread thread(&Job::Run, job.get());
    if (!thread.Start()) return false;
    job.release();
    return WaitForThread(thread, giveUp);
}

} // namespace Velora
