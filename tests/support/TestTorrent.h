// Torrents made by the tests: v1-only single-file torrents over a payload held
// in memory.
#pragma once

#include <libtorrent/sha1_hash.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora::Test {

// Deterministic pseudo-random bytes.
std::string MakePayload(size_t size, uint32_t seed);
// A v1-only torrent (the service serves torrents of that kind) of one file
// named name, bencoded; each tracker in a tier of its own.
std::string MakeTorrent(const std::string& name, const std::string& payload, int pieceSize,
                        const std::vector<std::string>& urlSeeds = {},
                        const std::vector<std::string>& trackers = {});
// SHA-1 of the bencoded info dictionary.
lt::sha1_hash InfoHashOf(const std::string& torrent);

} // namespace Velora::Test
