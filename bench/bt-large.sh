#!/usr/bin/env bash
# A large package (1 GiB in 4 MiB pieces unless a size in MiB is given) over
# BitTorrent from one web seed on the loopback (nginx), fetched by fetch-probe
# under Wine in the shapes that end with pieces written into a file the
# engine has just read through:
#   resumed  the first run is killed half way; the next start finishes it;
#   refetch  bytes of finished pieces change before the check at the end,
#            which fetches them again in the same run where the address
#            space has room for the file;
#   restart  a finished download's pieces changed and its seed unlisted, as
#            a refetch that failed leaves it; the next start finishes it.
# Each row prints the web seed's figures for the run that ends it (see
# report) and the result; the payload is compared with the original.
# Usage, from the checkout after a build:
#   scripts/sandbox bash bench/bt-large.sh [build folder] [MiB] [rows...]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
mib="${2:-1024}"
shift $(($# < 2 ? $# : 2))
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(resumed refetch restart)
piece=4194304
probe="$build/tools/fetch-probe/fetch-probe.exe"
support="$top/tests/support"
work="$(mktemp -d /tmp/vl-large.XXXXXX)"
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    for _ in $(seq 50); do [ -f "$work/nginx.pid" ] || break; sleep 0.1; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www/f" "$work/www/t" "$work/dl"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
head -c "$((mib * 1048576))" /dev/urandom > "$work/www/f/runtime.exe"
python3 "$support/make_torrent.py" "$work/www/f/runtime.exe" "$work/www/t/runtime.torrent" "$piece" > /dev/null
cat > "$work/www/answer.xml" <<XML
<?xml version="1.0" encoding="gb2312"?>
<FILE><DownloadType>2</DownloadType><DownloadUrl>http://127.0.0.1/f/runtime.exe</DownloadUrl><SpareUrl></SpareUrl><Md5>$(md5sum "$work/www/t/runtime.torrent" | cut -c1-32)</Md5><FileSize>$(stat -c %s "$work/www/t/runtime.torrent")</FileSize><FileName>runtime.exe</FileName><UpdateType>1</UpdateType><InvalidVersion>0</InvalidVersion><TorrentUrl>http://127.0.0.1/t/runtime.torrent</TorrentUrl></FILE>
XML
# While the file "slow" is there, each connection is served at 40 MiB/s, so
# that a run can be killed half way, or its file changed before its end.
. "$support/nginx-serve.sh"
serve_with_nginx "$work" '$msec $uri "$http_range" $status $body_bytes_sent' \
    "location /f/ { if (-f $work/slow) { set \$limit_rate 40m; } }"
folder="Z:$(echo "$work/dl" | tr '/' '\\')"

# run_probe: runs fetch-probe on the folder, each line of its output stamped
# with the time it came, into messages.txt.
run_probe() {
    "$build/wine-run" "$probe" 40020 "$folder" | tr -d '\r' | while IFS= read -r line; do
        printf '%s %s\n' "$(date +%s.%N)" "$line"
    done > "$work/messages.txt" || true
}
# wait_served BYTES FROM: waits until the web seed has sent BYTES from line
# FROM of its log on (the probe reports its progress only now and then).
wait_served() {
    while [ "$(tail -n +"$(($2 + 1))" "$work/logs/access.log" | awk '{s += $NF} END {print s + 0}')" -lt "$1" ]; do
        sleep 0.2
    done
}
# overwrite PIECE...: changes 16 bytes in each piece named.
overwrite() {
    python3 - "$work/dl/runtime.exe" "$piece" "$@" <<'PY'
import os, sys
path, piece = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    for p in sys.argv[3:]:
        f.seek(int(p) * piece + 1000)
        f.write(os.urandom(16))
PY
}
# served COUNT FROM: COUNT pieces the web seed sent, from line FROM of its
# log on, more than 2 s ago: long written by the engine, which reads them
# again only at the check at the end.
served() {
    python3 - "$work/logs/access.log" "$piece" "$1" "$2" <<'PY'
import re, sys, time
log, piece, count, start = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
lines = open(log).readlines()[start:]
sent = [int(m[2]) // piece for m in (re.match(r'([0-9.]+) /f/runtime.exe "bytes=(\d+)-', l) for l in lines)
        if m and float(m[1]) < time.time() - 2]
print(" ".join(str(p) for p in sorted(set(sent))[:count]))
PY
}
# report ROW FROM: figures of the web seed's log from line FROM on: the
# seconds from its first request to the result, the longest time in which
# it sent no piece it had not sent before (a stall), the most requests of
# one piece, the bytes it served.
report() {
    python3 - "$1" "$work/logs/access.log" "$2" "$work/messages.txt" "$piece" <<'PY'
import re, sys
row, log, start, messages, piece = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
first, count, served = {}, {}, 0
for line in open(log).readlines()[start:]:
    m = re.match(r'([0-9.]+) /f/runtime.exe "bytes=(\d+)-(\d+)" (\d+) (\d+)', line)
    if not m:
        continue
    at, begin, end, sent = float(m[1]), int(m[2]), int(m[3]), int(m[5])
    served += sent
    for p in range(begin // piece, end // piece + 1):
        first.setdefault(p, at)
        count[p] = count.get(p, 0) + 1
finished, result = None, "none"
for line in open(messages, encoding="latin-1"):
    parts = line.split()
    if len(parts) > 2 and parts[1] == "8" and finished is None:
        finished = float(parts[0])
    if len(parts) > 2 and parts[1] == "result:":
        result = parts[2]
times = sorted(first.values()) + ([finished] if finished else [])
stall = max((b - a for a, b in zip(times, times[1:])), default=0.0)
fetch = f"{finished - times[0]:6.1f} s" if finished and first else "  none"
print(f"{row:8} first request to result: {fetch}; longest without a new piece: {stall:6.1f} s; "
      f"pieces fetched {len(first)}, most requests of one: {max(count.values(), default=0)}, "
      f"served {served / 1048576:.0f} MiB; result {result}")
PY
}
lines() { wc -l < "$work/logs/access.log"; }
fresh() { rm -rf "$work/dl" && mkdir -p "$work/dl"; }
total=$((mib * 1048576))

for row in "${rows[@]}"; do
    case "$row" in
    resumed)
        fresh
        touch "$work/slow"
        from="$(lines)"
        run_probe & runner=$!
        wait_served $((total / 2)) "$from"
        kill -9 "$(pgrep -x fetch-probe.exe)"
        wait "$runner" || true
        rm -f "$work/slow"
        from="$(lines)"
        run_probe
        ;;
    refetch)
        fresh
        touch "$work/slow"
        from="$(lines)"
        run_probe & runner=$!
        wait_served $((total * 3 / 4)) "$from"
        overwrite $(served 4 "$from")
        wait "$runner" || true
        rm -f "$work/slow"
        ;;
    restart)
        fresh
        run_probe
        overwrite $(seq $((total / piece - 4)) $((total / piece - 1)))
        rm -f "$work/dl/seeds.xml"
        from="$(lines)"
        run_probe
        ;;
    *) echo "bt-large: no row $row" >&2; exit 2 ;;
    esac
    report "$row" "$from"
    cmp -s "$work/www/f/runtime.exe" "$work/dl/runtime.exe" && echo "$row: payload whole" || echo "$row: payload differs"
done
