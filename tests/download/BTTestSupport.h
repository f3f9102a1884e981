// Shared pieces of the BitTorrent tests: a session on loopback, the
// parameters of a task downloading into a test folder, and an owner callback
// that records what a task tells it.
#pragma once

#include "download/BTSession.h"
#include "download/BTTypes.h"
#include "tests/support/TestFolder.h"

#include "base/TextConvert.h"

#include <gtest/gtest.h>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/entry.hpp>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Velora::Test {

// How long a test waits for the engine before it gives up.
constexpr int kWaitSeconds = 120;

// The record at path, edited in its bencoded form.
inline void EditRecord(const std::wstring& path, const std::function<void(lt::entry&)>& edit)
{
    lt::error_code ec;
    lt::entry record;
    record = lt::bdecode(ReadFileBytes(path), ec);
    edit(record);
    std::string bytes;
    lt::bencode(std::back_inserter(bytes), record);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
}

inline std::unique_ptr<CBTSession> LoopbackSession()
{
    return std::make_unique<CBTSession>(6881, 6890, VLBTNetwork::LoopbackOnly);
}

// Polls the task's status (bounded) until it reaches state.
inline bool WaitForState(IBTTask& task, int state)
{
    for (int i = 0; i < kWaitSeconds * 10; ++i) {
        BTTaskStatus status;
        if (task.GetStatus(&status)->state == state) return true;
        Sleep(100);
    }
    return false;
}

// A task that downloads pkg.exe into folder\save, its record beside it.
inline BTTaskParam ParamFor(const TestFolder& folder, const std::string& torrent)
{
    BTTaskParam param;
    param.savePath = ToMultiByte(folder / L"save");
    param.resumeFile = ToMultiByte(folder / L"save\\pkg.exe.vll");
    param.sourceKind = 1;
    param.torrentData = torrent;
    return param;
}

// An owner callback for the tests to wait on (always with a bound) and inspect.
// Made before the session: the session's thread calls it until the session is
// gone.
class BTRecorder : public Velora::ITaskCallback {
public:
    void OnResumed() override {}
    void OnEvent(BTEvent event) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(event);
        changed_.notify_all();
    }
    void MapState(int previous, int state) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        states_.emplace_back(previous, state);
        changed_.notify_all();
    }
    void OnProgress() override {}

    bool WaitForEvent(BTEvent event, int seconds)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(seconds), [&] {
            for (BTEvent e : events_)
                if (e == event) return true;
            return false;
        });
    }
    std::vector<BTEvent> Events()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    std::vector<std::pair<int, int>> States()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return states_;
    }
    int Count(BTEvent event)
    {
        int count = 0;
        for (BTEvent e : Events()) count += e == event;
        return count;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<BTEvent> events_;
    std::vector<std::pair<int, int>> states_;
};

} // namespace Velora::Test
