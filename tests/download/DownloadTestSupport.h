// Shared pieces of the download tests: a listener that records every
// message, payloads, answers and resume state.
#pragma once

#include "base/Md5.h"
#include "base/TextConvert.h"
#include "download/DownloadTask.h"
#include "download/RangeDownloader.h"
#include "download/ResumeState.h"
#include "download/WaitLimits.h"
#include "tests/support/TestHttpServer.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace Velora {

struct RecordedMessage {
    uint32_t code;
    uint32_t value1;
    uint32_t value2;
    std::wstring text;
};

class RecordingListener : public VLDownloadMessage {
public:
    void OnMessage(uint32_t code, const TaskMessage* message) override
    {
        RecordedMessage record{code, 0, message->value2, L""};
        if (code <= kMsgFinalPath) record.text = message->text ? message->text : L"";
        else record.value1 = message->value1;
        std::lock_guard<std::mutex> guard(lock_);
        messages_.push_back(record);
        if (code == kMsgFinished) finished_.notify_all();
    }

    // The result of the first finish message; false when none came in time.
    bool WaitFinished(uint32_t& result, DWORD timeoutMs = 60000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        const bool came = finished_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] {
            for (auto& m : messages_) if (m.code == kMsgFinished) return true;
            return false;
        });
        if (!came) return false;
        for (auto& m : messages_) if (m.code == kMsgFinished) { result = m.value1; break; }
        return true;
    }

    std::vector<RecordedMessage> Messages()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return messages_;
    }

    uint64_t LastDownloaded()
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
            if (it->code == kMsgDownloaded) return (uint64_t(it->value2) << 32) | it->value1;
        }
        return 0;
    }

private:
    std::mutex lock_;
    std::condition_variable finished_;
    std::vector<RecordedMessage> messages_;
};

inline std::string Narrow(const std::wstring& text)
{
    return ToMultiByte(text);
}

inline std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = char(generator() & 0xFF);
    return bytes;
}

inline std::string Md5Of(const std::string& bytes)
{
    return Narrow(Md5BufferHex(bytes.data(), int32_t(bytes.size())));
}

// The address answer as the service writes it.
inline std::string AnswerXml(const std::string& url, const std::string& spare, const std::string& md5,
                             uint64_t size, const std::string& name, int type = 1)
{
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<FILE><DownloadType>" + std::to_string(type) +
           "</DownloadType><DownloadUrl>" + url + "</DownloadUrl><SpareUrl>" + spare + "</SpareUrl><Md5>" + md5 +
           "</Md5><FileSize>" + std::to_string(size) + "</FileSize><FileName>" + name +
           "</FileName><UpdateType>1</UpdateType><InvalidVersion>0</InvalidVersion></FILE>";
}

// The state block this program writes for a download of total bytes to
// target in two ranges, from the main server only.
inline VLStoredBlock StateBlockFor(const std::wstring& target, uint64_t total)
{
    VLStoredBlock block{};
    StoreText(block.mainHost, 1024, L"127.0.0.1");
    StoreText(block.mainPath, 1024, L"/f/pkg.exe");
    StoreText(block.targetPath, 260, target);
    StoreText(block.dataPath, 260, target + L".vlt");
    StoreText(block.statePath, 260, target + L".vll");
    block.mainPort = 80;
    block.sparePort = 80;
    block.totalSize = total;
    block.rangeCount = 2;
    return block;
}

// Bounds short enough for a stalling server's case, or a torrent's that
// gains nothing, to end in seconds, the program's own again when it goes out
// of scope.
struct ShortWaitLimits {
    static constexpr uint32_t kHeadMs = 1500;
    ShortWaitLimits()
    {
        VLWaitLimits limits;
        limits.connectMs = 2000;
        limits.headMs = kHeadMs;
        limits.idleMs = 2000;
        limits.torrentIdleMs = 2000;
        SetWaitLimitsForTests(limits);
    }
    ~ShortWaitLimits() { SetWaitLimitsForTests(VLWaitLimits()); }
};

// The ways a server keeps a client waiting; rangesOnly spares the size probe.
inline std::vector<std::pair<const char*, VLServerFaults>> StallingFaults(bool rangesOnly = false)
{
    std::vector<std::pair<const char*, VLServerFaults>> cases(3);
    cases[0].first = "silent after the request";
    cases[0].second.stall = true;
    cases[1].first = "stalls inside the header";
    cases[1].second.stallAfterHeadBytes = 20;
    cases[2].first = "header one byte a second";
    cases[2].second.headByteMs = 1000;
    for (auto& c : cases) c.second.rangesOnly = rangesOnly;
    return cases;
}

// A callback for driving the range downloader without a task.
class TestDownloadCallback : public VLHttpDownloadCallback {
public:
    void OnTotalSize(uint64_t value) override { total = value; }
    void OnReceived(uint64_t bytes, bool accumulate) override
    {
        std::lock_guard<std::mutex> guard(lock);
        received = accumulate ? received + bytes : bytes;
        samples.push_back({GetTickCount(), received});
    }
    void OnFinish(uint32_t) override {}
    int IsCancelled() override { return cancelled ? 1 : 0; }
    void Cancel() override { cancelled = true; }
    void SetStatePath(const std::wstring& text) override { statePath = text; }
    void SetDataPath(const std::wstring& text) override { dataPath = text; }
    void SetTargetPath(const std::wstring& text) override { targetPath = text; }
    void ReportPhase(uint32_t value) override { phases.push_back(value); }
    int GetSpeedLimit(uint32_t& kilobytes) override
    {
        if (!limit) return 1;
        kilobytes = limit;
        return 0;
    }

    struct Sample {
        DWORD tick;
        uint64_t bytes;
    };
    std::mutex lock;
    std::vector<Sample> samples;
    std::atomic<bool> cancelled{false};
    uint32_t limit = 0;
    uint64_t total = 0;
    uint64_t received = 0;
    std::wstring statePath, dataPath, targetPath;
    std::vector<uint32_t> phases;
};

} // namespace Velora
