#!/usr/bin/env bash
# The shipped program in a warm prefix: time from process start until its
# window is on the screen and painted, its working set (resident set of the
# process), and its CPU time over 10 s of idling. Then one repair of a
# 200 MiB setup program served on loopback, against the stand-alone
# fetch-probe download plus install-probe install of the same package.
# Prints figures only.
# Usage, from the checkout after a build: scripts/sandbox bash bench/app-bench.sh [build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
source "$top/tests/e2e/e2e-lib.sh" "$build/tests/e2e/e2e-paths.sh"
source "$top/tests/e2e/app-lib.sh"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
program_pid() { pgrep -f 'RuntimeCheck.exe' | head -n1; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

e2e_begin app-bench
# Only the benchmark's package is served; every other runtime is refused at once.
www="$e2e_dir/www"
mkdir -p "$www/pkg" "$www/setup"
cp "$E2E_WWW/pkg/40024.exe" "$www/pkg/40024.exe"
head -c $((200 * 1024 * 1024 - $(stat -c %s "$www/pkg/40024.exe"))) /dev/urandom >> "$www/pkg/40024.exe"
E2E_WWW="$www" e2e_standin_start
# A warm prefix: Wine's own start-up files are in the cache.
app_start
app_window >/dev/null
app_close 10000

for run in 1 2 3; do
    started=$(now_ms)
    app_start
    until xwininfo -root -tree 2>/dev/null | grep -q 'Zofti'; do sleep 0.01; done
    shown=$(( $(now_ms) - started ))
    until [ "$(import -window root -crop 800x600+112+84 -format '%[fx:maxima]' info: 2>/dev/null)" != 0 ]; do
        sleep 0.01
    done
    painted=$(( $(now_ms) - started ))
    echo "start $run: window shown after $shown ms, painted by $painted ms"
    app_close 10000
done

app_start
app_window >/dev/null
pid="$(program_pid)"
echo "working set: $(awk '/VmRSS/ {print $2 / 1024 " MiB"}' "/proc/$pid/status")"
threads() { for t in /proc/"$pid"/task/*; do echo "$(basename "$t") $(cpu_ticks "${t#/proc/}")"; done; }
threads > "$e2e_dir/before"
sleep 10
threads > "$e2e_dir/after"
# Per thread: the BitTorrent session's network thread apart from the rest.
join "$e2e_dir/before" "$e2e_dir/after" | while read -r tid first last; do
    echo "$(cat "/proc/$pid/task/$tid/comm") $((last - first))"
done | awk -v hz="$(getconf CLK_TCK)" '
    { if ($1 ~ /libtorrent/) torrent += $NF; else rest += $NF }
    END { printf "idle CPU over 10 s: %.2f %% (BitTorrent network thread %.2f %%, everything else %.2f %%)\n",
                 (torrent + rest) * 10 / hz, torrent * 10 / hz, rest * 10 / hz }'

drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
: > "$e2e_dir/requests.log"
started=$(now_ms)
drive click VLHarrowWnd 710 90
wait_logged 'GET /app_runtime.php?type=2' 1 600
repair=$(( $(now_ms) - started ))
app_close 10000

folder="$e2e_dir/probe"
mkdir -p "$folder"
started=$(now_ms)
e2e_wine "$E2E_FETCH_PROBE" 40024 "$(e2e_winpath "$folder")" >/dev/null
fetched=$(( $(now_ms) - started ))
e2e_wine "$E2E_INSTALL_PROBE" "$(e2e_winpath "$folder/rt_40024.exe")" "$(e2e_winpath "$folder")" 40024 >/dev/null
probes=$(( $(now_ms) - started ))
echo "repair of a 200 MiB package: program $repair ms (with the other runtimes refused),"\
     "fetch-probe $fetched ms + install-probe $((probes - fetched)) ms = $probes ms,"\
     "ratio $(awk -v a=$repair -v b=$probes 'BEGIN {printf "%.2f", a / b}')"
