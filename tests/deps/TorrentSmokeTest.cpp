// libtorrent as linked into the program: a session starts on loopback with
// every discovery and port-mapping service off, listens, and stops.
#include <gtest/gtest.h>

#include <libtorrent/alert_types.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>

#include <chrono>

namespace {

TEST(LibtorrentSmoke, SessionListensOnLoopbackAndStops)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::status | lt::alert_category::error);

    lt::session session(pack);
    int port = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (port == 0 && std::chrono::steady_clock::now() < deadline) {
        session.wait_for_alert(std::chrono::milliseconds(200));
        std::vector<lt::alert*> alerts;
        session.pop_alerts(&alerts);
        for (lt::alert* a : alerts) {
            if (auto* ok = lt::alert_cast<lt::listen_succeeded_alert>(a)) {
                EXPECT_EQ("127.0.0.1", ok->address.to_string());
                port = ok->port;
            }
            ASSERT_EQ(nullptr, lt::alert_cast<lt::listen_failed_alert>(a)) << a->message();
        }
    }
    EXPECT_NE(0, port);
    EXPECT_EQ(port, session.listen_port());
    EXPECT_FALSE(session.is_dht_running());
    session.abort();
}

} // namespace
