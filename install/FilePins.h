// Second names that keep the files an install let go for its programs alive
// until the install ends: hard links in a hidden folder at the root of each
// file's volume that only administrators may write, as the system's own
// installer service keeps its rollback files. While a file is pinned no new
// file can take its index, so a name found leading to its identity is the
// file itself; and once the rollback has deleted what it deletes, the
// file's count of names says whether a program left it another one.
//
// The folder is the install's own and never a way out: it is made anew, or
// one a killed install left is taken over only once its open handle shows a
// plain folder (no link) owned by the administrators; it is held open so that
// it cannot be moved or removed meanwhile, and is removed through that
// handle. Each link is made through the file's handle, relative to the
// folder's handle. Where any of this fails (a volume without hard links,
// another install using the folder, something planted in its place) the file
// is not pinned.
#pragma once

#include "base/File.h"
#include "base/PlainFile.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Velora {

class VLFilePins {
public:
    VLFilePins() = default;
    VLFilePins(const VLFilePins&) = delete;
    VLFilePins& operator=(const VLFilePins&) = delete;
    ~VLFilePins() { Clear(); }

    // Gives the open file at the path a second name in the pin folder of its
    // volume; answers that name, or "" where it cannot.
    std::wstring Pin(const std::wstring& path, HANDLE file);
    // What the pinned file is now, through its pin; false when the pin is
    // not that file.
    static bool Look(const std::wstring& pin, const VLFileId& id, BY_HANDLE_FILE_INFORMATION& now);
    // Removes every pin, and the folders.
    void Clear();

    // The name of the folder at a volume's root.
    static constexpr const wchar_t* kFolderName = L"VLPins";

private:
    struct Folder {
        std::wstring volume;
        // Null where the volume has no folder of ours.
        VLFile held;
        unsigned next = 0;
    };
    Folder& FolderOn(const std::wstring& volume);
    // Deletes every entry of the held folder, each as itself.
    static void Empty(const Folder& folder);

    std::vector<Folder> folders_;
};

} // namespace Velora
