#include "install/RegTransaction.h"

#include "base/RegHandle.h"
#include "base/StringUtil.h"

#include <vector>

namespace Velora {

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
// Key names are at most 255 characters; the listing buffer has room to spare.
constexpr DWORD kKeyNameBuffer = 512;

// Reads a present value with its stored type and bytes. False when the value
// has gone since it was listed. A value the record cannot hold as stored (a
// DWORD that is not 4 bytes) throws instead of yielding an empty string: a
// backup holding one would overwrite the real data when it is written back.
bool ReadStoredValue(VLRegHandle& handle, const VLRegKey& key, const std::wstring& name, VLRegValue& value)
{
    handle.lastError = ERROR_SUCCESS;
    if (handle.QueryValue(name, value)) return true;
    if (handle.lastError == ERROR_FILE_NOT_FOUND) return false;
    const uint32_t code = handle.lastError == ERROR_SUCCESS ? ERROR_INVALID_DATA : handle.lastError;
    throw VLRegException(code, false, key.GetFullName(false), name);
}

// The part of path below parent, or null when path does not lie below it.
// A key below one that is open is opened through that key's handle: walking
// every key's whole path from the root again would make a deep tree cost the
// square of its depth.
const wchar_t* PathBelow(const std::wstring& parent, const std::wstring& path)
{
    const size_t length = parent.size();
    if (length == 0 || path.size() <= length + 1 || path[length] != L'\\' || path[length + 1] == L'\\' ||
        path.compare(0, length, parent) != 0) {
        return nullptr;
    }
    return path.c_str() + length + 1;
}

// Removes a key with its whole subtree and answers the result of removing the
// key itself. RegDeleteKeyW removes only keys without subkeys, so the tree
// goes bottom-up on a stack of open keys kept here, each key opened and
// removed through its parent's handle: the time grows with the number of
// keys whatever their depth, and no depth runs the thread out of stack.
LONG DeleteRegTree(uint32_t root, const std::wstring& path)
{
    struct Level {
        VLRegHandle handle;
        std::wstring name; // below the key of the level above
        DWORD kept = 0;    // subkeys that could not be removed; the listing starts behind them
    };
    std::vector<Level> levels(1);
    levels[0].name = path;
    levels[0].handle.Open(RootHandle(root), path, KEY_READ);
    wchar_t name[kKeyNameBuffer];
    for (;;) {
        Level& level = levels.back();
        DWORD length = kKeyNameBuffer;
        if (level.handle.key.Valid() && RegEnumKeyExW(level.handle.key.Get(), level.kept, name, &length, nullptr,
                                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            Level child;
            child.name.assign(name, length);
            child.handle.Open(level.handle.key.Get(), child.name, KEY_READ);
            levels.push_back(std::move(child));
            continue;
        }
        level.handle.Close();
        const HKEY parent = levels.size() > 1 ? levels[levels.size() - 2].handle.key.Get() : RootHandle(root);
        const LONG removed = RegDeleteKeyW(parent, level.name.c_str());
        levels.pop_back();
        if (levels.empty()) return removed;
        if (removed != ERROR_SUCCESS) ++levels.back().kept;
    }
}

// A key that is not there, or whose name the registry refuses, needs no
// removal.
bool IsGone(LONG result)
{
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_INVALID_PARAMETER;
}

// Writes a key record and, when recursive, its subkeys, on a stack of open
// keys kept here, each key opened or created through its parent's handle
// when it lies below it. Values are set or deleted as the records say. A key
// flagged for deletion is removed with its subtree and onDeleted(key, result)
// follows; its subkeys are not written. A key that cannot be opened or
// created goes to onFailed(key, error), which answers whether its subkeys
// are still to be written. To undo what a backup's keys did, subkeys go
// newest first, and a key flagged for deletion that has subkeys (keys
// applied after it was made) is removed after they are undone.
template <typename OnDeleted, typename OnFailed>
void WriteKeyTree(const VLRegKey& top, bool recursive, bool undo, OnDeleted onDeleted, OnFailed onFailed)
{
    struct Level {
        VLRegHandle handle;
        const VLRegKey* key = nullptr;
        size_t written = 0; // subkeys
    };
    std::vector<Level> levels;
    const VLRegKey* next = &top;
    for (;;) {
        if (next && next->HasTarget()) {
            const VLRegKey& key = *next;
            Level level;
            level.key = &key;
            if (key.deleteKey) {
                if (!undo || !recursive || key.subkeys.empty()) {
                    onDeleted(key, DeleteRegTree(key.root, key.path));
                    level.key = nullptr;
                }
            } else {
                HKEY base = RootHandle(key.root);
                const wchar_t* below = nullptr;
                if (!levels.empty() && levels.back().handle.key.Valid() && levels.back().key->root == key.root) {
                    below = PathBelow(levels.back().key->path, key.path);
                    if (below) base = levels.back().handle.key.Get();
                }
                const std::wstring name = below ? std::wstring(below) : key.path;
                if (!level.handle.Open(base, name, kReadWrite) && level.handle.lastError == ERROR_FILE_NOT_FOUND) {
                    level.handle.Create(base, name);
                }
                if (level.handle.key.Valid()) {
                    for (const VLRegValue& value : key.values) {
                        if (value.deleteValue) {
                            RegDeleteValueW(level.handle.key.Get(), value.name.c_str());
                        } else {
                            level.handle.SetValue(value.name, value);
                        }
                    }
                } else if (!onFailed(key, level.handle.lastError)) {
                    level.key = nullptr;
                }
            }
            if (level.key && recursive && !key.subkeys.empty()) levels.push_back(std::move(level));
        }
        next = nullptr;
        if (levels.empty()) return;
        Level& level = levels.back();
        const std::vector<VLRegKey>& subkeys = level.key->subkeys;
        if (level.written == subkeys.size()) {
            const VLRegKey& done = *level.key;
            levels.pop_back();
            if (done.deleteKey) onDeleted(done, DeleteRegTree(done.root, done.path));
            continue;
        }
        const size_t index = level.written++;
        next = &subkeys[undo ? subkeys.size() - 1 - index : index];
    }
}

// The highest key on the way to path that does not exist yet: creating path
// creates every missing key above it as well, and undoing it must remove
// them all. A key exists only where every key above it does, so the first
// missing one is found by halving.
std::wstring TopMissingKey(uint32_t root, const std::wstring& path)
{
    std::vector<size_t> cuts;
    for (size_t at = 1; at < path.size(); ++at) {
        if (path[at] == L'\\') cuts.push_back(at);
    }
    size_t low = 0, high = cuts.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        VLRegHandle parent;
        if (!parent.Open(RootHandle(root), path.substr(0, cuts[middle]), KEY_READ) &&
            parent.lastError == ERROR_FILE_NOT_FOUND) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low < cuts.size() ? path.substr(0, cuts[low]) : path;
}

int FindNameNoCase(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (CompareNoCase(names[i], name) == 0) return int(i);
    }
    return -1;
}

// The path with its last key named as the registry spells it, which the
// parent's listing gives: the registry finds a key under any spelling, but
// one deleted under another must come back under its own.
std::wstring StoredPath(uint32_t root, const std::wstring& path)
{
    const size_t cut = path.rfind(L'\\');
    const size_t start = cut == std::wstring::npos ? 0 : cut + 1;
    VLRegHandle parent;
    std::vector<std::wstring> values, subkeys;
    if (!parent.Open(RootHandle(root), path.substr(0, start ? cut : 0), KEY_READ) ||
        !parent.Enumerate(values, subkeys)) {
        return path;
    }
    const int found = FindNameNoCase(subkeys, path.substr(start));
    return found < 0 ? path : path.substr(0, start) + subkeys[found];
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
            createdParents_.emplace_back();
            ApplyKeyInto(key, backups.back(), createdParents_.back());
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
    const VLRegKeyList none;
    for (size_t i = backups.size(); i-- > 0;) {
        if (!Restore(backups[i], i < createdParents_.size() ? createdParents_[i] : none)) complete = false;
    }
    return complete;
}

bool VLRegTransaction::Restore(const VLRegKey& backup, const VLRegKeyList& createdParents)
{
    bool restored = true;
    const auto fail = [this, &restored](const VLRegKey& key, LONG error, bool openFailed) {
        if (rollbackError_.errorCode == 0) rollbackError_ = VLRegException(error, openFailed, key.GetFullName(false));
        restored = false;
    };
    // The walk undoes the steps of the backup in the reverse of the order
    // they were taken (an existing key's subkeys were applied before its
    // values, a new key was made before the keys its record names
    // elsewhere), so it meets the keys the import made newest first: each is
    // followed at once by the removal of the keys made above it.
    size_t flagged = createdParents.size();
    const auto removed = [&](const VLRegKey& key, LONG result) {
        if (!IsGone(result)) fail(key, result, false);
        if (flagged == 0) return;
        const VLRegKey& parent = createdParents[--flagged];
        if (!parent.HasTarget()) return;
        const LONG parentResult = DeleteRegTree(parent.root, parent.path);
        if (!IsGone(parentResult)) fail(parent, parentResult, false);
    };
    // Every step is tried, also below a key that failed.
    const auto failed = [&](const VLRegKey& key, LONG error) {
        if (error != ERROR_ACCESS_DENIED) fail(key, error, true);
        return true;
    };
    try {
        WriteKeyTree(backup, true, true, removed, failed);
    } catch (const std::exception&) {
        restored = false;
    }
    return restored;
}

VLRegKey VLRegTransaction::ApplyKey(const VLRegKey& key)
{
    // The backup undoes the key itself; keys created above it are left.
    VLRegKey backup;
    VLRegKeyList createdParents;
    ApplyKeyInto(key, backup, createdParents);
    return backup;
}

void VLRegTransaction::ApplyKeyInto(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents)
{
    // A key without a root of the table, or a bare root, is skipped with its
    // values and subkeys; its backup stays an empty key that restores nothing.
    if (!key.HasTarget()) return;

    VLRegHandle probe;
    const bool exists = probe.Open(RootHandle(key.root), key.path, KEY_READ);
    probe.Close();
    if (!exists && probe.lastError != ERROR_FILE_NOT_FOUND) return;

    backup.root = key.root;
    backup.path = key.path;
    if (key.deleteKey) {
        if (exists) {
            backup.path = StoredPath(key.root, key.path);
            ReadRegKeyTree(backup);
            DeleteRegTree(key.root, key.path);
        } else {
            // A key that was never there is restored by its absence.
            createdParents.emplace_back();
            backup.deleteKey = true;
        }
        return;
    }

    if (!exists) {
        // Flagged before anything is written, so a failure inside the subtree
        // still removes whatever part of it was created. The backup names the
        // key itself: an uninstaller following it must not take with it what
        // others put later under the keys created on the way, which only an
        // immediate rollback removes.
        VLRegKey parent;
        const std::wstring top = TopMissingKey(key.root, key.path);
        if (top != key.path) {
            parent = VLRegKey(key.root, top);
            parent.deleteKey = true;
        }
        createdParents.push_back(parent);
        backup.deleteKey = true;
        ApplyNewKey(key, backup, createdParents);
        return;
    }

    VLRegHandle handle;
    if (!handle.Open(RootHandle(key.root), key.path, kReadWrite)) {
        if (handle.lastError == ERROR_ACCESS_DENIED) {
            backup = VLRegKey();
            return;
        }
        throw VLRegException(handle.lastError, true, key.GetFullName(false));
    }
    std::vector<std::wstring> present, presentSubkeys;
    if (!handle.Enumerate(present, presentSubkeys)) {
        throw VLRegException(handle.lastError, false, key.GetFullName(false));
    }

    for (const VLRegKey& subkey : key.subkeys) {
        backup.subkeys.emplace_back();
        ApplyKeyInto(subkey, backup.subkeys.back(), createdParents);
    }

    for (const VLRegValue& value : key.values) {
        // The registry matches value names without regard to case, so the
        // value to restore is the present one under its present name. A
        // value written again holds what this key wrote: only the first
        // backup of it is the state before the import.
        if (!HasValueNoCase(backup.values, value.name)) {
            const int found = FindNameNoCase(present, value.name);
            VLRegValue old(REG_SZ, found >= 0 ? present[found] : value.name);
            if (found < 0 || !ReadStoredValue(handle, key, old.name, old)) old.deleteValue = true;
            backup.values.push_back(old);
        }

        if (value.deleteValue) {
            RegDeleteValueW(handle.key.Get(), value.name.c_str());
        } else {
            handle.SetValue(value.name, value);
        }
    }
}

void VLRegTransaction::ApplyNewKey(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents)
{
    WriteRegKeyTree(key, false);
    for (const VLRegKey& subkey : key.subkeys) {
        if (subkey.root == key.root && PathBelow(key.path, subkey.path)) {
            // Not there either; removing the new key removes it.
            if (!subkey.deleteKey) ApplyNewKey(subkey, backup, createdParents);
        } else {
            backup.subkeys.emplace_back();
            ApplyKeyInto(subkey, backup.subkeys.back(), createdParents);
        }
    }
}

void WriteRegKeyTree(const VLRegKey& key, bool recursive)
{
    WriteKeyTree(
        key, recursive, false, [](const VLRegKey&, LONG) {},
        [](const VLRegKey& failed, LONG error) {
            // A key that may not be written is skipped with its subtree.
            if (error == ERROR_ACCESS_DENIED) return false;
            throw VLRegException(error, true, failed.GetFullName(false));
        });
}

void ReadRegKeyTree(VLRegKey& key)
{
    if (!key.HasTarget()) throw VLRegException(ERROR_INVALID_PARAMETER, false, key.GetFullName(false));

    // One open key per level of the path being read, on a stack kept here,
    // so that no depth runs the thread out of stack; each subkey is opened
    // through its parent's handle.
    struct Level {
        VLRegHandle handle;
        VLRegKey* key = nullptr;
        std::vector<std::wstring> subkeys; // names, in listing order
        size_t read = 0;
    };
    std::vector<Level> levels;
    // Opens a key, reads its values and adds its subkeys as records still to
    // be read.
    const auto enter = [&levels](HKEY parent, const std::wstring& name, VLRegKey& node) {
        levels.emplace_back();
        Level& level = levels.back();
        level.key = &node;
        std::vector<std::wstring> values;
        if (!level.handle.Open(parent, name, KEY_READ) || !level.handle.Enumerate(values, level.subkeys)) {
            throw VLRegException(level.handle.lastError, false, node.GetFullName(false));
        }
        node.subkeys.reserve(level.subkeys.size());
        for (const std::wstring& subkey : level.subkeys)
            node.subkeys.emplace_back(node.root, JoinRegPath(node.path, subkey));
        for (const std::wstring& valueName : values) {
            VLRegValue value(REG_SZ, valueName);
            if (ReadStoredValue(level.handle, node, valueName, value)) node.values.push_back(value);
        }
    };
    enter(RootHandle(key.root), key.path, key);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.read == level.subkeys.size()) {
            levels.pop_back();
            continue;
        }
        const size_t index = level.read++;
        const HKEY parent = level.handle.key.Get();
        VLRegKey& subkey = level.key->subkeys[index];
        const std::wstring name = std::move(level.subkeys[index]);
        enter(parent, name, subkey);
    }
}

} // namespace Velora
