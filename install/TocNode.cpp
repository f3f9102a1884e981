#include "install/TocNode.h"

#include "base/PathUtil.h"

#include <exception>

namespace Velora {

namespace {

template <typename T> T ReadValue(VLBufferReader& reader)
{
    T value;
    reader.Read(&value, sizeof(value)); // little-endian, as the target is
    return value;
}

std::wstring ReadName(VLBufferReader& reader)
{
    const uint32_t bytes = reader.ReadUInt32();
    if (bytes > reader.size - reader.position) throw std::bad_exception();
    // An odd length's last byte belongs to no character.
    std::wstring name(bytes / 2, L'\0');
    if (!name.empty()) reader.Read(&name[0], uint32_t(name.size() * 2));
    reader.position += bytes % 2;
    return name;
}

} // namespace

VLTocNode::VLTocNode(VLTocNode* parent, uint32_t kind) : kind(kind), parent(parent) {}

VLTocNode::VLTocNode(const VLTocNode& other)
    : children(other.children), name(other.name), outputPath(other.outputPath),
      creationTime(other.creationTime), accessTime(other.accessTime), writeTime(other.writeTime),
      attributes(other.attributes), unpackedSize(other.unpackedSize), method(other.method),
      dataOffset(other.dataOffset), packedSize(other.packedSize), kind(other.kind), parent(other.parent)
{
    data.Assign(other.data);
}

bool VLTocNode::Parse(const VLBuffer<unsigned char>& toc, uint32_t& position)
{
    VLBufferReader reader = {toc.data, toc.size, position};
    try {
        if (!ParseRecord(reader, 0)) return false;
    } catch (const std::bad_exception&) {
        return false; // a field past the end of the table
    }
    position = reader.position;
    return true;
}

bool VLTocNode::ParseRecord(VLBufferReader& reader, unsigned depth)
{
    unsigned char word[4];
    reader.Read(word, 4);
    kind = word[0];
    const uint32_t childCount = kind == kNodeFolder ? (uint32_t(word[1]) << 16 | uint32_t(word[2]) << 8 | word[3]) : 0;

    if (kind == kNodeInline) {
        name = ReadName(reader);
        const uint32_t length = reader.ReadUInt32();
        if (length > kMaxInlineData) return false;
        if (length > data.capacity) data.SetCapacity(length);
        reader.Read(data.data, length);
        data.size = length;
    } else {
        attributes = reader.ReadUInt32();
        name = ReadName(reader);
        creationTime = ReadValue<uint64_t>(reader);
        accessTime = ReadValue<uint64_t>(reader);
        writeTime = ReadValue<uint64_t>(reader);
        unpackedSize = ReadValue<uint64_t>(reader);
        method = ReadValue<uint16_t>(reader);
        dataOffset = ReadValue<uint64_t>(reader);
        packedSize = ReadValue<uint64_t>(reader);
        if (kind == kNodeMemory && (unpackedSize > kMaxMemoryEntry || packedSize > kMaxMemoryEntry)) return false;
        // Stored bytes are copied as they are: any other count would make an
        // entry of a size the table does not list. Kinds above 3 come from
        // newer writers; nothing is read for them, so their sizes do not
        // matter.
        if ((kind == kNodeFile || kind == kNodeMemory) && method == kMethodStored && packedSize != unpackedSize)
            return false;
    }
    if (parent && !IsSafeEntryName(name)) return false;

    children.clear();
    if (childCount && depth + 1 >= kMaxDepth) return false;
    // Not reserved by the count: the count comes from the file, and each
    // child takes at least 4 bytes of it anyway.
    for (uint32_t i = 0; i < childCount; ++i) {
        auto child = std::make_shared<VLTocNode>(this, kNodeFolder);
        if (!child->ParseRecord(reader, depth + 1)) return false;
        children.push_back(std::move(child));
    }
    return true;
}

uint64_t VLTocNode::GetTotalPackedSize() const
{
    uint64_t total = packedSize;
    if (kind == kNodeFolder)
        for (const auto& child : children) total += child->GetTotalPackedSize();
    return total;
}

} // namespace Velora
