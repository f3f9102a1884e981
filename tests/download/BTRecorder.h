// An owner callback that records what a task tells it, for the tests to wait
// on (always with a bound) and inspect.
#pragma once

#include "download/BTTypes.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace VeloraTest {

class BTRecorder : public Velora::ITaskCallback {
public:
    void Reserved() override {}
    void OnEvent(int event) override
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

    bool WaitForEvent(int event, int seconds)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(seconds), [&] {
            for (int e : events_)
                if (e == event) return true;
            return false;
        });
    }
    std::vector<int> Events()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    std::vector<std::pair<int, int>> States()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return states_;
    }
    int Count(int event)
    {
        int count = 0;
        for (int e : Events()) count += e == event;
        return count;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int> events_;
    std::vector<std::pair<int, int>> states_;
};

} // namespace VeloraTest
