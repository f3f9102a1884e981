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

} // namespace Velora
