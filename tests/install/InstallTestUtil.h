// Helpers of the installer tests: the helper programs built beside the test
// executable, registry values read straight, environment variables put back
// as they were, and a log of an install's events.
#pragma once

#include "base/FileUtil.h"
#include "base/RegHandle.h"
#include "install/CompressProgress.h"

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Velora::Test {

// A program built with the tests, found beside the test executable.
inline std::wstring HelperProgram(const std::wstring& name)
{
    return GetFullPathFolder(GetModuleFilePath()) + name;
}

// Reads an ini value the way a setup program would; "" when it is absent.
inline std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(section, key, L"", value, 1024, file.c_str());
    return value;
}

// Reads a value straight from the registry: nullopt when it is absent.
inline std::optional<std::wstring> ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& name)
{
    VLRegHandle handle;
    VLRegValue value;
    if (!handle.Open(root, key, KEY_READ) || !handle.QueryValue(name, value)) return std::nullopt;
    return value.text;
}

// Puts a process environment variable back as it was.
class SavedVariable {
public:
    explicit SavedVariable(const std::wstring& name) : name_(name)
    {
        const DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        if (n == 0) return;
        std::wstring value(n, L'\0');
        value.resize(GetEnvironmentVariableW(name.c_str(), &value[0], n));
        value_ = value;
    }
    ~SavedVariable() { SetEnvironmentVariableW(name_.c_str(), value_ ? value_->c_str() : nullptr); }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

private:
    std::wstring name_;
    std::optional<std::wstring> value_;
};

inline std::wstring GetVariable(const std::wstring& name)
{
    wchar_t value[32768];
    const DWORD n = GetEnvironmentVariableW(name.c_str(), value, 32768);
    return n && n < 32768 ? std::wstring(value, n) : std::wstring();
}

// Keeps the events an install sends, with their texts copied.
struct SeenEvent {
    uint32_t code;
    std::wstring text1;
    std::wstring text2;
    uint32_t value3;
    uint32_t value4;
    // Value 2 of a file event: the system's error.
    uint32_t error;
    // A kept copy's original name.
    std::wstring original;
};

class EventLog : public VLCompressProgress {
public:
    bool OnEvent(const VLUnpackEvent* event) override
    {
        const bool texts = (event->code >> 28) != 3;
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back({event->code, texts && event->value1.text ? event->value1.text : L"",
                          texts && event->value2.text && (event->code >> 28) != 1 ? event->value2.text : L"",
                          event->value3, event->value4, (event->code >> 28) == 1 ? event->value2.number : 0,
                          event->original ? event->original : L""});
        return false;
    }
    void OnEnd(bool wasCancelled) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ends.push_back(wasCancelled);
    }

    std::mutex mutex;
    std::vector<SeenEvent> events;
    std::vector<bool> ends;
};

} // namespace Velora::Test
