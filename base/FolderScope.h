// A folder whose files are named by text that others can write (the seed
// list and the task records in the work folder under the user's temporary
// folder): a path from such text is used only once its normal form is seen
// to lie in the folder. Text alone, like the other path helpers: the file
// system is never asked.
#pragma once

#include <string>

namespace Velora {

// The one spelling of a full path: '/' read as '\', a "\\?\" or "\\?\UNC\"
// prefix dropped, empty and "." steps left out and ".." steps applied. False
// for anything whose meaning depends on more than its text or that names no
// plain file: relative, drive-relative ("C:x") and root-relative ("\x")
// paths, device paths ("\\.\"), ".." above the root, device names (CON,
// NUL, COM1 ...), stream names (':'), characters no file name holds, and
// steps ending in a dot or blank (which the system would drop).
bool GetNormalFullPath(const std::wstring& path, std::wstring& out);

class VLFolderScope {
public:
    // A folder without a normal form holds nothing.
    explicit VLFolderScope(const std::wstring& folder);

    // The path names the folder itself.
    bool IsFolder(const std::wstring& path) const;
    // The path lies below the folder; entry receives its first step there
    // (the file or folder directly in the folder that holds it).
    bool Holds(const std::wstring& path, std::wstring* entry = nullptr) const;
    // The path names a file or folder directly in the folder; name receives
    // its name.
    bool HoldsEntry(const std::wstring& path, std::wstring* name = nullptr) const;

private:
    // rest: the normal form of what lies below the folder.
    bool Below(const std::wstring& path, std::wstring& rest) const;

    std::wstring folder_; // normal form; empty when the folder has none
};

} // namespace Velora
