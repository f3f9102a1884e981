#include "ui/core/UIResources.h"

#include "base/Buffer.h"
#include "base/File.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "ui/core/BitmapPixels.h"
#include "ui/core/SkinFile.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace Velora {

namespace {

uint32_t Read16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Read32(const unsigned char* p) { return Read16(p) | Read16(p + 2) << 16; }
uint32_t Read16Be(const unsigned char* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Read32Be(const unsigned char* p) { return Read16Be(p) << 16 | Read16Be(p + 2); }

// The decoder pads a short BMP, TGA or PSD with zeros and calls it a success,
// so the pixel data those headers promise is measured against the bytes
// first.
bool BmpComplete(const unsigned char* data, size_t size)
{
    if (size < 26) return false;
    const uint64_t offset = Read32(data + 10);
    const uint32_t headerSize = Read32(data + 14);
    int64_t width, height;
    uint32_t bits;
    if (headerSize == 12) {
        width = Read16(data + 18);
        height = Read16(data + 20);
        bits = Read16(data + 24);
    } else {
        if (size < 30) return false;
        width = int32_t(Read32(data + 18));
        height = int32_t(Read32(data + 22));
        bits = Read16(data + 28);
    }
    if (height < 0) height = -height;
    if (!ImageSizeAllowed(width, height) || bits == 0 || bits > 32) return false;
    const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
    return offset + stride * uint64_t(height) <= size;
}

bool TgaComplete(const unsigned char* data, size_t size)
{
    if (size < 18) return false;
    const unsigned type = data[2];
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) return true;
    const bool indexed = data[1] != 0;
    const uint64_t width = Read16(data + 12), height = Read16(data + 14);
    const uint64_t pixelBytes = (data[16] + 7u) / 8u;
    if (!ImageSizeAllowed(int64_t(width), int64_t(height)) || pixelBytes == 0) return false;
    uint64_t at = 18 + uint64_t(data[0]);
    if (indexed) at += Read16(data + 3) + uint64_t(Read16(data + 5)) * ((data[7] + 7u) / 8u);
    const uint64_t pixels = width * height;
    if (type < 9) return at + pixels * pixelBytes <= size;
    // Run-length packets: a header byte, then one pixel (a run) or n pixels.
    for (uint64_t done = 0; done < pixels;) {
        if (at >= size) return false;
        const unsigned packet = data[at++];
        const uint64_t count = (packet & 127u) + 1;
        at += (packet & 128u) ? pixelBytes : count * pixelBytes;
        done += count;
    }
    return at <= size;
}

// A JPEG's entropy-coded data has no length of its own, so the file is
// walked: marker segments by their lengths, scan data byte by byte (a 0xFF
// there is followed by a stuffed 0 or is a restart marker) to the next
// segment, up to the end-of-image marker. Writers may pad after that marker.
// Bytes outside a segment that are no marker are skipped, as the decoder
// skips padding between segments.
bool JpegComplete(const unsigned char* data, size_t size)
{
    for (size_t at = 2; at < size;) {
        if (data[at++] != 0xFF) continue;
        while (at < size && data[at] == 0xFF) ++at; // fill bytes before a marker
        if (at == size) return false;
        const unsigned marker = data[at++];
        if (marker == 0xD9) return true;
        // Stuffing, restart markers and TEM stand alone; every other marker
        // starts a segment whose length counts itself.
        if (marker == 0 || marker == 1 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (size - at < 2) return false;
        at += Read16Be(data + at);
    }
    return false;
}

// A Photoshop image: its header, the colour mode data, image resources and
// layers each after its length, then the merged image's channels one after
// another, raw or as PackBits rows after a table of their byte counts.
bool PsdComplete(const unsigned char* data, size_t size)
{
    if (size < 26) return false;
    const uint64_t channels = Read16Be(data + 12), height = Read32Be(data + 14), width = Read32Be(data + 18);
    const unsigned depth = Read16Be(data + 22);
    if (!ImageSizeAllowed(int64_t(width), int64_t(height)) || (depth != 8 && depth != 16)) return false;
    // Only RGB images are decoded, and a channel the file lacks would be
    // drawn as zeros (none at all: opaque black).
    if (channels < 3) return false;
    uint64_t at = 26;
    for (int section = 0; section < 3; ++section) {
        if (at + 4 > size) return false;
        at += 4 + uint64_t(Read32Be(data + at));
    }
    if (at + 2 > size) return false;
    const unsigned compression = Read16Be(data + at);
    at += 2;
    const uint64_t pixels = width * height;
    if (compression == 0) return at + channels * pixels * (depth / 8) <= size;
    // The decoder unpacks 16-bit rows as if they were 8-bit ones, which
    // would draw a wrong picture.
    if (compression != 1 || depth != 8) return false;
    const uint64_t rows = channels * height;
    if (at + rows * 2 > size) return false;
    const unsigned char* counts = data + at;
    uint64_t packed = 0;
    for (uint64_t row = 0; row < rows; ++row) packed += Read16Be(counts + row * 2);
    at += rows * 2;
    if (at + packed > size) return false;
    // The decoder takes no notice of the table: it reads each of up to four
    // channels as one stream of packets, so a row that decodes to more or
    // fewer pixels than its width shifts every row after it, and the channels
    // run into each other. Each row's packets (no-ops aside) make its width
    // exactly and fill the bytes the table counts for it.
    for (uint64_t row = 0; row < std::min<uint64_t>(channels, 4) * height; ++row) {
        const uint64_t end = at + Read16Be(counts + row * 2);
        for (uint64_t done = 0; done < width || at < end;) {
            if (at >= end) return false;
            const unsigned packet = data[at++];
            if (packet == 128) continue;
            const uint64_t count = packet < 128 ? packet + 1 : 257 - packet;
            if (count > width - done) return false;
            done += count;
            at += packet < 128 ? count : 1;
        }
        if (at != end) return false;
    }
    return true;
}

bool DataComplete(const unsigned char* data, size_t size)
{
    static const unsigned char kPng[4] = {0x89, 'P', 'N', 'G'};
    if (size >= 4 && !std::memcmp(data, kPng, 4)) return true;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) return JpegComplete(data, size);
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return BmpComplete(data, size);
    if (size >= 4 && !std::memcmp(data, "8BPS", 4)) return PsdComplete(data, size);
    return TgaComplete(data, size);
}

// Every pixel premultiplied with truncation, then compared with the mask on
// the premultiplied word.
void ConvertPixels(const unsigned char* rgba, uint32_t* out, size_t count, uint32_t mask, bool& hasAlpha)
{
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        const uint32_t r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
        uint32_t word;
        if (a < 255) {
            word = a << 24 | (r * a / 255) << 16 | (g * a / 255) << 8 | (b * a / 255);
            hasAlpha = true;
        } else {
            word = a << 24 | r << 16 | g << 8 | b;
        }
        if (word == mask) {
            word = 0;
            hasAlpha = true;
        }
        out[i] = word;
    }
}

size_t ImageBytes(const VLImageInfo& image)
{
    return size_t(image.width) * size_t(image.height) * 4;
}

// What remembering one more spelling of a path costs: the text is kept twice.
size_t PathBytes(const std::wstring& path)
{
    return 2 * path.size() * sizeof(wchar_t) + 64;
}

// The file a path names, whatever the spelling: its volume and file index,
// with its size and time of writing, so that a file put where a deleted one
// was (its index reused) or rewritten is not taken for the cached one; empty
// when it cannot be opened.
std::wstring FileIdentity(const std::wstring& path)
{
    VLFile file;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0) ||
        !GetFileInformationByHandle(file.handle.Get(), &info))
        return std::wstring();
    std::wstring identity;
    Format(identity, L"<file %08lX %08lX%08lX %08lX%08lX %08lX%08lX>", info.dwVolumeSerialNumber, info.nFileIndexHigh,
           info.nFileIndexLow, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime.dwHighDateTime,
           info.ftLastWriteTime.dwLowDateTime);
    return identity;
}

struct StbPixels {
    ~StbPixels() { stbi_image_free(pixels); }
    unsigned char* pixels = nullptr;
};

} // namespace

std::unique_ptr<VLImageInfo> DecodeImage(const unsigned char* data, size_t size, uint32_t mask)
{
    if (!data || size == 0 || size > kMaxSkinFileSize || !DataComplete(data, size)) return nullptr;
    int width = 0, height = 0, channels = 0;
    // The header is measured before anything is decoded, so a hostile size
    // never reaches an allocation.
    if (!stbi_info_from_memory(data, int(size), &width, &height, &channels)) return nullptr;
    // The header of a top-down BMP gives its height negative.
    if (data[0] == 'B' && height < 0 && height != INT_MIN) height = -height;
    if (!ImageSizeAllowed(width, height)) return nullptr;
    StbPixels decoded;
    int decodedWidth = 0, decodedHeight = 0;
    decoded.pixels = stbi_load_from_memory(data, int(size), &decodedWidth, &decodedHeight, &channels, 4);
    if (!decoded.pixels || decodedWidth != width || decodedHeight != height) return nullptr;
    auto image = std::make_unique<VLImageInfo>();
    uint32_t* bits = nullptr;
    image->bitmap = CreateDib32(width, height, &bits);
    if (!image->bitmap) return nullptr;
    image->width = width;
    image->height = height;
    ConvertPixels(decoded.pixels, bits, size_t(width) * size_t(height), mask, image->hasAlpha);
    return image;
}

VLUIResources* VLUIResources::Instance()
{
    static VLUIResources resources;
    return &resources;
}

VLUIResources::~VLUIResources()
{
    // File images go before resource images, as the cache was built.
    recentKeys_.clear();
    paths_.clear();
    fileImages_.clear();
    resourceImages_.clear();
}

VLImageInfo* VLUIResources::GetResourceImage(int id, const std::wstring& type, uint32_t mask)
{
    auto found = resourceImages_.find(id);
    if (found != resourceImages_.end()) return found->second.get();
    std::unique_ptr<VLImageInfo> image = LoadResourceImage(id, type, mask);
    if (!image) return nullptr;
    return (resourceImages_[id] = std::move(image)).get();
}

VLImageInfo* VLUIResources::GetFileImage(const std::wstring& path, uint32_t mask, bool enciphered)
{
    const auto known = paths_.find(path);
    const std::wstring* key = known != paths_.end() ? &known->second : fileImages_.count(path) ? &path : nullptr;
    if (key) {
        Touch(*key);
        return fileImages_[*key].image.get();
    }
    // A path not asked for before may name a file cached under another.
    const std::wstring identity = FileIdentity(PathExists(path) ? path : resourceFolder_ + path);
    if (identity.empty()) return nullptr;
    if (fileImages_.count(identity)) {
        Touch(identity);
        EvictFor(PathBytes(path));
        AddPath(path, identity);
        return fileImages_[identity].image.get();
    }
    std::unique_ptr<VLImageInfo> image = LoadFileImage(path, mask, enciphered);
    if (!image) return nullptr;
    EvictFor(ImageBytes(*image) + PathBytes(path));
    fileBytes_ += ImageBytes(*image);
    VLImageInfo* record = (fileImages_[identity].image = std::move(image)).get();
    AddPath(path, identity);
    recentKeys_.push_back(identity);
    return record;
}

void VLUIResources::Touch(const std::wstring& key)
{
    auto recent = std::find(recentKeys_.begin(), recentKeys_.end(), key);
    if (recent != recentKeys_.end()) recentKeys_.erase(recent);
    recentKeys_.push_back(key);
}

void VLUIResources::AddPath(const std::wstring& path, const std::wstring& key)
{
    paths_[path] = key;
    fileImages_[key].paths.push_back(path);
    fileBytes_ += PathBytes(path);
}

void VLUIResources::EvictFor(size_t bytes)
{
    while (recentKeys_.size() > 1 && (recentKeys_.size() >= kMaxFileImages || fileBytes_ + bytes > kMaxFileImageBytes))
        RemoveKey(std::wstring(recentKeys_.front()));
}

int VLUIResources::AddResourceImage(int id, std::unique_ptr<VLImageInfo> image)
{
    if (id == 0) id = nextKey_++;
    resourceImages_[id] = std::move(image);
    return id;
}

std::wstring VLUIResources::AddFileImage(const std::wstring& name, std::unique_ptr<VLImageInfo> image)
{
    std::wstring key = name;
    if (key.empty()) Format(key, L"%d", nextKey_++);
    // The name finds this record from now on, not a file it may have named.
    if (paths_.count(key)) RemoveFileImage(key);
    FileEntry& entry = fileImages_[key];
    if (entry.image) fileBytes_ -= ImageBytes(*entry.image);
    fileBytes_ += ImageBytes(*image);
    entry.image = std::move(image);
    return key;
}

void VLUIResources::RemoveFileImage(const std::wstring& path)
{
    const auto known = paths_.find(path);
    RemoveKey(known != paths_.end() ? std::wstring(known->second) : path);
}

void VLUIResources::RemoveKey(const std::wstring& key)
{
    auto found = fileImages_.find(key);
    if (found == fileImages_.end()) return;
    for (const std::wstring& spelling : found->second.paths) {
        paths_.erase(spelling);
        fileBytes_ -= PathBytes(spelling);
    }
    if (found->second.image) fileBytes_ -= ImageBytes(*found->second.image);
    auto recent = std::find(recentKeys_.begin(), recentKeys_.end(), key);
    if (recent != recentKeys_.end()) recentKeys_.erase(recent);
    fileImages_.erase(found);
}

std::unique_ptr<VLImageInfo> VLUIResources::LoadFileImage(const std::wstring& path, uint32_t mask,
                                                           bool enciphered) const
{
    const std::wstring full = PathExists(path) ? path : resourceFolder_ + path;
    VLBuffer<unsigned char> bytes;
    if (enciphered) {
        if (!ReadSkinFile(full, bytes) || !bytes.data) return nullptr;
    } else {
        VLFile file;
        uint64_t size = 0;
        if (!file.Open(full, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) ||
            !file.GetSize(size) || size == 0 || size > kMaxSkinFileSize)
            return nullptr;
        bytes.SetCapacity(uint32_t(size));
        DWORD read = 0;
        if (!file.Read(bytes.data, DWORD(size), &read) || read != size) return nullptr;
    }
    return DecodeImage(bytes.data, bytes.capacity, mask);
}

std::unique_ptr<VLImageInfo> VLUIResources::LoadResourceImage(int id, const std::wstring& type, uint32_t mask) const
{
    if (type == L"BMP") {
        // Module bitmaps are drawn as they are: no conversion, no mask, no alpha.
        auto image = std::make_unique<VLImageInfo>();
        image->bitmap.Reset(LoadBitmapW(instance_, MAKEINTRESOURCEW(id)));
        BITMAP object{};
        if (!image->bitmap || !GetObjectW(image->bitmap.Get(), sizeof(object), &object)) return nullptr;
        image->width = object.bmWidth;
        image->height = object.bmHeight;
        return image;
    }
    HRSRC resource = FindResourceW(instance_, MAKEINTRESOURCEW(id), type.c_str());
    if (!resource) return nullptr;
    const DWORD size = SizeofResource(instance_, resource);
    HGLOBAL loaded = LoadResource(instance_, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    return DecodeImage(static_cast<const unsigned char*>(bytes), size, mask);
}

std::wstring VLUIResources::LoadString(UINT id) const
{
    if (id == 0) return std::wstring();
    wchar_t buffer[512] = {};
    if (::LoadStringW(instance_, id, buffer, 511) > 0) return buffer;
    if (FindResourceW(instance_, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING)) return std::wstring();
    return UIntToString(id);
}

} // namespace Velora
