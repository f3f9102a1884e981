#!/usr/bin/env bash
# Closing the window while a BitTorrent package's torrent server keeps its
# fetch waiting ends the program within 3 s with exit code 0, as closing
# during any other download does; the fetch alone would wait 30 s for the
# answer's head.
# Usage: app-close-torrent-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"
source "$(dirname "$0")/app-lib.sh"

e2e_begin app-close-torrent
# The first row a repair fetches comes over BitTorrent, from a torrent server
# that never answers.
e2e_standin_start --stalled-torrent 40029
app_start
app_window >/dev/null

drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
drive click VLHarrowWnd 710 90
wait_logged 'GET /torrent/40029.exe.torrent HTTP/1.1 stalled' 1 60
sleep 1
app_close 3000
