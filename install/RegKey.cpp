#include "install/RegKey.h"

#include "base/TreeWalk.h"

#include <cstring>
#include <exception>

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

// Writes little-endian fields into a buffer whose capacity was sized first,
// or, without a buffer, only counts their bytes.
struct RecordWriter {
    unsigned char* data;
    uint32_t size = 0; // written or counted

    void Bytes(const void* source, uint32_t n)
    {
        if (data && n) std::memcpy(data + size, source, n);
        size += n;
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

// A key's name and subkey count, its subkeys each behind its length, then its
// values. A subkey's length is written once the walk leaves it, so no subtree
// is sized again at every key above it.
void WriteKeyRecord(const VLRegKey& top, RecordWriter& writer)
{
    struct Level {
        const VLRegKey* key;
        uint32_t lengthAt; // where the record's length goes
        size_t written;    // subkeys
    };
    const auto enter = [&writer](const VLRegKey& key, uint32_t lengthAt) {
        writer.Text(key.GetFullName(true));
        writer.UInt32(uint32_t(key.subkeys.size()));
        return Level{&key, lengthAt, 0};
    };
    VLBuffer<unsigned char> raw;
    WalkTree(
        enter(top, 0),
        [&](Level& level, Level& child) {
            if (level.written == level.key->subkeys.size()) return false;
            const uint32_t lengthAt = writer.size;
            writer.UInt32(0);
            child = enter(level.key->subkeys[level.written++], lengthAt);
            return true;
        },
        [&](const Level& level, const Level* parent) {
            writer.UInt32(uint32_t(level.key->values.size()));
            for (const VLRegValue& value : level.key->values) {
                value.GetRawData(raw);
                writer.Text(value.name);
                writer.UInt16(value.deleteValue ? kRegDeleteValueType : uint16_t(value.type));
                writer.UInt32(raw.size);
                writer.Bytes(raw.data, raw.size);
            }
            if (parent) RecordWriter{writer.data, level.lengthAt}.UInt32(writer.size - level.lengthAt - 4);
        });
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
            value.deleteValue = value.type == kRegDeleteValueType;
            if (!value.deleteValue) value.SetRawData(bytes, dataLength);
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
    RecordWriter counter{nullptr};
    WriteKeyRecord(*this, counter);
    return counter.size;
}

void VLRegKey::Serialize(VLBuffer<unsigned char>& out) const
{
    const uint32_t size = GetSerializedSize();
    if (out.capacity < size) out.SetCapacity(size);
    RecordWriter writer{out.data};
    WriteKeyRecord(*this, writer);
    out.size = size;
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
