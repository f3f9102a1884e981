// The files an install extracted. Each is held from the moment its bytes are
// checked, by a handle that shares reading only, so that what was written is
// what stays under its name while the install decides about it. The
// install's own acts on such a file (its script deleting or rewriting it) go
// through the hold. Before the script starts a program, every file is let go:
// the program and the programs it starts use the package's files as an
// ordinary folder, reading, rewriting, renaming and deleting them. The
// program itself is held until its process exists, so that the bytes checked
// are the bytes started. A file let go is known by its identity; a rollback
// deletes it only where its name still leads, plainly, to that same file
// and the watch (below) did not hear it leave the name, and names each it
// leaves, or says it cannot tell where it went. A name given for a file is
// matched by the place it names however it is spelled (GetPathKey).
//
// An identity alone does not tell a file moved from a file made anew: where
// the file index is an inode (Wine) or a FAT entry, the next file made takes
// the index of one just deleted, and Wine gives a file's last write as its
// creation time. So while a program the script started runs, the names made,
// removed and renamed around the install's files are watched: a file is named
// as moved where the program's renames lead, of the file or of a folder it
// is in, whatever it wrote into it, or, where the changes do not follow it
// (install/NameTree.h), when it still has the size and last write the
// install's file had when it was let go: a move keeps both, a file made anew
// seldom has both.
#pragma once

#include "base/FileUtil.h"
#include "base/FolderChanges.h"
#include "base/PlainFile.h"
#include "install/NameTree.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

class VLHeldFiles {
public:
    // Takes over the open handle of the file written to the path; answers
    // the handle as held.
    VLPlainFile& Hold(const std::wstring& path, VLPlainFile file);
    // The held handle of the file extracted to the path; null when there is
    // none or it was let go.
    VLPlainFile* Find(const std::wstring& path);
    // Whether this install extracted the path, held or let go.
    bool Contains(const std::wstring& path) const;
    // Deletes the file extracted to the path (through its hold, or where its
    // name still leads to it) and forgets it. False with the reason in
    // GetLastError when it stays.
    bool Delete(const std::wstring& path);
    // Delete for every extracted file below the folder.
    void DeleteBelow(const std::wstring& folder);
    // Lets the hold on the file go and acts on it through a handle opened
    // anew (base/PlainFile.h, with access and share and FILE_WRITE_ATTRIBUTES)
    // once that handle is found on the same file; a read-only file is made
    // writable for the act and read-only again after it. False when the file
    // is not this install's any more or the act fails.
    template <typename Act> bool Rewrite(const std::wstring& path, DWORD access, DWORD share, Act act);
    // Lets every file go but the one the command line starts.
    void LetGoAllBut(const std::wstring& commandLine);
    void LetGoAll();
    // While it lives, the names around the files let go are watched; made
    // before the program the script starts runs, ended once it has ended.
    // The program may delete, make again and rename any folder of its
    // files, so none is held: each is watched with its whole tree from the
    // deepest of the lasting folders (the system's, the one the install
    // folder is in, a drive's root too) that holds it. A file below none of
    // them is not watched, and its fate is not known once it moves.
    class Watch {
    public:
        Watch(VLHeldFiles& held, const std::vector<std::wstring>& lasting);
        ~Watch();
        // Takes in what the folders heard so far, before the system's buffer
        // for them runs over.
        void Collect();

    private:
        VLHeldFiles& held_;
    };
    // Newest first; report hears each file that could not be deleted and
    // the reason. A file whose name leads elsewhere now (nowhere, another
    // file, a link) is looked for, and left for ReportLeft. Forgets every
    // file.
    template <typename Report> void DeleteAll(Report report);
    // After the rollback removed its folders, report(path, original, error)
    // hears what stays of the files whose names led elsewhere: another file
    // still under such a name (ERROR_FILE_INVALID, original empty); the file
    // itself where it is now under another name, where a program's renames
    // led it, or in one of the folders the install put files in, unchanged
    // since it was let go (ERROR_FILE_NOT_FOUND, original the name it had);
    // and a file found nowhere that the watch did not hear removed, or whose
    // changes it could not tell (ERROR_FILE_NOT_FOUND, original empty): not
    // accounted for. Moved or replaced, none is the install's to delete.
    template <typename Report> void ReportLeft(Report report);
    // Forgets every file, leaving each where it is.
    void Clear()
    {
        files_.clear();
        watches_.clear();
    }

private:
    // A file's size and last write time, as its folder's listing gives them
    // too.
    struct Stamp {
        bool known = false;
        uint64_t size = 0;
        FILETIME written{};
    };
    struct Held {
        std::wstring path;
        // The place, however a name spells it.
        std::wstring key;
        VLFileId id;
        // As the file was when it was last let go.
        Stamp stamp;
        // Closed once let go.
        VLPlainFile file;
    };
    Held* Lookup(const std::wstring& path);
    // Closes the hold, noting the file's stamp first.
    static void LetGo(Held& held);
    static Stamp StampOf(HANDLE file);
    static bool SameStamp(const Stamp& a, const Stamp& b);
    // Opens the path anew with access when it still leads, plainly, to the
    // file; false otherwise (ERROR_FILE_INVALID when another file is there).
    static bool Reopen(const Held& held, DWORD access, DWORD share, VLPlainFile& out);
    // unchanged: a file let go is deleted only with the stamp it was let go
    // with, where the watch cannot tell it from a new file that took its
    // index.
    static bool DeleteOne(Held& held, bool unchanged);
    // Clears a read-only attribute through the handle; answers the
    // attributes it found.
    static DWORD MakeWritable(VLPlainFile& file);
    static void RestoreAttributes(VLPlainFile& file, DWORD attributes);

    struct Gone {
        std::wstring path;
        VLFileId id;
        Stamp stamp;
        std::wstring key;
        DWORD error;
        VLNameTree::Fate fate;
        // Where it is found, "" nowhere; whether it is not accounted for.
        std::wstring where;
        bool unknown = false;
    };
    // Where the watched changes lead each file, by its place in files_.
    std::vector<VLNameTree::Fate> Follow() const;
    // Sets where each file of gone_ is now: where the watched changes lead
    // it, itself or with a folder it is in, when it is that file (and, where
    // the changes are in doubt, unchanged); or else in one of folders_,
    // unchanged. Each folder is read once for all of them, and only an entry
    // with the stamp of one of them is opened to learn its identity.
    void Locate();

    // In extraction order.
    std::vector<Held> files_;
    // Left by DeleteAll for ReportLeft: the files whose names led elsewhere,
    // and the folders the install put its files in.
    std::vector<Gone> gone_;
    std::vector<std::wstring> folders_;
    // What the trees around the files let go heard while programs ran.
    std::vector<std::unique_ptr<VLFolderChanges>> watches_;
};

// The folder a path key names its file in.
inline std::wstring FolderOf(const std::wstring& key)
{
    return key.substr(0, key.find_last_of(L'\\'));
}

// Through the handle, with the read-only attribute taken off so that the
// file may go; patiently, as a program that has just ended may still have
// its image mapped. False when the file is still there.
bool DeleteHeldFile(VLPlainFile& held);

template <typename Act> bool VLHeldFiles::Rewrite(const std::wstring& path, DWORD access, DWORD share, Act act)
{
    Held* held = Lookup(path);
    if (!held) return false;
    LetGo(*held);
    VLPlainFile file;
    if (!Reopen(*held, access | FILE_WRITE_ATTRIBUTES, share, file)) return false;
    const DWORD attributes = MakeWritable(file);
    const bool done = act(file);
    const DWORD error = GetLastError();
    RestoreAttributes(file, attributes);
    held->stamp = StampOf(file.file.handle.Get());
    SetLastError(error);
    return done;
}

template <typename Report> void VLHeldFiles::DeleteAll(Report report)
{
    folders_.clear();
    gone_.clear();
    const std::vector<VLNameTree::Fate> fates = Follow();
    for (size_t i = files_.size(); i-- > 0;) {
        Held& held = files_[i];
        const std::wstring folder = FolderOf(held.key);
        bool known = false;
        for (const std::wstring& each : folders_) known = known || IsSamePathName(each, folder);
        if (!known) folders_.push_back(folder);
        // Where the watch heard the file let go removed or moved, what has
        // its name now is another file, whatever its index (Wine gives a new
        // file the index of one just deleted).
        const bool elsewhere = !held.file.file.handle.Valid() && !fates[i].doubtful &&
                               (fates[i].removed || !IsSamePathName(fates[i].path, held.key));
        if (!elsewhere && DeleteOne(held, fates[i].doubtful)) continue;
        const DWORD error = elsewhere ? DWORD(ERROR_FILE_INVALID) : GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_INVALID ||
            error == kErrLinkInPath)
            gone_.push_back({held.path, held.id, held.stamp, held.key, error, fates[i]});
        else
            report(held.path, error);
    }
    files_.clear();
    // Before the rollback removes its folders: a file found in one goes
    // with it, and is not left.
    Locate();
}

template <typename Report> void VLHeldFiles::ReportLeft(Report report)
{
    for (const Gone& gone : gone_) {
        if (gone.error == ERROR_FILE_INVALID && PathExists(gone.path))
            report(gone.path, std::wstring(), DWORD(ERROR_FILE_INVALID));
        if (!gone.where.empty() && PathExists(gone.where)) report(gone.where, gone.path, DWORD(ERROR_FILE_NOT_FOUND));
        if (gone.unknown) report(gone.path, std::wstring(), DWORD(ERROR_FILE_NOT_FOUND));
    }
    gone_.clear();
    folders_.clear();
    watches_.clear();
}

} // namespace Velora
