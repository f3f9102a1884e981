#!/usr/bin/env bash
# The service stand-in, driven by the program's own downloader (fetch-probe):
# an address query it is told to refuse is answered 404 and nothing is
# downloaded; a throttled package comes in whole, in ranges, no faster than
# the rate; statistics reports and the companion installer are served; every
# request is logged.
# Usage: standin-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"

e2e_begin standin
package="$E2E_WWW/pkg/40024.exe"
size="$(stat -c %s "$package")"
rate=$((size / 2))
e2e_standin_start --refuse 40019 --rate "$rate"
log="$e2e_dir/requests.log"
downloads="$e2e_dir/downloads"

if e2e_wine "$E2E_FETCH_PROBE" 40019 "$(e2e_winpath "$downloads")" > "$e2e_dir/refused.txt"; then
    e2e_fail "a refused address query still gave a download"
fi
grep -qx 'GET /query_url.php?soft=2.0.0.2996&id=40019 HTTP/1.1 404 -' "$log" || e2e_fail "refused query not logged"
! grep -q '^GET /pkg/40019' "$log" || e2e_fail "a package was fetched for a refused query"

e2e_wine "$E2E_FETCH_PROBE" --timing 40024 "$(e2e_winpath "$downloads")" > "$e2e_dir/throttled.txt"
cmp "$package" "$downloads/rt_40024.exe" || e2e_fail "the throttled download differs from the package"
[ "$(grep -c '^GET /pkg/40024.exe HTTP/1.1 206 bytes=[0-9]*-[0-9]*$' "$log")" = 2 ] ||
    e2e_fail "the package did not come in two ranges"
# From the query to the end of the check (Wine's start-up left out) takes
# at least size / rate = 2 s; unthrottled it takes milliseconds. The steps
# are summed: the probe's connection may carry the first range, whose bytes
# then come in before the transfer step begins.
transfer="$(sed -n 's/^timing: query and probe \([0-9]*\) ms, pre-size \([0-9]*\) ms, transfer \([0-9]*\) ms, check \([0-9]*\) ms.*/\1+\2+\3+\4/p' \
    "$e2e_dir/throttled.txt" | tr -d '\r')"
transfer=$((${transfer:-0}))
[ "$transfer" -ge 1800 ] || e2e_fail "throttled download took $transfer ms, expected 2000"

report="/app_runtime.php?type=1&have=4-5-7&miss=17"
[ "$(curl -s "http://$E2E_SERVICE_HOST$report")" = ok ] || e2e_fail "no answer to a statistics report"
grep -qxF "GET $report HTTP/1.1 200 -" "$log" || e2e_fail "statistics report not logged verbatim"
curl -s -o "$e2e_dir/companion.exe" "http://$E2E_SERVICE_HOST/setup/zofti_appenv.exe"
cmp "$E2E_WWW/setup/zofti_appenv.exe" "$e2e_dir/companion.exe" || e2e_fail "companion installer differs"
unknown="http://$E2E_SERVICE_HOST/query_url.php?soft=2.0.0.2996&id=12345"
[ "$(curl -s -o /dev/null -w '%{http_code}' "$unknown")" = 404 ] || e2e_fail "an unknown runtime was answered"
echo "e2e_standin: refusal, throttling ($transfer ms for $size bytes at $rate B/s), reports and companion checked"
