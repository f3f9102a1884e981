// Files in a folder that every program of the user can write (the work
// folder under the temporary folder), used by an elevated program: a path is
// used only for the very file it names there, never for what a link leads
// to. The file is opened without following a final link; the path the system
// reports for the open handle must be the path's own long form, so that no
// folder on the way is a link either; a reparse point is refused; and a file
// opened for its bytes, read or written, must have no other name. What was
// checked is then read, written, renamed or deleted through that same handle,
// so nothing can be swapped between the check and the act. Text checks of
// where a path points (VLFolderScope) come first; these ask the file system.
//
// The system's own mappings of names are not links: on 64-bit Windows the
// system folder's name leads a 32-bit program to the 32-bit system folder
// (but for the subfolders the system exempts, and "sysnative" to the 64-bit
// one), and each name is expected where the system's open of it lands. The
// folders the system names (VLSystemFolders) are taken where it puts them.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// Last error of a path that passes a link or names one (the system's
// ERROR_STOPPED_ON_SYMLINK).
constexpr DWORD kErrLinkInPath = 681;

// Whether the texts are one path as the file system compares names: in
// another case, of any script, a name is the same name.
bool IsSamePathName(const std::wstring& a, const std::wstring& b);
// One spelling of a place for matching sets of files: the full path ('/' as
// '\', "." and ".." and doubled separators resolved) in its long form (no
// short 8.3 names) where the place exists; the text itself when even the full
// path cannot be had. Two names of one place give keys IsSamePathName holds
// equal; links are not resolved.
std::wstring GetPathKey(const std::wstring& path);
// The path the system reaches through whatever links the text passes.
bool GetFinalPath(const std::wstring& path, std::wstring& out);
// The folder exists and neither it nor any folder above it is a link.
bool IsPlainFolder(const std::wstring& folder);
// The deepest step of the path that exists is plain, so that whatever is
// made below it later is made where the path says.
bool IsPlainPath(const std::wstring& path);
// Makes the missing folders of the path, each inside a plain one: true when
// the folder is plain at the end. Nothing is made through a link.
bool CreatePlainFolder(const std::wstring& folder);
// Deletes the plain file or empty folder, made writable first. A link is
// left as it is.
bool DeletePlainFile(const std::wstring& path);
// Removes a link itself where the system opens the link rather than what it
// leads to; nothing else.
bool RemoveLinkItself(const std::wstring& path);

// One file whatever names it: its volume and its index there. A handle
// opened again by name is known to be on the file checked before only when
// the two agree.
struct VLFileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const VLFileId& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const VLFileId& other) const { return !(*this == other); }
};
bool GetFileId(HANDLE file, VLFileId& id);

// While an object lives, the checks made on this thread take each of the
// folders where the system gives it (the Windows and system folders, the
// shell's folders): a link made at such a folder itself, by the system or
// the user (Wine's documents folder leads to the user's home), is followed
// once, when the object is made, and the rules above hold from the place it
// leads to down. Like the system's redirection, a setting of the thread.
class VLSystemFolders {
public:
    explicit VLSystemFolders(const std::vector<std::wstring>& folders);
    ~VLSystemFolders();
    VLSystemFolders(const VLSystemFolders&) = delete;
    VLSystemFolders& operator=(const VLSystemFolders&) = delete;

    // A place (long form, redirection applied) below one of the folders gets
    // that folder's final place instead of its name; false when below none.
    bool Map(std::wstring& place) const;

    // The scope this one sits in, looked at when this one maps nothing.
    const VLSystemFolders* const outer;

private:
    struct Place {
        std::wstring named;
        std::wstring final;
    };
    // Only the folders whose final place differs from their name.
    std::vector<Place> places_;
};

class VLPlainFile {
public:
    // disposition: OPEN_EXISTING, OPEN_ALWAYS, CREATE_NEW or CREATE_ALWAYS
    // (the existing file emptied only once found plain). Folders open too.
    // A file with another name (a hard link) is refused for access to its
    // bytes (ERROR_TOO_MANY_LINKS), not for its name and attributes alone;
    // names: how many it may have, more than one only where the caller made
    // the others itself (install/FilePins.h).
    // A file made here but then found behind a
    // link (a folder swapped meanwhile) is deleted again. False with the last
    // error set, nothing held.
    bool Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD names = 1);
    // Through the handle, which was opened with DELETE (and with
    // FILE_WRITE_ATTRIBUTES for a read-only file): the file goes when the
    // last handle on it is closed.
    bool Delete();
    // Through the handle (opened with DELETE), to a full path whose folder is
    // plain.
    bool Rename(const std::wstring& path, bool replace);

    VLFile file;
};

} // namespace Velora
