// Folder keywords: a package names the machine's folders only as
// ##keyword## tokens ("##program_files##\App\run.exe"), resolved on the
// machine it is installed on. The installer adds "install" for the folder it
// installs into.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace Velora {

// Pseudo-ids of the special-folder map beside the shell's CSIDL values.
enum : int {
    kFolderAllUsersProfile = 0x101, // %ALLUSERSPROFILE%
    kFolderSystemDrive = 0x102,     // %HOMEDRIVE%
};

// Refreshes the process-wide map of special folders from the shell and the
// environment. A folder the shell cannot give keeps its earlier value (or an
// empty one).
void LoadSpecialFolders();
// The map's current value for a CSIDL or pseudo-id; empty when unknown.
std::wstring GetSpecialFolder(int id);

class VLFolderKeywords {
public:
    // Expansion gives up after this many replacements, so that a folder that
    // names another keyword cannot make it run for ever.
    static constexpr int kMaxExpandPasses = 64;

    VLFolderKeywords() { LoadDefaults(); }

    // Refreshes the special folders and rebuilds the built-in keywords.
    void LoadDefaults();
    // The folders the built-in keywords name here: the system's folders,
    // which the install takes where the system gives them (VLSystemFolders).
    std::vector<std::wstring> GetSystemFolders() const;
    // Keywords are matched without regard to case.
    bool Contains(std::wstring keyword) const;
    // Empty for an unknown keyword.
    std::wstring GetPath(std::wstring keyword) const;
    // Stores a keyword of this install, ahead of a built-in one of the same
    // name. Quotes and trailing separators are dropped. A folder holding the
    // keyword's own token is refused: it would expand without end.
    void SetPath(std::wstring keyword, const std::wstring& folder);
    // Replaces ##keyword## tokens from the start of the text until the first
    // token that names no keyword.
    std::wstring Expand(std::wstring text) const;

private:
    std::map<std::wstring, std::wstring> fixed_;
    std::map<std::wstring, std::wstring> runtime_;
};

} // namespace Velora
