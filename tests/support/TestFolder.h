// A uniquely named folder under the temporary folder for one test, removed
// with all it holds when the test ends, and helpers to read and write whole
// files. They work through Win32 alone, never through the code under test.
#pragma once

#include <string>

namespace Velora::Test {

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

// A name no other test, in this prefix or another, gives at the same time.
std::wstring UniqueName();

// Replaces the file with these bytes; false when it cannot be written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// The file's bytes, or "<unreadable>" so that a missing file never passes
// for one holding what a test expects (even nothing).
std::string ReadFileBytes(const std::wstring& path);
// The text as a UTF-16LE file with its byte-order mark.
std::string Utf16File(const std::wstring& text);
bool Exists(const std::wstring& path);

// Whether we run under Wine rather than Windows.
bool RunningOnWine();
// Runs a program of the Unix host (Wine starts ELF programs given by their
// Z: path) and waits until done() says its effect is there; false on time-out.
bool RunUnixCommand(const std::wstring& commandLine, bool (*done)(const std::wstring&),
                    const std::wstring& probe);
// The host's path of a Windows path.
std::string UnixPath(const std::wstring& path);
// Makes link a symbolic link of the Unix host to the existing target, which
// Wine shows the way Windows shows a link; false when it did not appear.
bool MakeHostLink(const std::wstring& link, const std::wstring& target);
// Removes such a link itself, which Wine cannot.
bool RemoveHostLink(const std::wstring& link);
// Every name in the folder and the folders below it, with the file's bytes
// (their digest when long): equal texts, an unchanged tree. Each name is
// shown after shownBelow.
std::string TreeListing(const std::wstring& folder, const std::string& shownBelow = "");

} // namespace Velora::Test
