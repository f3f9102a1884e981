// The names of files and folders made, removed and renamed in one folder and
// every folder below it, in the order the system reports them, while the
// folder is watched. Only the watched folder itself is held open: the folders
// below it stay free to be deleted and made again. The system gathers changes
// between two reads only as far as its buffer goes; once some are lost, the
// record says so and the watch ends.
#pragma once

#include "base/File.h"
#include "base/Handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Velora {

class VLFolderChanges {
public:
    struct Change {
        DWORD action;      // FILE_ACTION_ADDED ... FILE_ACTION_RENAMED_NEW_NAME
        std::wstring name; // below the folder, as "sub\file"
    };

    explicit VLFolderChanges(std::wstring folder) : folder_(std::move(folder)) {}
    VLFolderChanges(const VLFolderChanges&) = delete;
    VLFolderChanges& operator=(const VLFolderChanges&) = delete;
    ~VLFolderChanges() { Stop(); }

    // Watches from now on, adding to what was heard before; a folder that
    // cannot be watched leaves the record incomplete.
    void Start();
    // Makes sure the changes in a folder below, named as the changes name
    // it, are heard: Wine's watch of a tree hears only the folders that were
    // made, or first opened, while it watched. Each is opened and let go at
    // once, so that it stays free; parents first. One that cannot be opened
    // leaves the record incomplete.
    void Reach(const std::wstring& below);
    // Takes in what the system has gathered so far.
    void Collect();
    // Collects, then stops watching until Start.
    void Stop();

    const std::wstring& Folder() const { return folder_; }
    // False when a change may have gone unheard while watched.
    bool IsComplete() const { return complete_; }
    const std::vector<Change>& Changes() const { return changes_; }

private:
    bool Read();
    void Take(DWORD bytes);
    void Lose();
    // Ends the read under way and closes the folder; take: keeps what the
    // read brought.
    void End(bool take);

    std::wstring folder_;
    // Open, with a read under way, while watched.
    VLFile handle_;
    VLHandle event_;
    OVERLAPPED overlapped_{};
    // Records are DWORD-aligned.
    std::vector<DWORD> buffer_;
    std::vector<Change> changes_;
    bool complete_ = true;
};

} // namespace Velora
