// How long the downloads wait for a server before they give it up. Every wait
// has its own bound, so that a server that accepts and never answers, or
// trickles its answer, ends a download with a clean failure instead of one
// that never ends.
#pragma once

#include <cstdint>

namespace Velora {

// A host that has not accepted by then is as good as down: a busy server still
// accepts within seconds.
constexpr uint32_t kConnectLimitMs = 20000;
// The whole header block of an answer, from the request on (for the address
// query every redirect included). It is a few hundred bytes: a server that
// needs longer is stalling or trickling.
constexpr uint32_t kHeadLimitMs = 30000;
// A body that brings not a single byte for this long is broken off; slow but
// moving transfers go on.
constexpr uint32_t kIdleLimitMs = 120000;
// A BitTorrent download whose pieces gain not a byte for this long (no peer,
// web seeds gone or failing) ends, keeping its record and data.
constexpr uint32_t kTorrentIdleLimitMs = 5 * 60 * 1000;
// Redirects the address query follows: the service redirects once if at all,
// and a redirect that points back at itself must not loop.
constexpr int kMaxRedirects = 5;

struct VLWaitLimits {
    uint32_t connectMs = kConnectLimitMs;
    uint32_t headMs = kHeadLimitMs;
    uint32_t idleMs = kIdleLimitMs;
    uint32_t torrentIdleMs = kTorrentIdleLimitMs;
};

// The bounds in force: the constants above, unless a test shortened them.
VLWaitLimits GetWaitLimits();
// Only for tests, so that a stalling server's case ends in seconds; the
// program never calls it. Transfers already running keep the bounds they read.
void SetWaitLimitsForTests(const VLWaitLimits& limits);

} // namespace Velora
