// Points TMP and TEMP at another folder for one test, so that the work folder
// the program derives from them lies where the test wants it.
#pragma once

#include <windows.h>

#include <string>

namespace Velora::Test {

class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::wstring& value)
    {
        for (int i = 0; i < 2; ++i) {
            wchar_t old[MAX_PATH] = {};
            had_[i] = GetEnvironmentVariableW(kNames[i], old, MAX_PATH) != 0;
            old_[i] = old;
            SetEnvironmentVariableW(kNames[i], value.c_str());
        }
    }
    ~ScopedTempFolder()
    {
        for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(kNames[i], had_[i] ? old_[i].c_str() : nullptr);
    }
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

private:
    static constexpr const wchar_t* kNames[2] = {L"TMP", L"TEMP"};
    bool had_[2];
    std::wstring old_[2];
};

} // namespace Velora::Test
