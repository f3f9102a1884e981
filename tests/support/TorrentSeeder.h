// A second BitTorrent engine on 127.0.0.1 that seeds one torrent whose data
// is already in a folder, or fetches it into one: the remote peer of
// peer-to-peer tests.
#pragma once

#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace Velora::Test {

class TorrentSeeder {
public:
    // With seeds, folder holds the torrent's data, trusted and not checked.
    // Without, the peer fetches it, checking every piece.
    TorrentSeeder(const std::string& torrent, const std::wstring& folder, bool seeds = true);
    ~TorrentSeeder();

    // Waits (bounded) until the torrent seeds.
    bool WaitSeeding(int seconds);
    // Bytes of pieces fetched that failed their hash.
    int64_t FailedBytes() { return torrent_.status().total_failed_bytes; }
    void ConnectTo(uint16_t port);
    uint16_t ListenPort() const { return session_->listen_port(); }
    // Slows the upload so that a transfer lasts long enough to be watched.
    void LimitUpload(int bytesPerSecond) { torrent_.set_upload_limit(bytesPerSecond); }

private:
    std::unique_ptr<lt::session> session_;
    lt::torrent_handle torrent_;
};

} // namespace Velora::Test
