#include "install/RegTransaction.h"

#include "base/RegHandle.h"
#include "base/TreeWalk.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace Velora {

namespace {

// The system's own calls below Win32, from the library every process has
// loaded: a key's name as the registry spells it, which Win32 does not give,
// and the removal of a key through a handle already open to it.
template <typename Function> Function NativeFunction(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), name)));
}

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
// Key names are at most 255 characters; the listing buffer has room to spare.
constexpr DWORD kKeyNameBuffer = 512;

// Reads a present value with its stored type and bytes. False when the value
// has gone since it was listed; a value that cannot be read throws instead of
// yielding an empty string: a backup holding one would overwrite the real
// data when it is written back.
bool ReadStoredValue(VLRegHandle& handle, const VLRegKey& key, const std::wstring& name, VLRegValue& value)
{
    if (handle.QueryValue(name, value)) return true;
    if (handle.lastError == ERROR_FILE_NOT_FOUND) return false;
    throw VLRegException(handle.lastError, false, key.GetFullName(false), name);
}

// The part of path below parent, or null when path does not lie below it.
// A key below one that is open is opened through that key's handle: walking
// every key's whole path from the root again would make a deep tree cost the
// square of its depth.
const wchar_t* PathBelow(const std::wstring& parent, const std::wstring& path)
{
    const size_t length = parent.size();
    if (length == 0 || path.size() <= length + 1 || path[length] != L'\\' || path[length + 1] == L'\\' ||
        CompareRegNames(path.data(), length, parent.data(), length) != 0) {
        return nullptr;
    }
    return path.c_str() + length + 1;
}

// Removes a key through a handle to it, which RegDeleteKeyW would open anew
// by its name.
LONG RemoveKey(HKEY key)
{
    static const auto deleteKey = NativeFunction<LONG(NTAPI*)(HANDLE)>("NtDeleteKey");
    static const auto toError = NativeFunction<ULONG(NTAPI*)(LONG)>("RtlNtStatusToDosError");
    return LONG(toError(deleteKey(key)));
}

// Removes a key with its whole subtree and answers the result of removing the
// key itself. A key that has subkeys cannot be removed, so the tree goes
// bottom-up, each key opened through its parent's handle: the time grows
// with the number of keys whatever their depth.
LONG DeleteRegTree(uint32_t root, const std::wstring& path)
{
    constexpr REGSAM kRemove = KEY_ENUMERATE_SUB_KEYS | DELETE;
    struct Level {
        VLRegHandle handle;
        DWORD kept = 0; // subkeys that could not be removed; the listing starts behind them
    };
    Level top;
    top.handle.Open(RootHandle(root), path, kRemove);
    LONG removal = ERROR_SUCCESS;
    WalkTree(
        std::move(top),
        [](Level& level, Level& child) {
            wchar_t name[kKeyNameBuffer];
            DWORD length = kKeyNameBuffer;
            if (!level.handle.key.Valid() || RegEnumKeyExW(level.handle.key.Get(), level.kept, name, &length,
                                                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                return false;
            }
            child.handle.Open(level.handle.key.Get(), std::wstring(name, length), kRemove);
            return true;
        },
        [&](Level& level, Level* parent) {
            removal = level.handle.key.Valid() ? RemoveKey(level.handle.key.Get()) : level.handle.lastError;
            if (parent && removal != ERROR_SUCCESS) ++parent->kept;
        });
    return removal;
}

// A key removal that left nothing to remove: the key is gone, was never
// there, or has a name the registry refuses (which it therefore never made).
bool LeftNothingBehind(LONG removal)
{
    return removal == ERROR_SUCCESS || removal == ERROR_FILE_NOT_FOUND || removal == ERROR_INVALID_PARAMETER;
}

// Sets or deletes a value as its record says; a value to delete that is not
// there counts as deleted.
LONG WriteValue(VLRegHandle& handle, const VLRegValue& value)
{
    if (value.deleteValue) {
        const LONG result = RegDeleteValueW(handle.key.Get(), value.name.c_str());
        return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    }
    handle.lastError = ERROR_SUCCESS;
    return handle.SetValue(value.name, value) ? ERROR_SUCCESS : handle.lastError;
}

// Makes a missing key, volatile or lasting, with the class name of its
// record, and answers whether this call made it. Made by its whole path in
// one call, every missing key above it would be made volatile too where it
// is volatile, and take its class name: those are made lasting and without
// one first, where their own backups have not made them already.
bool MakeKey(VLRegHandle& handle, HKEY base, const std::wstring& name, const VLRegKey& key, bool isVolatile)
{
    const DWORD options = isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
    const size_t cut = isVolatile || !key.keyClass.empty() ? name.rfind(L'\\') : std::wstring::npos;
    DWORD disposition = 0;
    bool made = false;
    if (cut == std::wstring::npos) {
        made = handle.Create(base, name, options, KEY_ALL_ACCESS, &disposition, key.keyClass);
    } else {
        // Opened first: Wine gives a key it is asked to make, when it is
        // there already, the class name of that call, and would clear its own.
        VLRegHandle parent;
        const std::wstring parentName = name.substr(0, cut);
        if (!parent.Open(base, parentName, KEY_CREATE_SUB_KEY) &&
            (parent.lastError != ERROR_FILE_NOT_FOUND ||
             !parent.Create(base, parentName, REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY))) {
            handle.lastError = parent.lastError;
            return false;
        }
        made = handle.Create(parent.key.Get(), name.substr(cut + 1), options, KEY_ALL_ACCESS, &disposition,
                             key.keyClass);
    }
    return made && disposition == REG_CREATED_NEW_KEY;
}

// Opens a key to write it, or makes it when it is missing, as volatile as
// its record says; made tells which. A key whose volatility could not be
// told is made lasting, which keeps no key out below it and loses none of
// its names, bytes or access list (it would only outlive a restart); below a
// volatile key, where the registry allows no other, it is made volatile.
bool OpenForWriting(VLRegHandle& handle, HKEY base, const std::wstring& name, const VLRegKey& key, bool& made)
{
    made = false;
    if (handle.Open(base, name, kReadWrite) || handle.lastError != ERROR_FILE_NOT_FOUND) return handle.key.Valid();
    made = MakeKey(handle, base, name, key, key.volatileKey);
    if (!handle.key.Valid() && key.volatilityUnknown && handle.lastError == ERROR_CHILD_MUST_BE_VOLATILE) {
        made = MakeKey(handle, base, name, key, true);
    }
    return handle.key.Valid();
}

constexpr SECURITY_INFORMATION kSecurityParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The key's owner, group and access list as one descriptor; empty when the
// process may not read them.
std::vector<unsigned char> ReadSecurity(HKEY key)
{
    std::vector<unsigned char> security(256);
    DWORD size = DWORD(security.size());
    LONG result = RegGetKeySecurity(key, kSecurityParts, security.data(), &size);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
        security.resize(size);
        result = RegGetKeySecurity(key, kSecurityParts, security.data(), &size);
    }
    security.resize(result == ERROR_SUCCESS ? size : 0);
    return security;
}

// Gives a key made again the owner, group and access list its backup kept.
// An owner the process may not give (another account's, without the right
// to restore) stays the one the making gave.
LONG PutSecurity(HKEY key, const std::vector<unsigned char>& security)
{
    const PSECURITY_DESCRIPTOR descriptor = const_cast<unsigned char*>(security.data());
    const LONG result = RegSetKeySecurity(key, kSecurityParts, descriptor);
    if (result != ERROR_INVALID_OWNER) return result;
    return RegSetKeySecurity(key, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor);
}

// Writes a key record and, when recursive, its subkeys, each key opened or
// created through its parent's handle when it lies below it. Values are set
// or deleted as the records say, and a key made again gets the security its
// record kept once its subkeys are written; what cannot be goes to
// onWriteFailed(key, value name or empty, error). A key flagged for deletion
// is removed with its subtree, after its subkeys are written when it has any
// (the keys its import applied elsewhere after making it), and
// onRemoved(key, result) follows. A key that cannot be opened or created
// goes to onOpenFailed(key, error), which answers whether its subkeys are
// still to be written.
// Subkeys go newest first: a backup's subkeys undo steps taken in their
// order, whether the import rolls back at once or an uninstall reads them
// from its record; among a tree's own subkeys the order does not matter.
template <typename OnRemoved, typename OnOpenFailed, typename OnWriteFailed>
void WriteKeyTree(const VLRegKey& top, bool recursive, OnRemoved onRemoved, OnOpenFailed onOpenFailed,
                  OnWriteFailed onWriteFailed)
{
    struct Level {
        VLRegHandle handle;
        const VLRegKey* key = nullptr;
        bool descend = false; // into the subkeys
        bool made = false;    // the key was missing
        size_t written = 0;   // subkeys
    };
    const auto enter = [&](const VLRegKey& key, const Level* parent, Level& level) {
        level.key = &key;
        level.descend = recursive && !key.subkeys.empty();
        // A record that names no key only holds the records below it.
        if (!key.HasTarget()) return;
        if (key.deleteKey) {
            if (!level.descend) onRemoved(key, DeleteRegTree(key.root, key.path));
            return;
        }
        const HKEY root = RootHandle(key.root);
        const wchar_t* below = nullptr;
        if (parent && parent->handle.key.Valid() && parent->key->root == key.root) {
            below = PathBelow(parent->key->path, key.path);
        }
        bool opened = below ? OpenForWriting(level.handle, parent->handle.key.Get(), below, key, level.made)
                            : OpenForWriting(level.handle, root, key.path, key, level.made);
        // An earlier step of the same walk may have removed the parent and
        // made it anew: its handle then names a key that is gone.
        if (!opened && below && level.handle.lastError == ERROR_KEY_DELETED) {
            opened = OpenForWriting(level.handle, root, key.path, key, level.made);
        }
        if (opened) {
            for (const VLRegValue& value : key.values) {
                const LONG result = WriteValue(level.handle, value);
                if (result != ERROR_SUCCESS) onWriteFailed(key, value.name, result);
            }
        } else if (!onOpenFailed(key, level.handle.lastError)) {
            level.descend = false;
        }
    };
    Level first;
    enter(top, nullptr, first);
    WalkTree(
        std::move(first),
        [&](Level& level, Level& child) {
            const std::vector<VLRegKey>& subkeys = level.key->subkeys;
            if (!level.descend || level.written == subkeys.size()) return false;
            const size_t index = level.written++;
            enter(subkeys[subkeys.size() - 1 - index], &level, child);
            return true;
        },
        [&](const Level& level, const Level*) {
            const VLRegKey& done = *level.key;
            // Last, as an access list kept may keep this process out.
            if (level.made && !done.security.empty()) {
                const LONG result = PutSecurity(level.handle.key.Get(), done.security);
                if (result != ERROR_SUCCESS) onWriteFailed(done, std::wstring(), result);
            }
            if (level.descend && done.deleteKey) onRemoved(done, DeleteRegTree(done.root, done.path));
        });
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

// The path of an open key with the keys on it named as the registry spells
// them: the registry finds a key under any spelling, but one deleted under
// another must come back under its own. The key's name in the registry
// spells them from its end on; where a link or a redirection names a key
// otherwise there, the path keeps its own spelling from there up.
std::wstring StoredPath(HKEY key, const std::wstring& path)
{
    static const auto queryKey = NativeFunction<LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*)>("NtQueryKey");
    // The name information: its byte length, then the name.
    constexpr int kKeyNameInformation = 3;
    std::vector<ULONG> info(256);
    ULONG needed = 0;
    LONG status = queryKey(key, kKeyNameInformation, info.data(), ULONG(info.size() * sizeof(ULONG)), &needed);
    if (status != 0 && needed > info.size() * sizeof(ULONG)) {
        info.resize(needed / sizeof(ULONG) + 1);
        status = queryKey(key, kKeyNameInformation, info.data(), ULONG(info.size() * sizeof(ULONG)), &needed);
    }
    if (status != 0) return path;
    const wchar_t* name = reinterpret_cast<const wchar_t*>(info.data() + 1);
    std::wstring stored = path;
    for (size_t pathEnd = stored.size(), nameEnd = info[0] / sizeof(wchar_t); pathEnd && nameEnd;) {
        const size_t pathCut = stored.rfind(L'\\', pathEnd - 1);
        const size_t pathStart = pathCut == std::wstring::npos ? 0 : pathCut + 1;
        size_t nameStart = nameEnd;
        while (nameStart && name[nameStart - 1] != L'\\') --nameStart;
        const size_t length = pathEnd - pathStart;
        if (CompareRegNames(stored.data() + pathStart, length, name + nameStart, nameEnd - nameStart) != 0) break;
        stored.replace(pathStart, length, name + nameStart, length);
        if (pathStart == 0 || nameStart == 0) break;
        pathEnd = pathStart - 1;
        nameEnd = nameStart - 1;
    }
    return stored;
}

// Whether the key holds the record's values as they stand: a key the undo
// may not write needs nothing written when the import never changed it. A
// key it may not even read is there, and needs nothing when the record has
// no values to put back (a subkey the backup listed but never read).
bool HoldsValues(const VLRegKey& key)
{
    VLRegHandle handle;
    if (!handle.Open(RootHandle(key.root), key.path, KEY_READ)) {
        return handle.lastError == ERROR_ACCESS_DENIED && key.values.empty();
    }
    VLBuffer<unsigned char> wanted, held;
    for (const VLRegValue& value : key.values) {
        VLRegValue present(REG_NONE, value.name);
        handle.lastError = ERROR_SUCCESS;
        const bool found = handle.QueryValue(value.name, present);
        if (value.deleteValue) {
            if (found || handle.lastError != ERROR_FILE_NOT_FOUND) return false;
            continue;
        }
        if (!found || present.type != value.type) return false;
        value.GetRawData(wanted);
        present.GetRawData(held);
        if (wanted.size != held.size || (held.size && std::memcmp(wanted.data, held.data, held.size) != 0)) {
            return false;
        }
    }
    return true;
}

enum class Volatility { lasting, isVolatile, unknown };

// Whether a key is volatile. The registry answers no such question (Wine's
// NtQueryKey has no class that tells), but it refuses a lasting key below a
// volatile one: a lasting probe key is made below it and removed at once.
// Only a probe key made here tells: a key of the probe's name that is there
// already is passed by for another name. A key below which the process may
// not make keys cannot be told; it is still deleted, as the system's own
// delete does, and comes back as OpenForWriting makes such a key.
Volatility ProbeVolatility(HKEY key, const VLRegKey& node)
{
    VLRegHandle parent;
    if (!parent.Open(key, std::wstring(), KEY_CREATE_SUB_KEY)) {
        if (parent.lastError == ERROR_ACCESS_DENIED) return Volatility::unknown;
        throw VLRegException(parent.lastError, false, node.GetFullName(false));
    }
    for (std::wstring name = L"VLVolatileProbe";; name += L'_') {
        VLRegHandle probe;
        DWORD disposition = 0;
        if (!probe.Create(parent.key.Get(), name, REG_OPTION_NON_VOLATILE, DELETE, &disposition)) {
            if (probe.lastError == ERROR_CHILD_MUST_BE_VOLATILE) return Volatility::isVolatile;
            throw VLRegException(probe.lastError, false, node.GetFullName(false));
        }
        if (disposition == REG_CREATED_NEW_KEY) {
            RemoveKey(probe.key.Get());
            return Volatility::lasting;
        }
    }
}

// The key's class name, as RegCreateKeyEx gave it; empty when it has none.
std::wstring ReadClass(HKEY key, const VLRegKey& node)
{
    std::vector<wchar_t> text(256);
    for (;;) {
        DWORD length = DWORD(text.size());
        const LONG result = RegQueryInfoKeyW(key, text.data(), &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) return std::wstring(text.data(), length);
        if (result != ERROR_MORE_DATA || text.size() > 65536) {
            throw VLRegException(result, false, node.GetFullName(false));
        }
        text.resize(std::max<size_t>(text.size() * 4, length + 1));
    }
}

// ReadRegKeyTree, which for a backup also keeps each key's security, tells
// volatile keys and names the top key as the registry spells it.
void ReadKeyTree(VLRegKey& key, bool forBackup)
{
    if (!key.HasTarget()) throw VLRegException(ERROR_INVALID_PARAMETER, false, key.GetFullName(false));

    // One open key per level of the path being read; each subkey is opened
    // through its parent's handle.
    struct Level {
        VLRegHandle handle;
        VLRegKey* key = nullptr;
        std::vector<std::wstring> subkeys; // names, in listing order
        size_t read = 0;
        bool lastingBelow = false; // a subkey is known to be lasting
    };
    // Opens a key, reads its values and adds its subkeys as records still to
    // be read.
    const auto enter = [&key, forBackup](HKEY parent, const std::wstring& name, VLRegKey& node, Level& level) {
        level.key = &node;
        if (!level.handle.Open(parent, name, KEY_READ) || !level.handle.Enumerate(node.values, level.subkeys)) {
            throw VLRegException(level.handle.lastError, false, node.GetFullName(false));
        }
        if (forBackup) {
            if (&node == &key) node.path = StoredPath(level.handle.key.Get(), node.path);
            node.security = ReadSecurity(level.handle.key.Get());
            node.keyClass = ReadClass(level.handle.key.Get(), node);
        }
        node.subkeys.reserve(level.subkeys.size());
        for (const std::wstring& subkey : level.subkeys)
            node.subkeys.emplace_back(node.root, JoinRegPath(node.path, subkey));
    };
    Level top;
    enter(RootHandle(key.root), key.path, key, top);
    WalkTree(
        std::move(top),
        [&enter](Level& level, Level& child) {
            if (level.read == level.subkeys.size()) return false;
            const size_t index = level.read++;
            enter(level.handle.key.Get(), level.subkeys[index], level.key->subkeys[index], child);
            return true;
        },
        [forBackup](const Level& level, Level* parent) {
            if (!forBackup) return;
            // A key with a lasting subkey is lasting, as the registry allows
            // no other; only the others need the probe, which writes.
            VLRegKey& node = *level.key;
            const Volatility volatility =
                level.lastingBelow ? Volatility::lasting : ProbeVolatility(level.handle.key.Get(), node);
            node.volatileKey = volatility == Volatility::isVolatile;
            node.volatilityUnknown = volatility == Volatility::unknown;
            if (parent && volatility == Volatility::lasting) parent->lastingBelow = true;
        });
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
    Rollback();
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
    rolledBack_ = complete;
    return complete;
}

bool VLRegTransaction::Restore(const VLRegKey& backup, const VLRegKeyList& createdParents)
{
    bool restored = true;
    const auto fail = [this, &restored](const VLRegKey& key, LONG error, bool openFailed,
                                        const std::wstring& valueName) {
        if (rollbackError_.errorCode == 0) {
            rollbackError_ = VLRegException(error, openFailed, key.GetFullName(false), valueName);
        }
        restored = false;
    };
    // The walk undoes the steps of the backup in the reverse of the order
    // they were taken (an existing key's subkeys were applied before its
    // values, a new key was made before the keys its record names
    // elsewhere), so it meets the keys the import made newest first: each is
    // followed at once by the removal of the keys made above it.
    size_t parentsNotMet = createdParents.size();
    const auto removeCreatedParents = [&](const VLRegKey& key, LONG result) {
        if (!LeftNothingBehind(result)) fail(key, result, false, std::wstring());
        if (parentsNotMet == 0) return;
        const VLRegKey& parent = createdParents[--parentsNotMet];
        if (!parent.HasTarget()) return;
        const LONG parentResult = DeleteRegTree(parent.root, parent.path);
        if (!LeftNothingBehind(parentResult)) fail(parent, parentResult, false, std::wstring());
    };
    // Every step is tried, also below a key that failed. A key the undo may
    // not write is no failure when it holds what the backup says already.
    const auto reportOpenFailure = [&](const VLRegKey& key, LONG error) {
        if (error != ERROR_ACCESS_DENIED || !HoldsValues(key)) fail(key, error, true, std::wstring());
        return true;
    };
    const auto reportWriteFailure = [&](const VLRegKey& key, const std::wstring& valueName, LONG error) {
        fail(key, error, false, valueName);
    };
    try {
        WriteKeyTree(backup, true, removeCreatedParents, reportOpenFailure, reportWriteFailure);
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
    if (key.deleteKey && !key.subkeys.empty()) {
        // Its subkey records are applied once the key is gone. The backup
        // names no key of its own: it holds the deletion's backup, then
        // theirs, which are undone first.
        backup.root = key.root;
        VLRegKey deletion(key.root, key.path);
        deletion.deleteKey = true;
        ApplyInto(deletion, backup, createdParents);
        for (const VLRegKey& subkey : key.subkeys) ApplyInto(subkey, backup, createdParents);
        return;
    }

    VLRegHandle probe;
    const bool exists = probe.Open(RootHandle(key.root), key.path, KEY_READ);
    probe.Close();
    if (!exists && probe.lastError != ERROR_FILE_NOT_FOUND) {
        // A key the process may not read is skipped. Any other answer (a
        // name the registry refuses) would drop the key's data unseen.
        if (probe.lastError == ERROR_ACCESS_DENIED) return;
        throw VLRegException(probe.lastError, true, key.GetFullName(false));
    }

    backup.root = key.root;
    backup.path = key.path;
    if (key.deleteKey) {
        ApplyDeletion(key, exists, backup, createdParents);
    } else if (!exists) {
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
    } else {
        ApplyToExistingKey(key, backup, createdParents);
    }
}

void VLRegTransaction::ApplyDeletion(const VLRegKey& key, bool exists, VLRegKey& backup,
                                     VLRegKeyList& createdParents)
{
    if (!exists) {
        // A key that was never there is restored by its absence.
        createdParents.emplace_back();
        backup.deleteKey = true;
        return;
    }
    ReadKeyTree(backup, true);
    // A tree only partly removed has lost keys: the import fails and puts
    // them back.
    const LONG removal = DeleteRegTree(key.root, key.path);
    if (removal != ERROR_SUCCESS && removal != ERROR_FILE_NOT_FOUND) {
        throw VLRegException(removal, false, key.GetFullName(false));
    }
}

void VLRegTransaction::ApplyToExistingKey(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents)
{
    VLRegHandle handle;
    if (!handle.Open(RootHandle(key.root), key.path, kReadWrite)) {
        if (handle.lastError == ERROR_ACCESS_DENIED) {
            backup = VLRegKey();
            return;
        }
        throw VLRegException(handle.lastError, true, key.GetFullName(false));
    }
    if (key.subkeys.empty()) {
        ApplyValues(key, handle, backup);
        return;
    }
    // Subkey records may remove this key, or keys above it, and make them
    // anew. The backup names no key of its own: it holds the backups of the
    // subkey records and, last, that of the values, which is undone first. A
    // key removed on the way comes back from the backup of the record that
    // removed it, as it was, volatile or not, before anything is written to
    // it.
    handle.Close();
    backup.path.clear();
    for (const VLRegKey& subkey : key.subkeys) ApplyInto(subkey, backup, createdParents);
    if (key.values.empty()) return;
    VLRegKey values(key.root, key.path);
    values.values = key.values;
    ApplyInto(values, backup, createdParents);
}

void VLRegTransaction::ApplyValues(const VLRegKey& key, VLRegHandle& handle, VLRegKey& backup)
{
    std::vector<std::wstring> present, presentSubkeys;
    if (!handle.Enumerate(present, presentSubkeys)) {
        throw VLRegException(handle.lastError, false, key.GetFullName(false));
    }
    // Sorted once, so that a key with many values costs a search per value.
    std::sort(present.begin(), present.end(), RegNameLess());
    // Per name as the registry matches it, the spelling it is stored under
    // while this key is written, if it is there: a value deleted and set
    // again takes the spelling of the setting.
    struct Stored {
        std::wstring spelling;
        bool there = false;
    };
    std::map<std::wstring, Stored, RegNameLess> stored;
    std::vector<std::pair<VLRegValue, const Stored*>> olds;
    // Setting a value keeps the spelling it is stored under: an old value
    // now stored under another one comes back only once that one is gone.
    const auto keepBackups = [&olds, &backup] {
        for (auto& [old, now] : olds) {
            if (now->there && !old.deleteValue && now->spelling != old.name) {
                backup.values.emplace_back(REG_SZ, now->spelling);
                backup.values.back().deleteValue = true;
            }
            backup.values.push_back(std::move(old));
        }
    };
    try {
        for (const VLRegValue& value : key.values) {
            // The registry matches value names without regard to case, so
            // the value to restore is the present one under its present
            // name. A value written again holds what this key wrote: only
            // the first backup of it is the state before the import.
            const auto [entry, first] = stored.try_emplace(value.name);
            Stored& now = entry->second;
            if (first) {
                const auto found = std::lower_bound(present.begin(), present.end(), value.name, RegNameLess());
                const bool there = found != present.end() && CompareRegNames(*found, value.name) == 0;
                VLRegValue old(REG_SZ, there ? *found : value.name);
                if (!there || !ReadStoredValue(handle, key, old.name, old)) old.deleteValue = true;
                now = Stored{old.name, !old.deleteValue};
                olds.emplace_back(old, &now);
            }
            const LONG result = WriteValue(handle, value);
            if (result != ERROR_SUCCESS) throw VLRegException(result, false, key.GetFullName(false), value.name);
            if (value.deleteValue) {
                now.there = false;
            } else if (!now.there) {
                now = Stored{value.name, true};
            }
        }
    } catch (...) {
        keepBackups();
        throw;
    }
    keepBackups();
}

void VLRegTransaction::ApplyNewKey(const VLRegKey& key, VLRegKey& backup, VLRegKeyList& createdParents)
{
    if (!key.deleteKey) {
        WriteRegKeyTree(key, false);
    } else {
        // Below a key this import made: what goes was made by it too.
        const LONG removal = DeleteRegTree(key.root, key.path);
        if (!LeftNothingBehind(removal)) throw VLRegException(removal, false, key.GetFullName(false));
    }
    for (const VLRegKey& subkey : key.subkeys) {
        if (subkey.root == key.root && PathBelow(key.path, subkey.path)) {
            // Not there before either; removing the new key removes it.
            ApplyNewKey(subkey, backup, createdParents);
        } else {
            ApplyInto(subkey, backup, createdParents);
        }
    }
}

void VLRegTransaction::ApplyInto(const VLRegKey& record, VLRegKey& holder, VLRegKeyList& createdParents)
{
    holder.subkeys.emplace_back();
    ApplyKeyInto(record, holder.subkeys.back(), createdParents);
}

void WriteRegKeyTree(const VLRegKey& key, bool recursive)
{
    WriteKeyTree(
        key, recursive,
        [](const VLRegKey& removed, LONG result) {
            if (!LeftNothingBehind(result)) throw VLRegException(result, false, removed.GetFullName(false));
        },
        [](const VLRegKey& failed, LONG error) {
            // A key that may not be written is skipped with its subtree.
            if (error == ERROR_ACCESS_DENIED) return false;
            throw VLRegException(error, true, failed.GetFullName(false));
        },
        [](const VLRegKey& failed, const std::wstring& valueName, LONG error) {
            throw VLRegException(error, false, failed.GetFullName(false), valueName);
        });
}

void ReadRegKeyTree(VLRegKey& key)
{
    ReadKeyTree(key, false);
}

} // namespace Velora
