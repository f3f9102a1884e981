// The process's holder of what the skinned UI loads: the module instance, the
// decoded images of module resources (by id) and of files (by the file a path
// names, bounded in count and bytes and evicted least recently used first)
// and the string table. Images are
// decoded once into 32-bit top-down DIB sections with premultiplied alpha, so
// painting only blits or blends them. UI thread only.
#pragma once

#include "base/GdiScope.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

// One decoded image, owned by the cache that holds it; the record owns its
// bitmap. A "BMP" resource keeps the bitmap LoadBitmapW made and an icon
// image is a bottom-up DIB, so code that reads pixels must not assume the
// layout of a decoded image.
struct VLImageInfo {
    VLBitmap bitmap;
    int width = 0;
    int height = 0;
    // Some pixel is not opaque (or was cleared by the mask colour): decides
    // between BitBlt/StretchBlt and AlphaBlend.
    bool hasAlpha = false;
};

class VLUIResources {
public:
    static constexpr size_t kMaxFileImages = 1000;
    // Decoded file images, with the paths that name them, are bounded in bytes
    // as well: a skin may name any number of large images.
    static constexpr size_t kMaxFileImageBytes = 128u * 1024 * 1024;

    static VLUIResources* Instance();

    VLUIResources(const VLUIResources&) = delete;
    VLUIResources& operator=(const VLUIResources&) = delete;

    HINSTANCE GetInstance() const { return instance_; }
    void SetInstance(HINSTANCE instance) { instance_ = instance; }
    // Prefix for file images whose path does not exist as given.
    const std::wstring& GetResourceFolder() const { return resourceFolder_; }
    void SetResourceFolder(const std::wstring& folder) { resourceFolder_ = folder; }

    // The cached record, loading it on a miss; null when it cannot be loaded
    // (nothing is cached then). The key is the id, or the file the path
    // names (every spelling of one file finds one record): the first load
    // decides the mask. A pointer stays valid only until its entry is evicted
    // or replaced, so callers fetch it again for every paint; the record used
    // last is never evicted, so one draw may fetch two.
    VLImageInfo* GetResourceImage(int id, const std::wstring& type, uint32_t mask);
    VLImageInfo* GetFileImage(const std::wstring& path, uint32_t mask, bool enciphered);

    // Store a record under the id or name (0 or "" takes the next free key),
    // freeing the record it replaces; they return the key used. A file image
    // added here joins the eviction order at its first GetFileImage hit.
    int AddResourceImage(int id, std::unique_ptr<VLImageInfo> image);
    std::wstring AddFileImage(const std::wstring& name, std::unique_ptr<VLImageInfo> image);
    // Forgets the record a path or added name finds, with all its paths.
    void RemoveFileImage(const std::wstring& path);

    // The string of the module's table; "" for id 0 or an empty string, the
    // id's digits when its whole block is missing.
    std::wstring LoadString(UINT id) const;

    // The loaders behind the caches, without caching.
    std::unique_ptr<VLImageInfo> LoadFileImage(const std::wstring& path, uint32_t mask, bool enciphered) const;
    std::unique_ptr<VLImageInfo> LoadResourceImage(int id, const std::wstring& type, uint32_t mask) const;

private:
    VLUIResources() = default;
    ~VLUIResources();

    std::wstring resourceFolder_;
    std::map<int, std::unique_ptr<VLImageInfo>> resourceImages_;
    struct FileEntry {
        std::unique_ptr<VLImageInfo> image;
        std::vector<std::wstring> paths; // the spellings that led here
    };
    // Makes room for bytes more, least recently used first, sparing the
    // record used last.
    void EvictFor(size_t bytes);
    void Touch(const std::wstring& key);
    void RemoveKey(const std::wstring& key);
    void AddPath(const std::wstring& path, const std::wstring& key);

    // Keyed by the file's identity (volume and file index), or by the name an
    // image was added under.
    std::map<std::wstring, FileEntry> fileImages_;
    std::map<std::wstring, std::wstring> paths_; // path as asked -> key
    size_t fileBytes_ = 0;
    int nextKey_ = 0;
    HINSTANCE instance_ = nullptr;
    // Keys of file images, least recently used first.
    std::vector<std::wstring> recentKeys_;
};

// Decodes PNG, JPEG, BMP, TGA or PSD bytes into a premultiplied top-down DIB,
// clearing pixels whose premultiplied word equals mask. Null for data that is
// malformed, not whole, or too large.
std::unique_ptr<VLImageInfo> DecodeImage(const unsigned char* data, size_t size, uint32_t mask);

} // namespace Velora
