// A uniquely named folder under the temporary folder, removed with all it
// holds when the test ends; and helpers to read and write whole files.
#pragma once

#include "base/File.h"
#include "base/FileUtil.h"

#include <string>

namespace Velora::Test {

class TestFolder {
public:
    TestFolder()
    {
        GetTempDir(path);
        path += L"vlz-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter_++) +
                L"-" + std::to_wstring(GetTickCount());
        CreateDirectories(path);
    }
    ~TestFolder() { DeleteTree(path); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }

    std::wstring path;

private:
    static inline unsigned counter_ = 0;
};

inline bool ReadWholeFile(const std::wstring& path, std::string& out)
{
    VLFile file;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0)) return false;
    uint64_t size = 0;
    if (!file.GetSize(size)) return false;
    out.assign(size_t(size), '\0');
    DWORD got = 0;
    return size == 0 || (file.Read(&out[0], DWORD(size), &got) && got == size);
}

inline std::string ReadWholeFile(const std::wstring& path)
{
    std::string out;
    return ReadWholeFile(path, out) ? out : std::string("<unreadable>");
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    VLFile file;
    DWORD written = 0;
    return file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
           (bytes.empty() || file.Write(bytes.data(), DWORD(bytes.size()), &written));
}

} // namespace Velora::Test
