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
facts="$(app_window)"
pid="$(sed -n 's/^window [^ ]* \([0-9]*\)$/\1/p' <<< "$facts")"
exits="$e2e_dir/exit.txt"
e2e_start "$exits" "$E2E_UI_DRIVER" wait-process "$pid" 600000
waiter=$!
for _ in $(seq 100); do
    grep -q '^holding' "$exits" && break
    sleep 0.2
done
grep -q '^holding' "$exits" || e2e_fail "wait-process does not hold the program: $(cat "$exits")"

drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
drive click VLHarrowWnd 710 90
wait_logged 'GET /torrent/40029.exe.torrent HTTP/1.1 stalled' 1 60
sleep 1
drive close VLHarrowWnd
closed=$(date +%s%N)
until grep -q '^exit' "$exits"; do
    took=$((($(date +%s%N) - closed) / 1000000))
    (( took < 3000 )) || e2e_fail "the program did not end within 3 s of the close"
    sleep 0.05
done
echo "e2e: the program ended $((($(date +%s%N) - closed) / 1000000)) ms after the close"
tr -d '\r' < "$exits" | grep -qx 'exit 0' || e2e_fail "the program ended with: $(cat "$exits")"
wait "$waiter"
wait "$app_pid"
