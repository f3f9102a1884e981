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

// The loader refuses more sections than this; more only make every lookup
// slower.
constexpr unsigned kMostSections = 96;
// Where the loader takes a section's data from: it rounds the raw offset
// down to this.
constexpr uint32_t kRawOffsetUnit = 512;
// Sections aligned below a page cannot each be mapped apart: the loader maps
// such an image as the file lies, byte for byte.
constexpr uint32_t kPage = 0x1000;
// Ordinals are 16-bit: a table of more exports or names than they can tell
// apart is made to keep the reader busy.
constexpr uint32_t kMostExports = 0x10000;
// Longer than any name a compiler writes for a function; a name or forward
// not ended within it is damage, and no scan runs further.
constexpr uint64_t kLongestName = 4096;

// A table of the resource directory: entries named by text first, then those
// named by number.
struct ResourceTable {
    const uint8_t* entries = nullptr;
    uint32_t named = 0;
    uint32_t count = 0;
};

// The table at offset in the resource directory, when the table and all its
// entries lie inside the directory.
bool ReadResourceTable(const uint8_t* tree, uint32_t treeSize, uint32_t offset, ResourceTable& table)
{
    if (offset > treeSize || treeSize - offset < sizeof(IMAGE_RESOURCE_DIRECTORY)) return false;
    const auto header = Copy<IMAGE_RESOURCE_DIRECTORY>(tree + offset);
    table.named = header.NumberOfNamedEntries;
    table.count = uint32_t(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
    table.entries = tree + offset + sizeof(header);
    return uint64_t(offset) + sizeof(header) + uint64_t(table.count) * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY) <=
           treeSize;
}

IMAGE_RESOURCE_DIRECTORY_ENTRY EntryAt(const ResourceTable& table, uint32_t index)
{
    return Copy<IMAGE_RESOURCE_DIRECTORY_ENTRY>(table.entries + index * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
}

bool LeadsToTable(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry)
{
    return (entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY) != 0;
}

// The entry named id, found as the system's loader finds it: a bisection over
// the entries named by number alone, between the first and the last of them
// (both included), that looks at the middle (first + last) / 2 and compares
// only the low word of its name. Where the numbers are out of order, an entry
// is found or missed just as the system finds or misses it. The entry found
// must lead where the lookup goes on (a table, or at the last level the
// data); one that does not ends the search, unfound, as it ends the system's.
bool FindEntryById(const ResourceTable& table, WORD id, bool wantTable, IMAGE_RESOURCE_DIRECTORY_ENTRY& out)
{
    for (int32_t first = int32_t(table.named), last = int32_t(table.count) - 1; first <= last;) {
        const int32_t middle = (first + last) / 2;
        out = EntryAt(table, uint32_t(middle));
        if (LOWORD(out.Name) == id) return LeadsToTable(out) == wantTable;
        if (LOWORD(out.Name) > id)
            last = middle - 1;
        else
            first = middle + 1;
    }
    return false;
}

// The data entry of the language table that the system's lookup takes for no
// language in particular: the first of neutral, the thread's language, the
// user's, the user's with a neutral sublanguage, the system's, the system's
// with a neutral sublanguage and US English that the search above finds,
// else the first entry of the table, named by text or by number, that leads
// to data.
bool FindLanguageEntry(const ResourceTable& table, IMAGE_RESOURCE_DIRECTORY_ENTRY& out)
{
    const LANGID user = GetUserDefaultLangID(), system = GetSystemDefaultLangID();
    const LANGID wanted[] = {MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                             LANGIDFROMLCID(GetThreadLocale()),
                             user,
                             MAKELANGID(PRIMARYLANGID(user), SUBLANG_NEUTRAL),
                             system,
                             MAKELANGID(PRIMARYLANGID(system), SUBLANG_NEUTRAL),
                             MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)};
    for (const LANGID language : wanted) {
        if (FindEntryById(table, language, false, out)) return true;
    }
    for (uint32_t i = 0; i < table.count; ++i) {
        out = EntryAt(table, i);
        if (!LeadsToTable(out)) return true;
    }
    return false;
}

uint32_t SizeInImage(const IMAGE_SECTION_HEADER& section)
{
    return section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
}

} // namespace

bool VLPeFile::Open(const std::wstring& path)
{
    sections_.clear();
    directoryCount_ = 0;
    view_.Reset();
    // Others may read the file while it is held, never write, rename or
    // delete it: the bytes checked here stay the file's bytes.
    file_.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file_.Valid() || !GetFileSizeEx(file_.Get(), &size) || size.QuadPart < LONGLONG(sizeof(IMAGE_DOS_HEADER)))
        return false;
    const VLHandle mapping(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
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
    if (header.NumberOfSections > kMostSections ||
        sectionTable + uint64_t(header.NumberOfSections) * sizeof(IMAGE_SECTION_HEADER) > fileSize_) {
        return false;
    }

    const WORD magic = Copy<WORD>(base_ + optional);
    const size_t directories = magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)
                               : magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                   ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                   : 0;
    if (directories == 0 || header.SizeOfOptionalHeader < directories) return false;
    // Both forms keep the image size and the alignments at the same places
    // and the number of directories just before them.
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage) == offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage));
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, SectionAlignment) ==
                  offsetof(IMAGE_OPTIONAL_HEADER64, SectionAlignment));
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, FileAlignment) == offsetof(IMAGE_OPTIONAL_HEADER64, FileAlignment));
    imageSize_ = Copy<DWORD>(base_ + optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage));
    sectionAlignment_ = Copy<DWORD>(base_ + optional + offsetof(IMAGE_OPTIONAL_HEADER32, SectionAlignment));
    fileAlignment_ = Copy<DWORD>(base_ + optional + offsetof(IMAGE_OPTIONAL_HEADER32, FileAlignment));
    machine_ = header.Machine;
    const DWORD declared = Copy<DWORD>(base_ + optional + directories - sizeof(DWORD));
    directoryCount_ = unsigned(
        std::min<uint64_t>(declared, (header.SizeOfOptionalHeader - directories) / sizeof(IMAGE_DATA_DIRECTORY)));
    directories_ = base_ + optional + directories;
    for (unsigned i = 0; i < header.NumberOfSections; ++i)
        sections_.push_back(Copy<IMAGE_SECTION_HEADER>(base_ + sectionTable + i * sizeof(IMAGE_SECTION_HEADER)));
    if (SectionsAreLaidOutAsRead()) return true;
    sections_.clear();
    directoryCount_ = 0;
    return false;
}

bool VLPeFile::SectionsAreLaidOutAsRead() const
{
    // The loader maps each section over the ones before it and takes its data
    // from the raw offset rounded down; a file where either would change what
    // an address holds is refused rather than read in two ways. An image
    // aligned below a page is mapped whole as it lies, which the loader does
    // only when its file alignment is the same and every section lies at its
    // own address in the file: then the file reads as the image does.
    const bool flat = sectionAlignment_ < kPage;
    if (flat && fileAlignment_ != sectionAlignment_) return false;
    uint64_t end = 0;
    for (const IMAGE_SECTION_HEADER& section : sections_) {
        const uint64_t start = section.VirtualAddress;
        const bool moved =
            flat ? section.PointerToRawData != section.VirtualAddress : section.PointerToRawData % kRawOffsetUnit != 0;
        if (start < end || (section.SizeOfRawData && moved)) return false;
        end = start + SizeInImage(section);
        if (end > imageSize_) return false;
    }
    return true;
}

const uint8_t* VLPeFile::Span(uint32_t rva, uint64_t& available) const
{
    // Sections lie in address order without overlapping: only the last one
    // starting at or before rva can hold it.
    auto next = std::upper_bound(sections_.begin(), sections_.end(), rva,
                                 [](uint32_t at, const IMAGE_SECTION_HEADER& s) { return at < s.VirtualAddress; });
    if (next == sections_.begin()) return nullptr;
    const IMAGE_SECTION_HEADER& section = *(next - 1);
    // The image holds the section's first VirtualSize bytes; only those the
    // file gives as well are the same in the image and in the file.
    const uint32_t held = std::min<uint32_t>(SizeInImage(section), section.SizeOfRawData);
    const uint32_t into = rva - section.VirtualAddress;
    if (into >= held) return nullptr;
    const uint64_t offset = uint64_t(section.PointerToRawData) + into;
    if (offset >= fileSize_ || rva >= imageSize_) return nullptr;
    available = std::min({uint64_t(held - into), fileSize_ - offset, uint64_t(imageSize_ - rva)});
    return base_ + offset;
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
    return text && std::memchr(text, 0, size_t(std::min(available, kLongestName + 1)))
               ? reinterpret_cast<const char*>(text)
               : nullptr;
}

bool VLPeFile::Directory(unsigned index, IMAGE_DATA_DIRECTORY& out) const
{
    if (index >= directoryCount_) return false;
    out = Copy<IMAGE_DATA_DIRECTORY>(directories_ + index * sizeof(IMAGE_DATA_DIRECTORY));
    return out.VirtualAddress && out.Size && At(out.VirtualAddress, out.Size);
}

bool VLPeFile::ReadVersionBlock(std::vector<uint8_t>& block) const
{
    block.clear();
    IMAGE_DATA_DIRECTORY directory;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE, directory)) return false;
    const uint8_t* tree = At(directory.VirtualAddress, directory.Size);
    // The tree's three levels: types, then names, then languages, whose
    // entries lead to the data.
    const auto tableOffset = [](const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
        return entry.OffsetToData & ~DWORD(IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    };
    ResourceTable types, names, languages;
    IMAGE_RESOURCE_DIRECTORY_ENTRY type, name, language;
    if (!ReadResourceTable(tree, directory.Size, 0, types) || !FindEntryById(types, 16, true, type) || // RT_VERSION
        !ReadResourceTable(tree, directory.Size, tableOffset(type), names) || !FindEntryById(names, 1, true, name) ||
        !ReadResourceTable(tree, directory.Size, tableOffset(name), languages) ||
        !FindLanguageEntry(languages, language) || language.OffsetToData > directory.Size ||
        directory.Size - language.OffsetToData < sizeof(IMAGE_RESOURCE_DATA_ENTRY)) {
        return false;
    }
    const auto data = Copy<IMAGE_RESOURCE_DATA_ENTRY>(tree + language.OffsetToData);
    // Every version block opens with three words: its length, its value's
    // length and its type; the length must fit the resource.
    const uint8_t* bytes = data.Size >= 3 * sizeof(WORD) ? At(data.OffsetToData, data.Size) : nullptr;
    if (!bytes) return false;
    const WORD length = Copy<WORD>(bytes);
    if (length < 3 * sizeof(WORD) || length > data.Size) return false;
    block.assign(bytes, bytes + length);
    return true;
}

bool VLPeFile::FindExport(const std::string& name, std::string& forward) const
{
    forward.clear();
    IMAGE_DATA_DIRECTORY directory;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_EXPORT, directory) || !Read(directory.VirtualAddress, exports) ||
        exports.NumberOfFunctions > kMostExports || exports.NumberOfNames > kMostExports) {
        return false;
    }
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

bool VLPeFile::MapsAsImage() const
{
    // Only an image of this process's own kind loads in it.
    const WORD own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if (!view_.Valid() || machine_ != own) return false;
    const VLHandle image(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    const VLMappedView view(image.Valid() ? MapViewOfFile(image.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    return view.Valid();
}

} // namespace Velora
