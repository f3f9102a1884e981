// A progress sink that records what the reader tells it, with answers to
// events set by the test.
#pragma once

#include "install/CompressProgress.h"
#include "install/TocNode.h"

#include <functional>
#include <ios>
#include <ostream>
#include <mutex>
#include <string>
#include <vector>

namespace Velora::Test {

struct RecordedEvent {
    uint32_t code;
    std::wstring text;  // value 1 as a text (file events)
    uint32_t value1;    // value 1 as a number (content events)
    uint32_t value2;
    bool operator==(const RecordedEvent& o) const
    {
        return code == o.code && text == o.text && value1 == o.value1 && value2 == o.value2;
    }
};

inline std::ostream& operator<<(std::ostream& os, const RecordedEvent& e)
{
    return os << std::hex << "{0x" << e.code << ", " << std::string(e.text.begin(), e.text.end()) << ", "
              << std::dec << e.value1 << ", " << e.value2 << "}";
}

class RecordingProgress : public VLCompressProgress {
public:
    void OnBegin() override { Log(L"begin"); }
    void OnEntryBegin(const VLTocNode& node) override { Log(L"entry " + node.name); }
    void OnEntryEnd(const VLTocNode& node) override { Log(L"end " + node.name); }
    void OnEnd(bool wasCancelled) override { Log(wasCancelled ? L"finish cancelled" : L"finish"); }
    void OnProgress(double overall, double entry) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            progress.push_back({overall, entry});
        }
        if (onProgress) onProgress(progress.size());
    }
    bool OnEvent(const VLUnpackEvent* event) override
    {
        const bool fileEvent = (event->code >> 28) == 1;
        RecordedEvent e = {event->code, fileEvent ? event->value1.text : L"",
                           fileEvent ? 0 : event->value1.number, event->value2.number};
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(e);
        return answer;
    }
    void Log(const std::wstring& line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(line);
    }
    size_t Count(const std::wstring& line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (const auto& l : log) n += l == line;
        return n;
    }

    std::mutex mutex;
    bool answer = false;
    std::vector<RecordedEvent> events;
    std::vector<std::pair<double, double>> progress;
    std::vector<std::wstring> log;
    // Called on the extracting thread after each report, with the count so far.
    std::function<void(size_t)> onProgress;
};

} // namespace Velora::Test
