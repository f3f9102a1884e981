#include "install/RegTransaction.h"

#include "base/RegHandle.h"
#include "base/StringUtil.h"

#include <vector>

namespace Velora {

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// Reads a present value with its stored type and bytes. False when the value
// has gone since it was listed. A value the record cannot hold as stored (a
// DWORD that is not 4 bytes) throws instead of yielding an empty string: a
// backup holding one would overwrite the real data when it is written back.
bool ReadStoredValue(VLRegHandle& handle, const std::wstring& keyName, const std::wstring& name,
                     VLRegValue& value)
{
    handle.lastError = ERROR_SUCCESS;
    if (handle.QueryValue(name, value)) return true;
    if (handle.lastError == ERROR_FILE_NOT_FOUND) return false;
    const uint32_t code = handle.lastError == ERROR_SUCCESS ? ERROR_INVALID_DATA : handle.lastError;
    throw VLRegException(code, false, keyName, name);
}

// RegDeleteKeyW removes only keys without subkeys, so the tree goes bottom-up.
// Answers the result of removing the key itself.
LONG DeleteRegTree(uint32_t root, const std::wstring& path)
{
    VLRegHandle handle;
    if (handle.Open(RootHandle(root), path, KEY_READ)) {
        std::vector<std::wstring> values, subkeys;
        handle.Enumerate(values, subkeys);
        handle.Close();
        for (const std::wstring& name : subkeys) DeleteRegTree(root, JoinRegPath(path, name));
    }
    return RegDeleteKeyW(RootHandle(root), path.c_str());
}

// The highest key on the way to path that does not exist yet: creating path
// creates every missing key above it as well, and undoing it must remove
// them all.
std::wstring TopMissingKey(uint32_t root, const std::wstring& path)
{
    std::wstring top = path;
    for (size_t cut = top.rfind(L'\\'); cut != std::wstring::npos && cut > 0; cut = top.rfind(L'\\')) {
        VLRegHandle parent;
        if (parent.Open(RootHandle(root), top.substr(0, cut), KEY_READ) || parent.lastError != ERROR_FILE_NOT_FOUND)
            break;
        top.erase(cut);
    }
    return top;
}

int FindNameNoCase(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (CompareNoCase(names[i], name) == 0) return int(i);
    }
    return -1;
}

bool HasValueNoCase(const std::vector<VLRegValue>& values, const std::wstring& name)
{
    for (const VLRegValue& value : values) {
        if (CompareNoCase(value.name, name) == 0) return true;
    }
    return false;
}

} // namespace

const char* VLRegException::what() const noexcept
{
    return "Operate registry failed";
}

bool VLRegTransaction::Apply(const VLRegKeyList& keys)
{
    backups.clear();
    createdParents_.clear();
    try {
        for (const VLRegKey& key : keys) {
            backups.emplace_back();
            ApplyKeyInto(key, backups.back());
        }
        return true;
    } catch (const VLRegException& error) {
        lastError_ = error;
    } catch (...) {
    }
    rolledBack_ = Rollback();
    return false;
}

bool VLRegTransaction::Rollback()
{
    rollbackError_ = VLRegException();
    bool complete = true;
    // Newest first, so that where the import touched a key twice the backup
    // taken first is written last and wins.
    for (auto backup = backups.rbegin(); backup != backups.rend(); ++backup) {
        if (!Restore(*backup)) complete = false;
    }
    // Nothing below these keys was there before the import, so they go last
    // and whole.
    for (auto parent = createdParents_.rbegin(); parent != createdParents_.rend(); ++parent) {
        if (!Restore(*parent)) complete = false;
    }
    return complete;
}

bool VLRegTransaction::Restore(const VLRegKey& backup)
{
    bool restored = true;
    try {
        if (!backup.deleteKey) {
            WriteRegKeyTree(backup, false);
        } else if (backup.HasTarget()) {
            const LONG result = DeleteRegTree(backup.root, backup.path);
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
                throw VLRegException(result, false, backup.GetFullName(false));
        }
    } catch (const VLRegException& error) {
        if (rollbackError_.errorCode == 0) rollbackError_ = error;
        restored = false;
    } catch (const std::exception&) {
        restored = false;
    }
    // Subkeys were applied before the key's values, in order: they are undone
    // after them, in reverse, and each even when something before it failed.
    for (auto subkey = backup.subkeys.rbegin(); subkey != backup.subkeys.rend(); ++subkey) {
        if (!Restore(*subkey)) restored = false;
    }
    return restored;
}

VLRegKey VLRegTransaction::ApplyKey(const VLRegKey& key)
{
    VLRegKey backup;
    ApplyKeyInto(key, backup);
    return backup;
}

void VLRegTransaction::ApplyKeyInto(const VLRegKey& key, VLRegKey& backup)
{
    // A key without a root of the table, or a bare root, is skipped with its
    // values and subkeys; its backup stays an empty key that restores nothing.
    if (!key.HasTarget()) return;

    VLRegHandle probe;
    const bool exists = probe.Open(RootHandle(key.root), key.path, KEY_READ);
    probe.Close();
    if (!exists && probe.lastError != ERROR_FILE_NOT_FOUND) return;

    const std::wstring keyName = key.GetFullName(false);
    backup.root = key.root;
    backup.path = key.path;
    if (key.deleteKey) {
        // A key that was never there is restored by its absence.
        backup.deleteKey = !exists;
        if (exists) {
            ReadRegKeyTree(backup);
            DeleteRegTree(key.root, key.path);
        }
        return;
    }

    if (!exists) {
        // Flagged before anything is written, so a failure inside the subtree
        // still removes whatever part of it was created. The backup names the
        // key itself: an uninstaller following it must not take with it what
        // others put later under the keys created on the way, which only an
        // immediate rollback removes.
        backup.deleteKey = true;
        const std::wstring top = TopMissingKey(key.root, key.path);
        if (top != key.path) {
            VLRegKey parent(key.root, top);
            parent.deleteKey = true;
            createdParents_.push_back(parent);
        }
        WriteRegKeyTree(key, true);
        return;
    }

    VLRegHandle handle;
    if (!handle.Open(RootHandle(key.root), key.path, kReadWrite)) {
        if (handle.lastError == ERROR_ACCESS_DENIED) {
            backup = VLRegKey();
            return;
        }
        throw VLRegException(handle.lastError, true, keyName);
    }
    std::vector<std::wstring> present, presentSubkeys;
    if (!handle.Enumerate(present, presentSubkeys)) {
        throw VLRegException(handle.lastError, false, keyName);
    }

    for (const VLRegKey& subkey : key.subkeys) {
        backup.subkeys.emplace_back();
        ApplyKeyInto(subkey, backup.subkeys.back());
    }

    for (const VLRegValue& value : key.values) {
        // The registry matches value names without regard to case, so the
        // value to restore is the present one under its present name. A
        // value written again holds what this key wrote: only the first
        // backup of it is the state before the import.
        if (!HasValueNoCase(backup.values, value.name)) {
            const int found = FindNameNoCase(present, value.name);
            VLRegValue old(REG_SZ, found >= 0 ? present[found] : value.name);
            if (found < 0 || !ReadStoredValue(handle, keyName, old.name, old)) old.deleteValue = true;
            backup.values.push_back(old);
        }

        if (value.deleteValue) {
            RegDeleteValueW(handle.key.Get(), value.name.c_str());
        } else {
            handle.SetValue(value.name, value);
        }
    }
}

void WriteRegKeyTree(const VLRegKey& key, bool recursive)
{
    if (!key.HasTarget()) return;
    if (key.deleteKey) {
        DeleteRegTree(key.root, key.path);
        return;
    }

    VLRegHandle handle;
    const HKEY root = RootHandle(key.root);
    if (!handle.Open(root, key.path, kReadWrite) && handle.lastError == ERROR_FILE_NOT_FOUND) {
        handle.Create(root, key.path);
    }
    if (!handle.key.Valid()) {
        if (handle.lastError == ERROR_ACCESS_DENIED) return;
        throw VLRegException(handle.lastError, true, key.GetFullName(false));
    }

    for (const VLRegValue& value : key.values) {
        if (value.deleteValue) {
            RegDeleteValueW(handle.key.Get(), value.name.c_str());
        } else {
            handle.SetValue(value.name, value);
        }
    }
    handle.Close();
    if (!recursive) return;
    for (const VLRegKey& subkey : key.subkeys) WriteRegKeyTree(subkey, true);
}

void ReadRegKeyTree(VLRegKey& key)
{
    const std::wstring keyName = key.GetFullName(false);
    if (!key.HasTarget()) throw VLRegException(ERROR_INVALID_PARAMETER, false, keyName);

    VLRegHandle handle;
    if (!handle.Open(RootHandle(key.root), key.path, KEY_READ)) {
        throw VLRegException(handle.lastError, false, keyName);
    }
    std::vector<std::wstring> values, subkeys;
    if (!handle.Enumerate(values, subkeys)) throw VLRegException(handle.lastError, false, keyName);

    for (const std::wstring& name : subkeys) {
        VLRegKey subkey(key.root, JoinRegPath(key.path, name));
        ReadRegKeyTree(subkey);
        key.subkeys.push_back(subkey);
    }
    for (const std::wstring& name : values) {
        VLRegValue value(REG_SZ, name);
        if (ReadStoredValue(handle, keyName, name, value)) key.values.push_back(value);
    }
}

} // namespace Velora
