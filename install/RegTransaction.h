// Applying key trees to the live registry with a backup that undoes them, and
// reading and writing whole key trees.
#pragma once

#include "base/RegHandle.h"
#include "install/RegKey.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace Velora {

// A registry call that failed on a key. The package install reports the two
// names and the two numbers, and picks its event by openFailed.
class VLRegException : public std::exception {
public:
    VLRegException() = default;
    VLRegException(uint32_t errorCode, bool openFailed, const std::wstring& keyName,
                   const std::wstring& valueName = std::wstring())
        : keyName(keyName), valueName(valueName), openFailed(openFailed), errorCode(errorCode)
    {
    }
    const char* what() const noexcept override;

    std::wstring keyName; // full name, without a minus prefix
    std::wstring valueName; // the value whose old data could not be read, else empty
    uint32_t extra = 0;
    bool openFailed = false; // opening or creating the key for writing failed
    uint32_t errorCode = 0;
};

// One registry apply of a package install.
class VLRegTransaction {
public:
    // Applies every key in order. A value or key it cannot write, delete or
    // back up fails it, and so does a name the registry refuses; a key the
    // process may not write is skipped. On any failure the backups taken so
    // far, that of the failing key included, are written back (Rollback),
    // and the answer is false.
    bool Apply(const VLRegKeyList& keys);
    VLRegException GetLastError() const { return lastError_; }
    // Whether the last rollback put back everything.
    bool IsRolledBack() const { return rolledBack_; }
    // Writes every backup back, newest first, each key the import created
    // removed together with the keys its creation added above it; attempts
    // each step even after one failed. False when any failed;
    // GetRollbackError holds the first registry error of the rollback, with
    // the key (and value) it could not put back.
    bool Rollback();
    VLRegException GetRollbackError() const { return rollbackError_; }
    // Applies one key tree and returns the tree that undoes it: old values
    // as they were, values and keys that were not there flagged for deletion.
    VLRegKey ApplyKey(const VLRegKey& key);

    // One backup tree per applied key, in the order applied; the caller stores
    // them after a successful Apply.
    VLRegKeyList backups;

private:
    // Fills backup as it goes, so a key that fails half-way can still be
    // undone as far as it got. Every key of the backup flagged for deletion
    // adds one entry to createdParents, in the order flagged: the highest key
    // its creation added above it, or an empty key.
    void ApplyKeyInto(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents);
    // Writes a key that was not there with the subkeys that lie below it,
    // which go with it when it is removed, and removes those below it that
    // its records delete. A subkey elsewhere is a key of its own, applied
    // with a backup of its own kept below the key's.
    void ApplyNewKey(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents);
    // Reads the key's tree into its backup, then removes the tree. (A
    // deletion's subkey records are applied after it, by ApplyKeyInto.)
    void ApplyDeletion(const VLRegKey& key, bool exists, VLRegKey& backup, VLRegKeyList& createdParents);
    // Applies the subkey records, then the values; a key that may not be
    // written is skipped with its subkey records. With subkey records, the
    // backup names no key: it holds their backups, then that of the values.
    void ApplyToExistingKey(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents);
    // Applies a record with its backup as the last subkey of holder.
    void ApplyInto(const VLRegKey& record, VLRegKey& holder, VLRegKeyList& createdParents);
    // Backs up and writes the record's values through the open key. An old
    // value the writes leave stored under another spelling is backed up
    // behind the deletion of that spelling, so that it comes back under its
    // own, in a rollback and in an uninstall alike.
    void ApplyValues(const VLRegKey& key, VLRegHandle& handle, VLRegKey& backup);
    bool Restore(const VLRegKey& backup, const VLRegKeyList& createdParents);

    // Per backup, the keys its creations added above the keys they named:
    // only an immediate rollback removes them, each right after the key
    // whose creation made it, so that what an earlier step of the same
    // import deleted there comes back after it.
    std::vector<VLRegKeyList> createdParents_;
    VLRegException lastError_;
    VLRegException rollbackError_;
    bool rolledBack_ = false;
};

// Writes a key record as it stands: values set or deleted, and a key flagged
// for deletion removed with its whole subtree once the subkey records stored
// under it are written. Subkey records are written newest first, as a
// backup's undo steps taken in their order. A record at a bare root names no
// key: only the records below it are written. Keys that may not be written
// are skipped with their subtree; other failures throw VLRegException.
void WriteRegKeyTree(const VLRegKey& key, bool recursive);
// Fills an empty record (root and path set) with the key's values and its
// whole subtree. Throws VLRegException when a key cannot be opened or
// listed, or a value cannot be read as it is stored.
void ReadRegKeyTree(VLRegKey& key);

} // namespace Velora
