#include "tests/support/TorrentSeeder.h"

#include "base/TextConvert.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include <windows.h>

#include <boost/asio/ip/address.hpp>

namespace Velora::Test {

TorrentSeeder::TorrentSeeder(const std::string& torrent, const std::wstring& folder, bool seeds)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    pack.set_int(lt::settings_pack::alert_mask, 0);
    // The seeder dials its peers. Over uTP, whose delay-based congestion
    // control reads Wine's scheduling latency as a full link, loopback
    // transfers crawled at a few MB/s; TCP runs at what the disks allow.
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    // Peers added by hand are dialled on the engine's next tick, and again
    // a second after one turned the peer away (a torrent still being added).
    pack.set_int(lt::settings_pack::tick_interval, 100);
    pack.set_int(lt::settings_pack::min_reconnect_time, 1);
    lt::session_params sessionParams(pack);
    // Files are read through a mapping rather than opened again for every
    // 16 KiB block, which costs a round trip to Wine's server each time.
    sessionParams.disk_io_constructor = lt::mmap_disk_io_constructor;
    session_ = std::make_unique<lt::session>(std::move(sessionParams));

    lt::add_torrent_params params;
    params.ti = std::make_shared<lt::torrent_info>(torrent.data(), static_cast<int>(torrent.size()));
    bool ok = false;
    params.save_path = WideToMultiByteCP(folder, CP_UTF8, 0, nullptr, &ok);
    params.flags = params.flags & ~lt::torrent_flags::paused & ~lt::torrent_flags::auto_managed;
    if (seeds) params.flags |= lt::torrent_flags::seed_mode;
    torrent_ = session_->add_torrent(std::move(params));
}

TorrentSeeder::~TorrentSeeder() = default;

bool TorrentSeeder::WaitSeeding(int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (torrent_.status().is_seeding) return true;
        Sleep(100);
    }
    return false;
}

void TorrentSeeder::ConnectTo(uint16_t port)
{
    torrent_.connect_peer({boost::asio::ip::make_address("127.0.0.1"), port});
}

} // namespace Velora::Test
