#!/usr/bin/env bash
# The shipped program's check, end to end in a fresh prefix: the window (class,
# size, place, title, no system caption), one statistics report whose codes
# are the whole catalogue in runtime-id order, a runtime set up beforehand
# found present, the minimise button, cancel (no report), closing during a
# check (exit code 0 within 3 s), the wheel over the list, start-up with a
# hostile seed list in the work folder (refused: the window shows), and
# start-up with every BitTorrent port taken (an error box and no window).
# Usage: app-check-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"
source "$(dirname "$0")/app-lib.sh"

e2e_begin app-check
e2e_standin_start
# OpenAL ("3") set up before the first start.
mkdir -p "$e2e_dir/setup"
e2e_wine "$E2E_WWW/pkg/40024.exe" "$(e2e_winpath "$e2e_dir/setup/exchange.ini")" >/dev/null || true
# A seed list nested far too deep, its end tags hidden behind multibyte lead
# bytes before CR LF line ends from a reading that does not fold them.
temp="$(e2e_wine cmd /c echo %TEMP% | tr -d '\r')"
work="$(e2e_wine winepath -u "$temp\\Zofti\\RuntimeCheck" | tr -d '\r')"
mkdir -p "$work"
python3 -c 'import sys; sys.stdout.buffer.write(b"\xef\xbb\xbf" + b"<a>\xe4\r\n</a>" * 100000)' > "$work/seeds.xml"

app_start
facts="$(app_window)"
grep -qx 'client 800 600' <<< "$facts" || e2e_fail "window facts: $facts"
grep -qx 'rect 112 84 912 684' <<< "$facts" || e2e_fail "not centred on the 1024x768 screen: $facts"
grep -qx 'title Zofti游戏运行库检测v1.0' <<< "$facts" || e2e_fail "title: $facts"
style="$(awk '/^style/ {print $2}' <<< "$facts")"
(( (style & 0x00C00000) == 0 )) || e2e_fail "the window keeps a system caption: $style"
app_shot VLHarrowWnd check-start

drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
sleep 1
[ "$(grep -c 'GET /app_runtime.php' "$e2e_dir/requests.log")" = 1 ] || e2e_fail "more than one report"
report="$(grep -o 'type=1&have=[^ ]*' "$e2e_dir/requests.log")"
check_codes "$report" "4 5 7 17 6 3 B E 1 20 18 2 8 11 1B 1C 14 1F 9 C F 12"
grep -q 'have=\(.*-\)\?3\(-\|&\)' <<< "$report" || e2e_fail "OpenAL, set up beforehand, is not present: $report"
app_shot VLHarrowWnd check-result

# The wheel over the list scrolls it one way and stops at the top.
drive capture VLHarrowWnd "$e2e_dir/top.bmp"
drive wheel VLHarrowWnd 400 300 -3
sleep 0.5
drive capture VLHarrowWnd "$e2e_dir/scrolled.bmp"
cmp -s "$e2e_dir/top.bmp" "$e2e_dir/scrolled.bmp" && e2e_fail "the wheel did not scroll the list"
drive wheel VLHarrowWnd 400 300 10
sleep 0.5
drive capture VLHarrowWnd "$e2e_dir/back.bmp"
cmp -s "$e2e_dir/top.bmp" "$e2e_dir/back.bmp" || e2e_fail "turning back did not stop at the top"

drive click VLHarrowWnd 734 14
for _ in $(seq 25); do drive find VLHarrowWnd | grep -q '^state visible iconic' && break; sleep 0.2; done
drive find VLHarrowWnd | grep -q '^state visible iconic' || e2e_fail "the minimise button did not minimise"
app_close 3000

# A cancelled check reports nothing; closing during a check ends the program.
: > "$e2e_dir/requests.log"
app_start
app_window >/dev/null
drive click VLHarrowWnd 400 366
sleep 1
drive click VLHarrowWnd 710 90
sleep 1
app_shot VLHarrowWnd check-cancelled
drive click VLHarrowWnd 710 90
sleep 0.7
app_close 3000
! grep -q 'app_runtime' "$e2e_dir/requests.log" || e2e_fail "a cancelled or closed check reported"

# Every BitTorrent port taken: the error box alone, then exit code 0.
python3 - "$e2e_dir/ports.ready" <<'PY' &
import socket, sys, time
held = []
for port in range(6881, 6891):
    s = socket.socket()
    s.bind(("0.0.0.0", port))
    s.listen()
    held.append(s)
open(sys.argv[1], "w").close()
time.sleep(120)
PY
holder=$!
for _ in $(seq 50); do [ -f "$e2e_dir/ports.ready" ] && break; sleep 0.1; done
app_start
for _ in $(seq 50); do
    box="$(drive find '#32770' 30000)"
    grep -q '^state visible' <<< "$box" && break
    sleep 0.2
done
grep -qx 'title 错误' <<< "$box" || e2e_fail "error box: $box"
drive find VLHarrowWnd 500 >/dev/null 2>&1 && e2e_fail "a main window despite the error"
drive close '#32770'
app_wait_exit 5000
kill "$holder" 2>/dev/null || true
echo "e2e: the check works end to end"
