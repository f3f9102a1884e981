// One record of a package's table of contents, with its children for a
// folder.
//
// Package layout (little-endian except the child count): an 8-byte header
// ("VLZ", a version byte, the TOC length as u32), the TOC holding one root
// record with every other record nested depth first, then the data area that
// entries address by absolute offsets. A record starts with a kind word (kind
// byte, then for folders the child count as 24-bit big-endian). Kinds 0 to 2
// go on with attributes u32, name length u32, the UTF-16LE name, creation,
// access and write times u64, unpacked size u64, method u16, data offset u64
// and packed size u64; kind 3 with name length u32, name, data length u32 (at
// most 4096) and the data. Kinds above 3 are read with the layout of kinds 0
// to 2 and extract to nothing.
#pragma once

#include "base/Buffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

enum : uint32_t {
    kNodeFolder = 0,
    kNodeFile = 1,
    kNodeMemory = 2,
    kNodeInline = 3,
};

enum : uint32_t {
    kMethodStored = 0,
    kMethodZlib = 1,
    kMethodLzma = 2,
    kMethodSolid = 3,
};

class VLTocNode {
public:
    static constexpr uint32_t kMaxInlineData = 4096;
    // Memory entries are read whole; this keeps a package from asking for
    // more than the installer has any use for.
    static constexpr uint64_t kMaxMemoryEntry = 16u << 20;
    // Deeper trees are refused so that parsing and extraction cannot run out
    // of stack.
    static constexpr unsigned kMaxDepth = 128;

    VLTocNode(VLTocNode* parent, uint32_t kind);
    // Children are shared; strings and data are copied.
    VLTocNode(const VLTocNode& other);
    VLTocNode& operator=(const VLTocNode&) = delete;

    // Reads the record at position (and a folder's children) into this node
    // and advances position past it. Fails on a record that runs past the
    // end of toc, an inline record above 4096 bytes, an oversized memory
    // entry, a stored file or memory entry whose packed and unpacked sizes
    // differ, nesting deeper than kMaxDepth, or an entry name that is not a
    // plain file name (empty, ".", "..", or holding '\', '/', ':' or NUL);
    // the root's own name is not used and not checked.
    bool Parse(const VLBuffer<unsigned char>& toc, uint32_t& position);
    // The node's packed size plus, for a folder, its children's totals.
    uint64_t GetTotalPackedSize() const;

    std::vector<std::shared_ptr<VLTocNode>> children;
    std::wstring name;
    // Where extraction put the node; empty until then.
    std::wstring outputPath;
    uint64_t creationTime = 0;
    uint64_t accessTime = 0;
    uint64_t writeTime = 0;
    uint32_t attributes = 0;
    uint64_t unpackedSize = 0;
    uint32_t method = 0;
    uint64_t dataOffset = 0;
    uint64_t packedSize = 0;
    // Inline data, or a memory entry's content after extraction.
    VLBuffer<unsigned char> data;
    uint32_t kind;
    VLTocNode* parent;

private:
    bool ParseRecord(VLBufferReader& reader, unsigned depth);
};

} // namespace Velora
