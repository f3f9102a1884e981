// Registry keys as the installer carries them: a key record with its values
// and its whole subtree, the names of the predefined roots, and the binary
// record and key blob that packages and uninstall records store.
#pragma once

#include "base/Buffer.h"
#include "base/RegValue.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace Velora {

constexpr uint32_t kRegRootCurrentUser = 0x80000001;

struct VLRegRootRow {
    uint32_t id;
    const wchar_t* name;
    uint32_t nameLength;
};

// The predefined roots a key name may start with, in the order they are
// tried. HKEY_CLASSES_ROOT is deliberately absent: packages never write there.
extern const VLRegRootRow RegRootTable[6];

// The row whose name starts the text and is followed by '\' or ends it; null
// when none does ("HKEY_USERSX" names no root).
const VLRegRootRow* FindRootKey(const std::wstring& fullName);
// The row of a root id; null for an id not in the table.
const VLRegRootRow* FindRootRow(uint32_t root);
// The predefined handle of a root id.
HKEY RootHandle(uint32_t root);

// The path and the child name with one backslash between them.
std::wstring JoinRegPath(const std::wstring& path, const std::wstring& child);

class VLRegKey {
public:
    VLRegKey() = default;
    VLRegKey(uint32_t root, const std::wstring& path) : root(root), path(path) {}

    // A key built from a full name; a name without a known root leaves the
    // root HKEY_CURRENT_USER and the path empty.
    static VLRegKey FromName(const std::wstring& fullName);
    // Sets deleteKey, root and path from "[-]ROOT[\path]". False, with root and
    // path untouched, when the name starts with no root of the table.
    bool ParseName(const std::wstring& fullName);
    std::wstring GetFullName(bool withMinus) const;
    // Whether the key names a real key below a known root. Keys that do not
    // (an unknown root, or a root alone) are never applied, read or deleted:
    // at an empty path they would act on a whole hive.
    bool HasTarget() const;

    uint32_t GetSerializedSize() const;
    void Serialize(VLBuffer<unsigned char>& out) const;
    // Reads one binary key record of length bytes. Every count and length is
    // checked against what is left, so a lying record is refused, never
    // over-read; a key whose root is unknown is refused as well. Values keep
    // their bytes as stored, but for those whose type is the delete mark.
    bool Deserialize(const unsigned char* record, uint32_t length);

    std::vector<VLRegValue> values;
    std::vector<VLRegKey> subkeys; // each with its full path, not a relative name
    uint32_t root = kRegRootCurrentUser;
    std::wstring path; // below the root, no leading backslash
    bool deleteKey = false;
    // Read for a backup and kept only while the import runs, as the binary
    // record has no field for them: the key was volatile, so it is made
    // volatile again when written back, or its volatility could not be told
    // (the process may not make a key below it), so it is made lasting but
    // below a volatile key; its owner, group and access list, and its class
    // name, which it gets again when the rollback makes it anew (empty when
    // the process may not read them, or it has none).
    bool volatileKey = false;
    bool volatilityUnknown = false;
    std::vector<unsigned char> security;
    std::wstring keyClass;
};

using VLRegKeyList = std::deque<VLRegKey>;

// Key blob: key count, body length, then each key's record length and record.
void SerializeRegKeys(const VLRegKeyList& keys, VLBuffer<unsigned char>& out);
// False for a short or lying blob, or when a key cannot be read; the keys read
// before the bad one stay in the list, the bad one is dropped.
bool DeserializeRegKeys(const VLBuffer<unsigned char>& blob, VLRegKeyList& keys);
// The target becomes one blob with the earlier blob's keys, then its own.
void MergeRegBackups(VLBuffer<unsigned char>& target, const VLBuffer<unsigned char>& earlier);

} // namespace Velora
