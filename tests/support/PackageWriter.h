// Builds package files for tests: the header, the table of contents in
// pre-order, and the data area at absolute offsets, with every packing
// method, the solid stream and knobs for the malformed cases a reader must
// refuse.
#pragma once

#include "install/TocNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Velora::Test {

struct PackageEntry {
    uint32_t kind = kNodeFile;
    std::wstring name;
    uint32_t attributes = 0x20; // FILE_ATTRIBUTE_ARCHIVE
    uint64_t creationTime = 0;
    uint64_t accessTime = 0;
    uint64_t writeTime = 0;
    uint32_t method = kMethodStored;
    // A file's or memory entry's bytes; an inline entry's data.
    std::string content;
    std::vector<PackageEntry> children;

    // Knobs for malformed packages.
    std::optional<uint64_t> unpackedSize; // instead of the content's length
    std::optional<uint64_t> packedSize;   // instead of the stream's length
    std::optional<uint64_t> dataOffset;   // instead of where the stream lands
    std::optional<std::string> stream;    // stored as the entry's data instead of the encoded content
    std::string trailing;                 // junk after the stream, counted in the packed size
    bool oddNameLength = false;           // one extra byte after the name, counted in its length
    std::optional<uint32_t> childCount;   // a folder's count as written

    PackageEntry& Add(PackageEntry child)
    {
        children.push_back(std::move(child));
        return children.back();
    }
};

PackageEntry Folder(const std::wstring& name, std::vector<PackageEntry> children = {});
PackageEntry File(const std::wstring& name, const std::string& content, uint32_t method = kMethodStored);
PackageEntry Memory(const std::wstring& name, const std::string& content, uint32_t method = kMethodStored);
PackageEntry Inline(const std::wstring& name, const std::string& data);

class PackageWriter {
public:
    // Kind 0 and an empty name: only its children are extracted.
    PackageEntry root = Folder(L"");
    uint8_t version = 1;
    std::string magic = "VLZ";
    std::optional<uint32_t> tocLength; // as written in the header
    std::string tocTrailer;            // bytes after the root record, inside the table
    int level = 1;                     // encoder level for methods 1 to 3
    // The method-3 file (0-based, in pre-order) that carries the solid
    // stream; the last one when not set. -1 writes no carrying file.
    std::optional<int> solidCarrier;
    size_t cutFromEnd = 0;             // bytes dropped from the end of the file

    std::string Build() const;
    bool WriteTo(const std::wstring& path) const;
};

// Encodes with this system's encoders: method 0 returns the bytes, 1 a zlib
// stream, 2 and 3 an LZMA stream with its property bytes.
std::string Encode(uint32_t method, const std::string& bytes, int level = 1);
// Bytes that compress moderately: words with a pseudo-random spine.
std::string SampleBytes(size_t size, uint32_t seed);

} // namespace Velora::Test
