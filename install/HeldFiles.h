// The files an install extracted. Each is held from the moment its bytes are
// checked, by a handle that shares reading only, so that what was written is
// what stays under its name while the install decides about it. The
// install's own acts on such a file (its script deleting or rewriting it) go
// through the hold. Before the script starts a program, every file is let go:
// the program and the programs it starts use the package's files as an
// ordinary folder, reading, rewriting, renaming and deleting them. The
// program itself is held until its process exists, so that the bytes checked
// are the bytes started. A name given for a file is matched by the place it
// names however it is spelled (GetPathKey).
//
// A file let go is pinned (install/FilePins.h): while the install lasts no
// new file takes its index, so a name leading to its identity leads to the
// file itself. A rollback deletes it where its name still leads, plainly, to
// it; once the rollback has deleted what it deletes, its count of names says
// whether it stayed, and one that stayed is named where it is, or said to
// have stayed where it is found nowhere. Where it is may be where the
// program's renames lead (install/NameTree.h), at a name the changes made or
// below a folder they made, in a folder the renames lead another file to,
// or in the install's folders and the folders beside them; each lead is
// checked against the file's identity.
//
// A file that could not be pinned (a volume without hard links) is known by
// its identity and by the size and last write it had when let go: a file
// made anew may take its index, and seldom has both. It is deleted, and
// named where it is, only unchanged, and not where the watch heard it leave
// its name; found nowhere, it is told as not accounted for unless the watch
// heard it removed.
#pragma once

#include "base/FileUtil.h"
#include "base/FolderChanges.h"
#include "base/PlainFile.h"
#include "install/FilePins.h"
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
    // them is not watched: where it moved is looked for in the folders only.
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
    // file, a link), or that may have another name, is looked for, and left
    // for ReportLeft. Forgets every file.
    template <typename Report> void DeleteAll(Report report);
    // After the rollback removed its folders, report(path, original, error)
    // hears what stays: another file under one of the install's names
    // (ERROR_FILE_INVALID, original empty); a file of the install where it
    // is now under another name (ERROR_FILE_NOT_FOUND, original the name it
    // had); and one that stayed but is found nowhere, or, unpinned, that is
    // found nowhere and was not heard removed (ERROR_FILE_NOT_FOUND,
    // original empty). Moved or replaced, none is the install's to delete.
    template <typename Report> void ReportLeft(Report report);
    // Forgets every file, leaving each where it is.
    void Clear()
    {
        files_.clear();
        watches_.clear();
        pins_.Clear();
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
        // Its pin, once let go; "" where it could not be pinned.
        std::wstring pin;
    };
    Held* Lookup(const std::wstring& path);
    // Notes the file's stamp, pins it and closes the hold.
    void LetGo(Held& held);
    static Stamp StampOf(HANDLE file);
    static bool SameStamp(const Stamp& a, const Stamp& b);
    // The entry at the path as itself, without access; false when there is
    // none.
    static bool Identify(const std::wstring& path, VLFileId& id, Stamp& stamp);
    // Opens the path anew with access when it still leads, plainly, to the
    // file; false otherwise (ERROR_FILE_INVALID when another file is there).
    static bool Reopen(const Held& held, DWORD access, DWORD share, VLPlainFile& out);
    // A file let go and not pinned is deleted only with the stamp it was let
    // go with: a new file may have taken its index. others, where given,
    // learns whether a pinned file had a name beside this one and its pin.
    static bool DeleteOne(Held& held, bool* others = nullptr);
    // Clears a read-only attribute through the handle; answers the
    // attributes it found.
    static DWORD MakeWritable(VLPlainFile& file);
    static void RestoreAttributes(VLPlainFile& file, DWORD attributes);

    struct Gone {
        std::wstring path;
        VLFileId id;
        // Pinned: as the file is now; otherwise as it was let go.
        Stamp stamp;
        std::wstring key;
        // 0 where the rollback deleted it at its name.
        DWORD error;
        VLNameTree::Fate fate;
        std::wstring pin;
        // Where it is found, "" nowhere.
        std::wstring where;
    };
    // Where the watched changes lead each file, by its place in files_, and
    // the names they made.
    std::vector<VLNameTree::Fate> Follow(std::vector<std::wstring>& made) const;
    // Sets where each file of gone_ that may stay is now, found with its
    // stamp and its identity: where the watched changes lead it, at a name
    // they made or below a folder they made, in a folder they lead another
    // file of gone_ to, or in one of folders_ or a folder beside one. Each folder
    // is read once for all of them, and only an entry with the stamp of one
    // of them is opened to learn its identity. A pinned file with no name
    // but its pin is not looked for.
    void Locate(const std::vector<std::wstring>& made);
    // The pinned file's names beside its pin; -1 when not pinned.
    static int OtherNames(const Gone& gone, Stamp* now = nullptr);

    // In extraction order.
    std::vector<Held> files_;
    // Left by DeleteAll for ReportLeft: the files whose names led elsewhere,
    // and the folders the install put its files in.
    std::vector<Gone> gone_;
    std::vector<std::wstring> folders_;
    // What the trees around the files let go heard while programs ran.
    std::vector<std::unique_ptr<VLFolderChanges>> watches_;
    VLFilePins pins_;
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
    std::vector<std::wstring> made;
    const std::vector<VLNameTree::Fate> fates = Follow(made);
    for (size_t i = files_.size(); i-- > 0;) {
        Held& held = files_[i];
        const std::wstring folder = FolderOf(held.key);
        bool known = false;
        for (const std::wstring& each : folders_) known = known || IsSamePathName(each, folder);
        if (!known) folders_.push_back(folder);
        // Not pinned, where the watch heard the file leave its name, what
        // has the name now is another file, whatever its index.
        const bool elsewhere = !held.file.file.handle.Valid() && held.pin.empty() &&
                               (fates[i].removed || !IsSamePathName(fates[i].path, held.key));
        bool others = false;
        const bool deleted = !elsewhere && DeleteOne(held, &others);
        // A pinned file deleted here may stay under another name a program
        // gave it.
        if (deleted && (held.pin.empty() || !others)) continue;
        const DWORD error = deleted ? 0 : elsewhere ? DWORD(ERROR_FILE_INVALID) : GetLastError();
        if (deleted || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_INVALID ||
            error == kErrLinkInPath)
            gone_.push_back({held.path, held.id, held.stamp, held.key, error, fates[i], held.pin});
        else
            report(held.path, error);
    }
    files_.clear();
    // Before the rollback removes its folders: a file found in one goes
    // with it.
    Locate(made);
}

template <typename Report> void VLHeldFiles::ReportLeft(Report report)
{
    VLFileId id;
    Stamp stamp;
    for (const Gone& gone : gone_) {
        if (gone.error == ERROR_FILE_INVALID && PathExists(gone.path))
            report(gone.path, std::wstring(), DWORD(ERROR_FILE_INVALID));
        const int names = OtherNames(gone);
        // Pinned, it stays exactly when it has a name beside its pin, now
        // that the rollback removed its folders; not pinned, where found.
        const bool there = !gone.where.empty() && Identify(gone.where, id, stamp) && id == gone.id;
        if (names > 0 || (names < 0 && there)) {
            if (there)
                report(gone.where, gone.path, DWORD(ERROR_FILE_NOT_FOUND));
            else
                report(gone.path, std::wstring(), DWORD(ERROR_FILE_NOT_FOUND));
        } else if (names < 0 && gone.where.empty() && !gone.fate.removed) {
            report(gone.path, std::wstring(), DWORD(ERROR_FILE_NOT_FOUND));
        }
    }
    gone_.clear();
    folders_.clear();
    watches_.clear();
    pins_.Clear();
}

} // namespace Velora
