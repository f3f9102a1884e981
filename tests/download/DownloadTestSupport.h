// Shared pieces of the download tests: a private folder, a listener that
// records every message, payloads and answers.
#pragma once

#include "base/FileUtil.h"
#include "base/Md5.h"
#include "base/TextConvert.h"
#include "download/DownloadTask.h"
#include "download/RangeDownloader.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace Velora {

// A folder of its own under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        GetTempDir(path);
        path += L"VLTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) +
                L"-" + std::to_wstring(counter_++);
        CreateDirectories(path);
    }
    ~TempFolder() { DeleteTree(path); }
    std::wstring File(const std::wstring& name) const { return path + L"\\" + name; }

    std::wstring path;

private:
    static inline int counter_ = 0;
};

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
    return ToMultiByteString(text);
}

inline std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = char(generator() & 0xFF);
    return bytes;
}

inline std::string ReadWholeFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof(block), &got, nullptr) && got) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

inline void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
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
