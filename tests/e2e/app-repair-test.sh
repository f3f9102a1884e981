#!/usr/bin/env bash
# The shipped program's repair, end to end in a fresh prefix against the
# service stand-in: every ticked runtime fetched in list order and installed,
# one repair report whose present list is the check's missing list, the
# download of a package and of a setup program seen moving in the window, the
# companion offer once (accepted: its installer fetched and started), a fresh
# start that finds everything installed; an id the service refuses ends
# failed; a slow download cancelled with the action button reports the
# cancel; closing during a repair ends the program; with the companion's key
# in place no offer shows.
# Usage: app-repair-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"
source "$(dirname "$0")/app-lib.sh"

# check_repair LOG: after the first check, every missing runtime's address
# query in list order, each (but the refused 40029) followed by its package;
# the repair report's present list is the check's missing list less 40029.
check_repair() {
    python3 - "$1" <<'PY' || e2e_fail "repair road: $(grep -c . "$1") requests"
import re, sys
codes = {40018: "4", 40019: "5", 40020: "7", 40021: "17", 40023: "6", 40024: "3", 40026: "B", 40027: "E",
         40028: "1", 40029: "20", 40043: "18", 40044: "2", 40050: "8", 40051: "11", 40053: "1B", 40054: "1C",
         40057: "14", 40058: "1F", 40059: "9", 40060: "C", 40061: "F", 40062: "12"}
listed = [40029, 40019, 40023, 40020, 40024, 40028, 40044, 40018, 40021, 40043, 40057, 40050, 40026, 40027,
          40051, 40053, 40054, 40059, 40060, 40061, 40062, 40058]
lines = open(sys.argv[1]).read().splitlines()
check = next(l for l in lines if "type=1&" in l)
missing = re.search(r"miss=([^ &]*)", check).group(1).split("-")
repair = next(l for l in lines if "type=2&" in l)
have = re.search(r"have=([^ &]*)", repair).group(1).split("-")
assert have == [c for c in missing if c != "20"], (have, missing)
steps = []
for line in lines[lines.index(check):lines.index(repair)]:
    m = re.search(r"query_url\.php\?\S*id=(\d+)", line)
    if m: steps.append(("query", int(m.group(1))))
    m = re.search(r"GET /pkg/(\d+)\.", line)
    if m and steps[-1] != ("pkg", int(m.group(1))): steps.append(("pkg", int(m.group(1))))
order = [i for i in listed if codes[i] in missing]
expected = [step for i in order for step in ([("query", i)] + ([("pkg", i)] if i != 40029 else []))]
assert steps == expected, (steps, expected)
PY
}

report_list() { # report_list TYPE have|miss [nth]
    grep -o "type=$1&have=[^ ]*" "$e2e_dir/requests.log" | sed -n "${3:-1}p" | sed "s/.*$2=\([^&]*\).*/\1/"
}

e2e_begin app-repair
# The Java runtime's package comes slowly enough to watch its download move.
e2e_standin_start --refuse 40029 --rate 10000 --slow 40020
app_start
app_window >/dev/null
drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
drive click VLHarrowWnd 710 90
wait_logged 'GET /pkg/40020' 1 120
download_moves package-download
wait_logged 'GET /app_runtime.php?type=2' 1 600
[ "$(report_list 2 miss)" = 20 ] || e2e_fail "the refused id is not the one missing"
check_repair "$e2e_dir/requests.log"

# The offer: shown once, accepted, its installer fetched and started.
facts="$(drive find VLHarrowMsgWnd 20000)"
grep -qx 'client 396 250' <<< "$facts" || e2e_fail "prompt: $facts"
grep -qx 'title 提示' <<< "$facts" || e2e_fail "prompt: $facts"
app_shot VLHarrowMsgWnd companion-offer
drive click VLHarrowMsgWnd 345 227
wait_logged 'GET /setup/zofti_appenv.exe' 1 60
temp="$(e2e_wine cmd /c echo %TEMP% | tr -d '\r')"
for _ in $(seq 50); do
    [ -f "$(e2e_wine winepath -u "$temp\\Zofti\\RuntimeCheck\\zofti_appenv.exe.ran" | tr -d '\r')" ] && break
    sleep 0.2
done
[ -f "$(e2e_wine winepath -u "$temp\\Zofti\\RuntimeCheck\\zofti_appenv.exe.ran" | tr -d '\r')" ] ||
    e2e_fail "the companion installer did not run"
app_shot VLHarrowWnd repair-refused

# A second repair (the refused row again) offers nothing more.
drive click VLHarrowWnd 710 90
wait_logged 'GET /app_runtime.php?type=2' 2 120
sleep 2
drive find VLHarrowMsgWnd 500 >/dev/null 2>&1 && e2e_fail "offered twice"
app_close 5000

# A fresh start finds every repaired runtime installed.
app_start
app_window >/dev/null
drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 2 120
[ "$(report_list 1 miss 2)" = 20 ] || e2e_fail "re-check: $(grep -o 'type=1[^ ]*' "$e2e_dir/requests.log" | tail -1)"
app_close 5000

# A slow download cancelled with the action button: the cancel report, the
# row back to missing.
e2e_standin_stop
e2e_standin_start --rate 20000
: > "$e2e_dir/requests.log"
wine reg add 'HKLM\SOFTWARE\Zofti游戏' /f /reg:32 >/dev/null 2>&1
app_start
app_window >/dev/null
drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
drive click VLHarrowWnd 710 90
wait_logged 'GET /pkg/40029' 1 30
download_moves setup-download
started=$(date +%s)
drive click VLHarrowWnd 710 90
wait_logged 'GET /app_runtime.php?type=3' 1 11
(( $(date +%s) - started <= 11 )) || e2e_fail "the cancel took too long"
grep -q 'type=3&have=&miss=20' "$e2e_dir/requests.log" || e2e_fail "$(grep -o 'type=3[^ ]*' "$e2e_dir/requests.log")"
sleep 2
drive find VLHarrowMsgWnd 500 >/dev/null 2>&1 && e2e_fail "an offer although the client is installed"
app_shot VLHarrowWnd repair-cancelled

# Closing during a repair ends the program.
drive click VLHarrowWnd 710 90
wait_logged 'GET /pkg/40029' 2 30
app_close 10000
echo "e2e: the repair works end to end"
