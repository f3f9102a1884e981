#include "tests/support/PackageWriter.h"

#include "base/File.h"
#include "install/CompressConverter.h"

#include <stdexcept>

namespace Velora::Test {

namespace {

void PutBytes(std::string& out, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) out += char(value >> (8 * i));
}

// Pre-order walk: a folder, then each child with its subtree.
template <typename F> void Walk(const PackageEntry& entry, F&& visit)
{
    visit(entry);
    for (const PackageEntry& child : entry.children) Walk(child, visit);
}

struct Layout {
    // Per entry in pre-order: the bytes it stores in the data area.
    std::vector<std::string> streams;
    std::vector<uint64_t> offsets;
    int carrier = -1;       // pre-order index of the carrying entry
    uint64_t solidTotal = 0;
};

// Other records with method 3 get a stream of their own, as the reader
// decodes them.
bool IsSolidFile(const PackageEntry& e)
{
    return e.kind == kNodeFile && e.method == kMethodSolid;
}

void WriteRecord(std::string& toc, const PackageEntry& e, const Layout& layout, size_t& index)
{
    const size_t self = index++;
    const uint32_t count = e.childCount.value_or(uint32_t(e.children.size()));
    toc += char(e.kind);
    if (e.kind == kNodeFolder) {
        toc += char(count >> 16);
        toc += char(count >> 8);
        toc += char(count);
    } else {
        toc.append(3, '\0');
    }
    const std::string name(reinterpret_cast<const char*>(e.name.data()), e.name.size() * 2);
    auto putName = [&] {
        PutBytes(toc, name.size() + (e.oddNameLength ? 1 : 0), 4);
        toc += name;
        if (e.oddNameLength) toc += '\x7f';
    };
    if (e.kind == kNodeInline) {
        putName();
        PutBytes(toc, e.content.size(), 4);
        toc += e.content;
    } else {
        const std::string& stream = layout.streams[self];
        uint64_t unpacked = e.content.size();
        uint64_t packed = stream.size();
        if (IsSolidFile(e)) {
            packed = int(self) == layout.carrier ? stream.size() : 0;
            if (int(self) == layout.carrier) unpacked = layout.solidTotal;
        }
        PutBytes(toc, e.attributes, 4);
        putName();
        PutBytes(toc, e.creationTime, 8);
        PutBytes(toc, e.accessTime, 8);
        PutBytes(toc, e.writeTime, 8);
        PutBytes(toc, e.unpackedSize.value_or(unpacked), 8);
        PutBytes(toc, e.method, 2);
        PutBytes(toc, e.dataOffset.value_or(packed ? layout.offsets[self] : 0), 8);
        PutBytes(toc, e.packedSize.value_or(packed), 8);
    }
    for (const PackageEntry& child : e.children) WriteRecord(toc, child, layout, index);
}

} // namespace

PackageEntry Folder(const std::wstring& name, std::vector<PackageEntry> children)
{
    PackageEntry e;
    e.kind = kNodeFolder;
    e.name = name;
    e.attributes = 0x10; // FILE_ATTRIBUTE_DIRECTORY
    e.children = std::move(children);
    return e;
}

PackageEntry File(const std::wstring& name, const std::string& content, uint32_t method)
{
    PackageEntry e;
    e.name = name;
    e.content = content;
    e.method = method;
    return e;
}

PackageEntry Memory(const std::wstring& name, const std::string& content, uint32_t method)
{
    PackageEntry e = File(name, content, method);
    e.kind = kNodeMemory;
    return e;
}

PackageEntry Inline(const std::wstring& name, const std::string& data)
{
    PackageEntry e;
    e.kind = kNodeInline;
    e.name = name;
    e.content = data;
    e.attributes = 0;
    return e;
}

std::string Encode(uint32_t method, const std::string& bytes, int level)
{
    if (method == kMethodStored) return bytes;
    auto encoder = CreateEncodingConverter(int(method), level);
    if (!encoder) throw std::invalid_argument("no encoder for the method");
    encoder->End();
    std::string out;
    auto drain = [&] {
        uint32_t n = 0;
        const unsigned char* data = encoder->GetOutput(n);
        out.append(reinterpret_cast<const char*>(data), n);
        encoder->ClearOutput();
        return n;
    };
    size_t at = 0;
    do {
        uint32_t used = 0;
        if (!encoder->Convert(bytes.data() + at, uint32_t(bytes.size() - at), used, true))
            throw std::runtime_error("encoding failed");
        at += used;
        drain();
    } while (at < bytes.size());
    do {
        if (!encoder->Finish()) throw std::runtime_error("encoding failed");
    } while (drain() > 0);
    return out;
}

std::string SampleBytes(size_t size, uint32_t seed)
{
    static const char* const words[] = {"runtime ", "package ", "folder ", "check ", "install ",
                                        "stream ", "solid ", "entry ", "\r\n", "0x7f "};
    std::string out;
    out.reserve(size + 16);
    uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        if ((state >> 16) % 7 == 0)
            out += char(state >> 8);
        else
            out += words[(state >> 16) % 10];
    }
    out.resize(size);
    return out;
}

std::string PackageWriter::Build() const
{
    // Streams first, in pre-order; the solid set becomes one stream stored
    // with its carrying file.
    Layout layout;
    std::vector<const PackageEntry*> entries;
    Walk(root, [&](const PackageEntry& e) { entries.push_back(&e); });
    std::string solid;
    std::vector<int> solidFiles;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (IsSolidFile(*entries[i])) {
            solid += entries[i]->content;
            solidFiles.push_back(int(i));
        }
    }
    if (!solidFiles.empty()) {
        const int pick = solidCarrier.value_or(int(solidFiles.size()) - 1);
        layout.carrier = pick >= 0 && pick < int(solidFiles.size()) ? solidFiles[pick] : -1;
        layout.solidTotal = solid.size();
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = *entries[i];
        std::string stream;
        if (e.stream)
            stream = *e.stream;
        else if (e.kind == kNodeFolder || e.kind == kNodeInline)
            stream.clear();
        else if (IsSolidFile(e))
            stream = int(i) == layout.carrier ? Encode(kMethodSolid, solid, level) : std::string();
        else if (e.method <= kMethodSolid)
            stream = Encode(e.method, e.content, level);
        else
            stream = e.content;
        if (!stream.empty() || int(i) == layout.carrier) stream += e.trailing;
        layout.streams.push_back(stream);
    }

    // The table's length does not depend on the offsets it holds.
    layout.offsets.assign(entries.size(), 0);
    std::string toc;
    size_t index = 0;
    WriteRecord(toc, root, layout, index);
    toc += tocTrailer;
    uint64_t offset = 8 + toc.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        layout.offsets[i] = offset;
        offset += layout.streams[i].size();
    }
    toc.clear();
    index = 0;
    WriteRecord(toc, root, layout, index);
    toc += tocTrailer;

    std::string out = magic.substr(0, 3);
    out += char(version);
    PutBytes(out, tocLength.value_or(uint32_t(toc.size())), 4);
    out += toc;
    for (const std::string& stream : layout.streams) out += stream;
    out.resize(out.size() > cutFromEnd ? out.size() - cutFromEnd : 0);
    return out;
}

bool PackageWriter::WriteTo(const std::wstring& path) const
{
    const std::string bytes = Build();
    VLFile file;
    DWORD written = 0;
    return file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
           (bytes.empty() || file.Write(bytes.data(), DWORD(bytes.size()), &written)) && file.Close();
}

} // namespace Velora::Test
