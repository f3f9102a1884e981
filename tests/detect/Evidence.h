// Evidence of installed runtimes, put where the detectors look (the real
// registry keys and system folders of the test prefix) and taken away again:
// every key, value, folder and file a fixture creates or replaces is recorded
// and restored when it goes out of scope.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Path of a fake library built for the tests ("mfc100-325" → ...\mfc100-325.dll).
std::wstring FakeDll(const std::wstring& name);
std::wstring SystemDir();  // the 32-bit system folder (SysWOW64 on 64-bit Windows)
std::wstring WindowsDir();
bool OnWow64();

class RegEvidence {
public:
    RegEvidence() = default;
    ~RegEvidence();
    RegEvidence(const RegEvidence&) = delete;
    RegEvidence& operator=(const RegEvidence&) = delete;

    void CreateKey(HKEY root, const std::wstring& path, const std::wstring& keyClass = std::wstring());
    void SetString(HKEY root, const std::wstring& path, const std::wstring& name,
                   const std::wstring& value);
    void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
    void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                  const void* data, DWORD size);
    // Moves a key that exists (in the 32-bit and the 64-bit view) aside until
    // the fixture ends, so that a test can start without what it stands for.
    void HideKey(HKEY root, const std::wstring& path);
    // Takes everything away now and puts hidden keys back.
    void Clear();

private:
    struct CreatedKey {
        HKEY root;
        std::wstring path;
    };
    struct ChangedValue {
        HKEY root;
        std::wstring path, name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct HiddenKey {
        HKEY root;
        std::wstring path;
        REGSAM view;
        std::wstring aside; // below HKEY_CURRENT_USER
    };
    std::vector<CreatedKey> keys_;
    std::vector<ChangedValue> values_;
    std::vector<HiddenKey> hidden_;
};

class FileEvidence {
public:
    // native: work in the 64-bit system folders, with WOW64 redirection off.
    explicit FileEvidence(bool native = false) : native_(native) {}
    ~FileEvidence();
    FileEvidence(const FileEvidence&) = delete;
    FileEvidence& operator=(const FileEvidence&) = delete;

    void Copy(const std::wstring& source, const std::wstring& target);
    // An empty file; one already there is left alone.
    void Touch(const std::wstring& target);
    // Moves an existing file aside until the fixture ends.
    void Hide(const std::wstring& path);
    // The same for a file that may or may not be there.
    void HideIfPresent(const std::wstring& path);
    void Clear();

private:
    void MakeFolders(const std::wstring& folder);
    void SetAside(const std::wstring& path);

    bool native_;
    std::vector<std::wstring> folders_; // created, outermost first
    std::vector<std::wstring> files_;   // created
    std::vector<std::wstring> aside_;   // original paths moved to path + ".vltest"
};

// Sets a variable of this process's environment, for the C runtime and the
// system alike, until the scope ends.
struct ScopedVariable {
    ScopedVariable(const wchar_t* name, const std::wstring& to);
    ~ScopedVariable();
    const wchar_t* name;
    std::wstring old;
};

// Runs the console driver (a copy of it in the folder, when given) and answers its output.
std::string RunDetectProbe(const std::wstring& folder = std::wstring());
