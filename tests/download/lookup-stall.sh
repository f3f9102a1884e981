#!/usr/bin/env bash
# Runs the downloader's case of a name lookup that never answers: in a mount
# namespace of its own the resolver is pointed at a loopback port that reads
# the queries and never replies, and the case must end at its bound having
# asked that port.
# Usage, inside scripts/sandbox: lookup-stall.sh <download_tests.exe> <wine-run>
set -euo pipefail
if [ -z "${VL_IN_SANDBOX:-}" ]; then
    echo "lookup-stall: run inside scripts/sandbox" >&2
    exit 2
fi
if [ -z "${VL_SILENT_RESOLVER:-}" ]; then
    exec unshare --mount -- env VL_SILENT_RESOLVER=1 bash "$0" "$@"
fi
tests="$1"
wine_run="$2"
work="$(mktemp -d /tmp/vl-lookup.XXXXXX)"
resolver=
cleanup() {
    [ -n "$resolver" ] && kill "$resolver" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Far beyond the case's bound; the test program's exit still waits for the
# resolver to give up (Wine's C runtime ends the process only after every
# lookup has returned).
printf 'nameserver 127.0.0.1\noptions timeout:8 attempts:1\n' > "$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf
/usr/bin/python3 - "$work" <<'PY' &
import socket, sys
resolver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
resolver.bind(("127.0.0.1", 53))
open(sys.argv[1] + "/ready", "w").close()
while True:
    resolver.recvfrom(4096)
    with open(sys.argv[1] + "/asked", "a") as asked:
        asked.write("query\n")
PY
resolver=$!
for _ in $(seq 50); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { echo "lookup-stall: the silent resolver did not start" >&2; exit 1; }
"$wine_run" "$tests" --gtest_filter='VLConnection.ANameLookupThatNeverAnswers*'
[ -s "$work/asked" ] || { echo "lookup-stall: the lookup never asked the resolver" >&2; exit 1; }
echo "lookup-stall: $(wc -l < "$work/asked") queries left unanswered"
