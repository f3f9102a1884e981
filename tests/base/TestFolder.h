// A unique folder under the temporary folder for one test, removed with all
// its contents afterwards, and small file helpers around it.
#pragma once

#include <string>

class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // No trailing separator.
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// Whether we run under Wine rather than Windows.
bool RunningOnWine();
// Runs a program of the Unix host (Wine starts ELF programs given by their
// Z: path) and waits until done() says its effect is there; false on time-out.
bool RunUnixCommand(const std::wstring& commandLine, bool (*done)(const std::wstring&),
                    const std::wstring& probe);
// The host's path of a Windows path.
std::string UnixPath(const std::wstring& path);
