#include "base/FileVersionInfo.h"

#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/PeFile.h"
#include "base/StringUtil.h"

#include <cstring>

namespace Velora {

namespace {

// One node of a version block: three words (its length, its value's length in
// bytes or, for text, in characters, and whether the value is text), its
// name, then its value and its children, each starting on four bytes.
struct VersionNode {
    size_t end = 0;      // one past the node
    std::wstring name;
    size_t value = 0;    // where the value starts
    WORD valueLength = 0;
    size_t children = 0; // where the first child starts
};

size_t Align4(size_t offset)
{
    return (offset + 3) & ~size_t(3);
}

WORD WordAt(const std::vector<uint8_t>& block, size_t at)
{
    WORD word;
    std::memcpy(&word, block.data() + at, sizeof(word));
    return word;
}

// The node at offset, when it and its name lie inside the block. A child is
// not held to its parent's end: the system reads it wherever it runs.
bool ReadNode(const std::vector<uint8_t>& block, size_t at, VersionNode& node)
{
    const size_t limit = block.size();
    if (at % 4 || at > limit || limit - at < 3 * sizeof(WORD)) return false;
    const WORD length = WordAt(block, at);
    node.valueLength = WordAt(block, at + sizeof(WORD));
    const WORD type = WordAt(block, at + 2 * sizeof(WORD));
    // Where the type would be, the older layout without it has the name's
    // first letter, which no 32-bit library carries.
    if (length < 3 * sizeof(WORD) || length > limit - at || (type & 0xFF) >= ' ') return false;
    node.end = at + length;
    size_t cursor = at + 3 * sizeof(WORD);
    node.name.clear();
    for (;; cursor += sizeof(WORD)) {
        if (node.end - cursor < sizeof(WORD)) return false;
        const wchar_t unit = wchar_t(WordAt(block, cursor));
        if (unit == 0) break;
        node.name += unit;
    }
    // A value said to run past its node is read as the system reads it, up
    // to the end of the block at most (Query); its node then has no children.
    node.value = Align4(cursor + sizeof(WORD));
    node.children = Align4(node.value + size_t(node.valueLength) * (type ? sizeof(WORD) : 1));
    return true;
}

} // namespace

bool VLFileVersionInfo::Load()
{
    if (loaded) return true;
    // A path that is not full would be searched for, and the file checked
    // might not be the one read.
    VLPeFile file;
    return IsFullFilePath(path) && file.Open(path) && Load(file);
}

bool VLFileVersionInfo::Load(const VLPeFile& file)
{
    if (!loaded) loaded = file.ReadVersionBlock(block);
    return loaded;
}

bool VLFileVersionInfo::Query(const wchar_t* subBlock, const void*& value, UINT& length, UINT unitSize)
{
    length = 0;
    VersionNode node;
    if (!subBlock || !Load() || !ReadNode(block, 0, node)) return false;
    // Each piece of the path names a child, compared without case; empty
    // pieces are skipped.
    std::vector<std::wstring> pieces;
    Split(subBlock, L'\\', pieces);
    for (const std::wstring& piece : pieces) {
        if (piece.empty()) continue;
        VersionNode child;
        bool found = false;
        // Each child is at least eight bytes on, so the walk ends.
        for (size_t at = node.children; !found && at < node.end; at = Align4(child.end)) {
            if (!ReadNode(block, at, child)) return false;
            found = CompareNoCase(child.name, piece) == 0;
        }
        if (!found) return false;
        node = child;
    }
    if (node.value > block.size() || uint64_t(node.valueLength) * unitSize > block.size() - node.value) return false;
    value = block.data() + node.value;
    length = node.valueLength;
    return true;
}

bool VLFileVersionInfo::GetFixedInfo(VS_FIXEDFILEINFO& fixed)
{
    const void* value = nullptr;
    UINT length = 0;
    if (!Query(L"\\", value, length) || length < sizeof(VS_FIXEDFILEINFO)) return false;
    VS_FIXEDFILEINFO read;
    std::memcpy(&read, value, sizeof(read));
    if (read.dwSignature != VS_FFI_SIGNATURE) return false;
    fixed = read;
    return true;
}

bool VLFileVersionInfo::GetProductVersion(uint64_t& version)
{
    VS_FIXEDFILEINFO fixed;
    if (!GetFixedInfo(fixed)) return false;
    version = uint64_t(fixed.dwProductVersionMS) << 32 | fixed.dwProductVersionLS;
    return true;
}

} // namespace Velora
