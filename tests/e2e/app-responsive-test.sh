#!/usr/bin/env bash
# The shipped program's window never freezes: with the stand-in holding every
# statistics report and the companion download without an answer, the window
# answers within 200 ms each time it is asked (every 50 ms) throughout a
# check, a repair, its cancel, the companion offer accepted and the close,
# and the program ends within 3 s of the close.
# Usage: app-responsive-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"
source "$(dirname "$0")/app-lib.sh"

e2e_begin app-responsive
# Slow packages, so that the repair is still downloading when it is cancelled.
e2e_standin_start --stall --rate 20000
app_start
app_window >/dev/null
# Asks until the window is gone.
drive probe VLHarrowWnd 600000 > "$e2e_dir/probe.log" &
probe=$!

drive click VLHarrowWnd 400 366
wait_logged 'GET /app_runtime.php?type=1' 1 120
drive click VLHarrowWnd 710 90
wait_logged 'GET /pkg/' 1 30
drive click VLHarrowWnd 710 90
# The offer follows the cancel at once, though the cancel's report waits
# behind the check's.
drive find VLHarrowMsgWnd 20000 >/dev/null || e2e_fail "no companion offer after the cancel"
drive click VLHarrowMsgWnd 345 227
wait_logged 'GET /setup/zofti_appenv.exe' 1 30
app_close 3000
wait "$probe" || e2e_fail "the window left questions unanswered: $(tr '\n' ' ' < "$e2e_dir/probe.log")"
echo "e2e: the window answered throughout: $(tail -n1 "$e2e_dir/probe.log")"
