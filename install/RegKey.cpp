#include "install/RegKey.h"

#include <cstring>
#include <exception>
#include <utility>

namespace Velora {

const VLRegRootRow RegRootTable[6] = {
    {0x80000001, L"HKEY_CURRENT_USER", 17},   {0x80000005, L"HKEY_CURRENT_CONFIG", 19},
    {0x80000003, L"HKEY_USERS", 10},          {0x80000002, L"HKEY_LOCAL_MACHINE", 18},
    {0x80000004, L"HKEY_PERFORMANCE_DATA", 21}, {0x80000006, L"HKEY_DYN_DATA", 13},
};

namespace {

// The registry itself nests keys no deeper than this; a record nested deeper
// is hostile and would otherwise run the reader out of stack.
constexpr int kMaxKeyDepth = 512;

// Writes little-endian fields into a buffer whose capacity was sized first.
struct RecordWriter {
    unsigned char* at;

    void Bytes(const void* source, uint32_t n)
    {
        if (n) std::memcpy(at, source, n);
        at += n;
    }
    void UInt32(uint32_t v)
    {
        const unsigned char bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        Bytes(bytes, 4);
    }
    void UInt16(uint16_t v)
    {
        const unsigned char bytes[2] = {uint8_t(v), uint8_t(v >> 8)};
        Bytes(bytes, 2);
    }
    void Text(const std::wstring& text)
    {
        UInt32(uint32_t(text.size()));
        for (wchar_t unit : text) UInt16(uint16_t(unit));
    }
};

uint32_t ValueRecordSize(const VLRegValue& value, VLBuffer<unsigned char>& raw)
{
    value.GetRawData(raw);
    return 10 + 2 * uint32_t(value.name.size()) + raw.size;
}

// The record size of every key of a tree, in the order a walk that enters a
// key before its subkeys meets them, worked out bottom-up over that order on
// stacks kept here: recursion would run the thread out of stack on a deep
// tree, and sizing each subtree again at every key above it would cost the
// square of its depth.
std::vector<uint32_t> RecordSizes(const VLRegKey& top)
{
    constexpr size_t kNoParent = ~size_t(0);
    std::vector<const VLRegKey*> keys;
    std::vector<size_t> parents;
    std::vector<std::pair<const VLRegKey*, size_t>> pending{{&top, kNoParent}};
    while (!pending.empty()) {
        const auto [key, parent] = pending.back();
        pending.pop_back();
        for (auto subkey = key->subkeys.rbegin(); subkey != key->subkeys.rend(); ++subkey) {
            pending.emplace_back(&*subkey, keys.size());
        }
        keys.push_back(key);
        parents.push_back(parent);
    }
    std::vector<uint32_t> sizes(keys.size(), 0);
    VLBuffer<unsigned char> raw;
    for (size_t i = keys.size(); i-- > 0;) {
        sizes[i] += 12 + 2 * uint32_t(keys[i]->GetFullName(true).size());
        for (const VLRegValue& value : keys[i]->values) sizes[i] += ValueRecordSize(value, raw);
        if (parents[i] != kNoParent) sizes[parents[i]] += 4 + sizes[i];
    }
    return sizes;
}

// Takes n bytes from the reader, or throws when fewer are left.
const unsigned char* Take(VLBufferReader& reader, uint32_t n)
{
    if (reader.position > reader.size || n > reader.size - reader.position) {
        throw std::bad_exception();
    }
    const unsigned char* at = reader.data + reader.position;
    reader.position += n;
    return at;
}

bool DeserializeKey(VLRegKey& key, const unsigned char* record, uint32_t length, int depth)
{
    if (depth > kMaxKeyDepth) return false;
    VLBufferReader reader{record, length, 0};
    try {
        if (!key.ParseName(reader.ReadString())) return false;

        const uint32_t subkeyCount = reader.ReadUInt32();
        for (uint32_t i = 0; i < subkeyCount; ++i) {
            const uint32_t childLength = reader.ReadUInt32();
            const unsigned char* child = Take(reader, childLength);
            VLRegKey subkey;
            if (!DeserializeKey(subkey, child, childLength, depth + 1)) return false;
            key.subkeys.push_back(subkey);
        }

        const uint32_t valueCount = reader.ReadUInt32();
        for (uint32_t i = 0; i < valueCount; ++i) {
            std::wstring name = reader.ReadString();
            const unsigned char* typeBytes = Take(reader, 2);
            VLRegValue value(uint32_t(typeBytes[0]) | uint32_t(typeBytes[1]) << 8, name);
            const uint32_t dataLength = reader.ReadUInt32();
            const unsigned char* bytes = Take(reader, dataLength);
            if (!value.SetRawData(bytes, dataLength)) return false;
            key.values.push_back(value);
        }
    } catch (const std::bad_exception&) {
        return false;
    }
    return true;
}

} // namespace

const VLRegRootRow* FindRootKey(const std::wstring& fullName)
{
    for (const VLRegRootRow& row : RegRootTable) {
        if (fullName.compare(0, row.nameLength, row.name) != 0) continue;
        if (fullName.size() == row.nameLength || fullName[row.nameLength] == L'\\') return &row;
    }
    return nullptr;
}

const VLRegRootRow* FindRootRow(uint32_t root)
{
    for (const VLRegRootRow& row : RegRootTable) {
        if (row.id == root) return &row;
    }
    return nullptr;
}

HKEY RootHandle(uint32_t root)
{
    // The predefined handles are the sign-extended ids.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

std::wstring JoinRegPath(const std::wstring& path, const std::wstring& child)
{
    if (!path.empty() && path.back() == L'\\') return path + child;
    return path + L"\\" + child;
}

VLRegKey VLRegKey::FromName(const std::wstring& fullName)
{
    VLRegKey key;
    key.ParseName(fullName);
    return key;
}

bool VLRegKey::ParseName(const std::wstring& fullName)
{
    std::wstring name = fullName;
    deleteKey = !name.empty() && name[0] == L'-';
    if (deleteKey) name.erase(0, 1);
    const VLRegRootRow* row = FindRootKey(name);
    if (!row) return false;
    root = row->id;
    path = name.size() > row->nameLength ? name.substr(row->nameLength + 1) : std::wstring();
    return true;
}

std::wstring VLRegKey::GetFullName(bool withMinus) const
{
    const VLRegRootRow* row = FindRootRow(root);
    if (!row) return std::wstring();
    std::wstring name = withMinus && deleteKey ? L"-" : L"";
    name += row->name;
    if (!path.empty()) name += L"\\" + path;
    return name;
}

bool VLRegKey::HasTarget() const
{
    return FindRootRow(root) && !path.empty();
}

uint32_t VLRegKey::GetSerializedSize() const
{
    return RecordSizes(*this)[0];
}

void VLRegKey::Serialize(VLBuffer<unsigned char>& out) const
{
    const std::vector<uint32_t> sizes = RecordSizes(*this);
    if (out.capacity < sizes[0]) out.SetCapacity(sizes[0]);
    RecordWriter writer{out.data};
    // A key's name and subkey count, its subkeys each behind its length, then
    // its values; the keys are entered in the order of sizes.
    struct Level {
        const VLRegKey* key;
        size_t written; // subkeys
    };
    std::vector<Level> levels;
    size_t entered = 0;
    const auto enter = [&](const VLRegKey& key) {
        ++entered;
        writer.Text(key.GetFullName(true));
        writer.UInt32(uint32_t(key.subkeys.size()));
        levels.push_back({&key, 0});
    };
    enter(*this);
    VLBuffer<unsigned char> raw;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.written < level.key->subkeys.size()) {
            const VLRegKey& subkey = level.key->subkeys[level.written++];
            writer.UInt32(sizes[entered]);
            enter(subkey);
            continue;
        }
        const std::vector<VLRegValue>& values = level.key->values;
        levels.pop_back();
        writer.UInt32(uint32_t(values.size()));
        for (const VLRegValue& value : values) {
            value.GetRawData(raw);
            writer.Text(value.name);
            writer.UInt16(value.deleteValue ? kRegDeleteValueType : uint16_t(value.type));
            writer.UInt32(raw.size);
            writer.Bytes(raw.data, raw.size);
        }
    }
    out.size = sizes[0];
}

bool VLRegKey::Deserialize(const unsigned char* record, uint32_t length)
{
    return DeserializeKey(*this, record, length, 0);
}

void SerializeRegKeys(const VLRegKeyList& keys, VLBuffer<unsigned char>& out)
{
    uint32_t size = 8;
    for (const VLRegKey& key : keys) size += 4 + key.GetSerializedSize();
    if (out.capacity < size) out.SetCapacity(size);
    RecordWriter writer{out.data};
    writer.UInt32(uint32_t(keys.size()));
    writer.UInt32(size - 8);
    VLBuffer<unsigned char> record;
    for (const VLRegKey& key : keys) {
        key.Serialize(record);
        writer.UInt32(record.size);
        writer.Bytes(record.data, record.size);
    }
    out.size = size;
}

bool DeserializeRegKeys(const VLBuffer<unsigned char>& blob, VLRegKeyList& keys)
{
    keys.clear();
    if (blob.size < 8) return false;
    VLBufferReader reader{blob.data, blob.size, 0};
    const uint32_t count = reader.ReadUInt32();
    const uint32_t bodyLength = reader.ReadUInt32();
    if (count && bodyLength && bodyLength > blob.size - 8) return false;
    try {
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t length = reader.ReadUInt32();
            const unsigned char* record = Take(reader, length);
            VLRegKey key;
            if (!key.Deserialize(record, length)) return false;
            keys.push_back(key);
        }
    } catch (const std::bad_exception&) {
        return false;
    }
    return true;
}

void MergeRegBackups(VLBuffer<unsigned char>& target, const VLBuffer<unsigned char>& earlier)
{
    VLRegKeyList joined;
    VLRegKeyList own;
    DeserializeRegKeys(earlier, joined);
    DeserializeRegKeys(target, own);
    joined.insert(joined.end(), own.begin(), own.end());
    SerializeRegKeys(joined, target);
}

} // namespace Velora
