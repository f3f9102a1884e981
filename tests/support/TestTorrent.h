// Torrents made by the tests: v1-only single-file torrents over a payload held
// in memory, and scratch folders to download them into.
#pragma once

#include <libtorrent/sha1_hash.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace VeloraTest {

// Deterministic pseudo-random bytes.
std::string MakePayload(size_t size, uint32_t seed);
// A v1-only torrent (the service serves torrents of that kind) of one file
// named name, bencoded.
std::string MakeTorrent(const std::string& name, const std::string& payload, int pieceSize,
                        const std::vector<std::string>& urlSeeds = {});
// SHA-1 of the bencoded info dictionary.
lt::sha1_hash InfoHashOf(const std::string& torrent);

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// A uniquely named folder under the temporary folder, removed with all its
// contents on destruction.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring Child(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Narrow (system code page) form, as the BitTorrent interfaces take it.
    std::string Narrow(const std::wstring& name = L"") const;

private:
    std::wstring path_;
};

} // namespace VeloraTest
