#include "base/PeFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Velora {

namespace {

// Read by copy: nothing in a file promises that its records are aligned.
template <typename T> T Copy(const uint8_t* at)
{
    T out;
    std::memcpy(&out, at, sizeof(out));
    return out;
}

// No file that is sound has more than a handful of version resources; a tree
// that leads to more is made to keep the reader busy. Tables that lead to no
// data count too: the same tables reached again and again would otherwise
// keep the reader busy for minutes.
constexpr unsigned kMostVersionBlocks = 256;
constexpr unsigned kMostResourceEntries = 65536;

// The entries of the resource table at offset in the resource directory, when
// the table and all its entries lie inside the directory.
const uint8_t* ResourceEntries(const uint8_t* tree, uint32_t treeSize, uint32_t offset, uint32_t& count)
{
    if (offset > treeSize || treeSize - offset < sizeof(IMAGE_RESOURCE_DIRECTORY)) return nullptr;
    const auto table = Copy<IMAGE_RESOURCE_DIRECTORY>(tree + offset);
    count = uint32_t(table.NumberOfNamedEntries) + table.NumberOfIdEntries;
    const uint64_t end = uint64_t(offset) + sizeof(table) + uint64_t(count) * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
    return end <= treeSize ? tree + offset + sizeof(table) : nullptr;
}

} // namespace

bool VLPeFile::Open(const std::wstring& path)
{
    sectionCount_ = directoryCount_ = 0;
    view_.Reset();
    VLHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < LONGLONG(sizeof(IMAGE_DOS_HEADER)))
        return false;
    const VLHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping.Valid()) view_.Reset(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view_.Valid()) return false;
    base_ = static_cast<const uint8_t*>(view_.Get());
    fileSize_ = uint64_t(size.QuadPart);

    const auto dos = Copy<IMAGE_DOS_HEADER>(base_);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
    const uint64_t headers = uint64_t(dos.e_lfanew);
    const uint64_t optional = headers + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (optional + sizeof(WORD) > fileSize_ || Copy<DWORD>(base_ + headers) != IMAGE_NT_SIGNATURE) return false;
    const auto header = Copy<IMAGE_FILE_HEADER>(base_ + headers + sizeof(DWORD));
    const uint64_t sectionTable = optional + header.SizeOfOptionalHeader;
    if (sectionTable + uint64_t(header.NumberOfSections) * sizeof(IMAGE_SECTION_HEADER) > fileSize_) return false;

    const WORD magic = Copy<WORD>(base_ + optional);
    const size_t directories = magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)
                               : magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                   ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                   : 0;
    if (directories == 0 || header.SizeOfOptionalHeader < directories) return false;
    // Both forms keep the image size at the same place and the number of
    // directories just before them.
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage) == offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage));
    imageSize_ = Copy<DWORD>(base_ + optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage));
    const DWORD declared = Copy<DWORD>(base_ + optional + directories - sizeof(DWORD));
    directoryCount_ = unsigned(
        std::min<uint64_t>(declared, (header.SizeOfOptionalHeader - directories) / sizeof(IMAGE_DATA_DIRECTORY)));
    directories_ = base_ + optional + directories;
    sections_ = base_ + sectionTable;
    sectionCount_ = header.NumberOfSections;
    return true;
}

const uint8_t* VLPeFile::Span(uint32_t rva, uint64_t& available) const
{
    for (unsigned i = 0; i < sectionCount_; ++i) {
        const auto section = Copy<IMAGE_SECTION_HEADER>(sections_ + i * sizeof(IMAGE_SECTION_HEADER));
        // The image holds the section's first VirtualSize bytes; only those
        // the file gives as well are the same in the image and in the file.
        const uint32_t inImage = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
        const uint32_t held = std::min<uint32_t>(inImage, section.SizeOfRawData);
        if (rva < section.VirtualAddress || rva - section.VirtualAddress >= held) continue;
        const uint32_t into = rva - section.VirtualAddress;
        const uint64_t offset = uint64_t(section.PointerToRawData) + into;
        if (offset >= fileSize_ || rva >= imageSize_) return nullptr;
        available = std::min({uint64_t(held - into), fileSize_ - offset, uint64_t(imageSize_ - rva)});
        return base_ + offset;
    }
    return nullptr;
}

const uint8_t* VLPeFile::At(uint32_t rva, uint64_t size) const
{
    uint64_t available = 0;
    const uint8_t* bytes = Span(rva, available);
    return bytes && size <= available ? bytes : nullptr;
}

template <typename T> bool VLPeFile::Read(uint32_t rva, T& out) const
{
    const uint8_t* bytes = At(rva, sizeof(T));
    if (bytes) out = Copy<T>(bytes);
    return bytes != nullptr;
}

const char* VLPeFile::TextAt(uint32_t rva) const
{
    uint64_t available = 0;
    const uint8_t* text = Span(rva, available);
    return text && std::memchr(text, 0, size_t(available)) ? reinterpret_cast<const char*>(text) : nullptr;
}

bool VLPeFile::Directory(unsigned index, IMAGE_DATA_DIRECTORY& out) const
{
    if (index >= directoryCount_) return false;
    out = Copy<IMAGE_DATA_DIRECTORY>(directories_ + index * sizeof(IMAGE_DATA_DIRECTORY));
    return out.VirtualAddress && out.Size && At(out.VirtualAddress, out.Size);
}

bool VLPeFile::VersionBlockIsSound(uint32_t rva, uint32_t size) const
{
    // Every version block opens with three words: its length, its value's
    // length and its type; the length must fit the resource.
    const uint8_t* block = size >= 3 * sizeof(WORD) ? At(rva, size) : nullptr;
    if (!block) return false;
    const WORD length = Copy<WORD>(block);
    return length >= 3 * sizeof(WORD) && length <= size;
}

bool VLPeFile::HasSoundVersionResource() const
{
    IMAGE_DATA_DIRECTORY directory;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE, directory)) return false;
    const uint8_t* tree = At(directory.VirtualAddress, directory.Size);
    unsigned blocks = 0, entriesSeen = 0;
    // The tree's three levels: types, then names, then languages, whose
    // entries lead to the data. Only the version type is walked.
    auto walk = [&](auto& self, uint32_t offset, int level) -> bool {
        uint32_t count = 0;
        const uint8_t* entries = ResourceEntries(tree, directory.Size, offset, count);
        if (!entries) return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (++entriesSeen > kMostResourceEntries) return false;
            const auto entry =
                Copy<IMAGE_RESOURCE_DIRECTORY_ENTRY>(entries + i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
            if (level == 0 && entry.Name != 16) continue; // RT_VERSION
            const bool table = entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY;
            const uint32_t next = entry.OffsetToData & ~DWORD(IMAGE_RESOURCE_DATA_IS_DIRECTORY);
            if (level < 2) {
                if (!table || !self(self, next, level + 1)) return false;
                continue;
            }
            if (table || ++blocks > kMostVersionBlocks || next > directory.Size ||
                directory.Size - next < sizeof(IMAGE_RESOURCE_DATA_ENTRY)) {
                return false;
            }
            const auto data = Copy<IMAGE_RESOURCE_DATA_ENTRY>(tree + next);
            if (!VersionBlockIsSound(data.OffsetToData, data.Size)) return false;
        }
        return true;
    };
    return walk(walk, 0, 0) && blocks > 0;
}

bool VLPeFile::FindExport(const std::string& name, std::string& forward) const
{
    forward.clear();
    IMAGE_DATA_DIRECTORY directory;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_EXPORT, directory) || !Read(directory.VirtualAddress, exports)) return false;
    const uint8_t* functions = At(exports.AddressOfFunctions, uint64_t(exports.NumberOfFunctions) * sizeof(DWORD));
    const uint8_t* names = At(exports.AddressOfNames, uint64_t(exports.NumberOfNames) * sizeof(DWORD));
    const uint8_t* ordinals = At(exports.AddressOfNameOrdinals, uint64_t(exports.NumberOfNames) * sizeof(WORD));
    if (!functions || !names || !ordinals) return false;

    // An address inside the export directory is a forward's text; any other
    // is the export's code, which must lie inside the image.
    auto forwards = [&](DWORD rva) { return rva - directory.VirtualAddress < directory.Size; };
    for (DWORD i = 0; i < exports.NumberOfFunctions; ++i) {
        const DWORD rva = Copy<DWORD>(functions + i * sizeof(DWORD));
        if (rva >= imageSize_ || (forwards(rva) && !TextAt(rva))) return false;
    }
    bool found = false;
    DWORD function = 0;
    for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
        const WORD ordinal = Copy<WORD>(ordinals + i * sizeof(WORD));
        const char* text = TextAt(Copy<DWORD>(names + i * sizeof(DWORD)));
        if (!text || ordinal >= exports.NumberOfFunctions) return false;
        if (!found && name == text) {
            found = true;
            function = Copy<DWORD>(functions + ordinal * sizeof(DWORD));
        }
    }
    if (!found || function == 0) return false;
    if (!forwards(function)) return true;
    // An empty forward names nothing: the system finds no export there.
    forward = TextAt(function);
    return !forward.empty();
}

} // namespace Velora
