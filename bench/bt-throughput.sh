#!/usr/bin/env bash
# Downloads a payload (512 MiB unless a size in MiB is given) over BitTorrent
# from one seeding peer on the loopback (aria2c, named by a local tracker),
# once with fetch-probe (the program's own task, record and seed list, under
# Wine) and once with aria2c, and prints both throughputs and their ratio.
# Usage, from the checkout after a build: scripts/sandbox bash bench/bt-throughput.sh [build folder] [MiB]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
mib="${2:-512}"
# Other work on the machine slows one side more than the other.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
VL_FETCH_TORRENT=1 VL_BENCH_ARIA2=1 bash "$top/tests/download/nginx-fetch.sh" \
    "$build/tools/fetch-probe/fetch-probe.exe" "$build/wine-run" "$((mib * 1048576))"
