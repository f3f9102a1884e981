#include "tests/support/TestTorrent.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/hasher.hpp>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace Velora::Test {

std::string MakePayload(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string MakeTorrent(const std::string& name, const std::string& payload, int pieceSize,
                        const std::vector<std::string>& urlSeeds, const std::vector<std::string>& trackers)
{
    lt::file_storage files;
    files.add_file(name, static_cast<std::int64_t>(payload.size()));
    lt::create_torrent torrent(files, pieceSize, lt::create_torrent::v1_only);
    for (lt::piece_index_t piece : files.piece_range()) {
        const size_t offset = static_cast<size_t>(static_cast<int>(piece)) * pieceSize;
        const size_t length = std::min<size_t>(pieceSize, payload.size() - offset);
        torrent.set_hash(piece, lt::hasher(payload.data() + offset, static_cast<int>(length)).final());
    }
    for (const std::string& url : urlSeeds) torrent.add_url_seed(url);
    for (size_t tier = 0; tier < trackers.size(); ++tier) torrent.add_tracker(trackers[tier], int(tier));
    std::string bytes;
    lt::bencode(std::back_inserter(bytes), torrent.generate());
    return bytes;
}

lt::sha1_hash InfoHashOf(const std::string& torrent)
{
    lt::error_code ec;
    lt::bdecode_node root = lt::bdecode(torrent, ec);
    if (ec) throw std::runtime_error("not a torrent");
    const auto section = root.dict_find_dict("info").data_section();
    return lt::hasher(section.data(), static_cast<int>(section.size())).final();
}

} // namespace Velora::Test
