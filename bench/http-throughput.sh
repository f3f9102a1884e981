#!/usr/bin/env bash
# Downloads a 1 GiB file from nginx on the loopback with our range downloader
# (fetch-probe) and with curl, and prints the throughputs and their ratios:
# the transfer alone and the whole run (Wine's start-up and the MD5 check
# included) against curl, and the whole run against curl followed by md5sum.
# Usage, from the checkout after a build: scripts/sandbox bash bench/http-throughput.sh [build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
VL_BENCH_CURL=1 bash "$top/tests/download/nginx-fetch.sh" "$build/tools/fetch-probe/fetch-probe.exe" "$build/wine-run" 1073741824
