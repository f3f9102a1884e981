#!/usr/bin/env bash
# Serves a package and its address answer with nginx on 127.0.0.1:80 (inside
# the test sandbox, where the service host resolves to the loopback) and
# downloads it with fetch-probe under Wine; the copy must equal the original
# and must have come in two ranges after one size probe. With
# VL_FETCH_TORRENT=1 the answer names a torrent of the package instead, with
# the package as web seed: the copy must equal the original, and the record,
# the torrent copy and the seed list must lie beside it. Either way the
# folder starts with a hostile seed list, which is refused: the probe starts
# all the same and a finished torrent makes a new list.
# Usage: nginx-fetch.sh <fetch-probe.exe> <wine-run> [size in bytes]
# With VL_BENCH_CURL=1 it also fetches the file with curl into the same
# folder's disk and prints both throughputs and their ratios: our whole run
# (Wine's start-up, the size and MD5 check included) and our transfer alone
# (two ranges) against curl's single stream, and our whole run against curl
# followed by md5sum, which does the same work.
set -euo pipefail
probe="$1"
wine_run="$2"
size="${3:-5000001}"
if [ -z "${VL_IN_SANDBOX:-}" ]; then
    echo "nginx-fetch: run inside scripts/sandbox" >&2
    exit 2
fi

support="$(cd "$(dirname "$0")/../support" && pwd)"
work="$(mktemp -d /tmp/vl-nginx.XXXXXX)"
peers=()
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    for pid in "${peers[@]}"; do kill "$pid" 2>/dev/null || true; done
    for _ in $(seq 50); do [ -f "$work/nginx.pid" ] || break; sleep 0.1; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www/f" "$work/logs" "$work/tmp" "$work/dl" "$work/aria"
# Nested far too deep, its end tags hidden behind multibyte lead bytes before
# CR LF line ends from a reading that does not fold them.
python3 -c 'import sys; sys.stdout.buffer.write(b"\xef\xbb\xbf" + b"<a>\xe4\r\n</a>" * 100000)' > "$work/dl/seeds.xml"

head -c "$size" /dev/urandom > "$work/www/f/runtime.exe"
described="$work/www/f/runtime.exe"
kind=1
web_seed=http://127.0.0.1/f/runtime.exe
if [ -n "${VL_FETCH_TORRENT:-}" ]; then
    # Over BitTorrent the answer describes the torrent, and the package's
    # address becomes the web seed.
    mkdir -p "$work/www/t"
    described="$work/www/t/runtime.torrent"
    piece=262144
    [ "$size" -gt 67108864 ] && piece=1048576
    announce=()
    if [ -n "${VL_BENCH_ARIA2:-}" ]; then
        # Peers only: the web seed's address answers 404, and a tracker names
        # one seeding peer.
        announce=(http://127.0.0.1:6969/announce)
        web_seed=http://127.0.0.1/no-web-seed/runtime.exe
    fi
    hash="$(python3 "$support/make_torrent.py" "$work/www/f/runtime.exe" "$described" "$piece" "${announce[@]}")"
    kind=2
fi
md5="$(md5sum "$described" | cut -c1-32)"
cat > "$work/www/answer.xml" <<XML
<?xml version="1.0" encoding="gb2312"?>
<FILE><DownloadType>$kind</DownloadType><DownloadUrl>$web_seed</DownloadUrl><SpareUrl></SpareUrl><Md5>$md5</Md5><FileSize>$(stat -c %s "$described")</FileSize><FileName>runtime.exe</FileName><UpdateType>1</UpdateType><InvalidVersion>0</InvalidVersion><TorrentUrl>http://127.0.0.1/t/runtime.torrent</TorrentUrl></FILE>
XML
. "$support/nginx-serve.sh"
serve_with_nginx "$work" '$request_uri "$http_range" $status'

aria=(aria2c --enable-dht=false --enable-dht6=false --bt-enable-lpd=false --enable-peer-exchange=false
      --file-allocation=falloc --summary-interval=0 --console-log-level=warn)
if [ -n "${VL_BENCH_ARIA2:-}" ]; then
    python3 "$support/tracker.py" 6969 7881 & peers+=($!)
    "${aria[@]}" --bt-seed-unverified=true --seed-ratio=0.0 --listen-port=7881 -d "$work/www/f" "$described" \
        > "$work/logs/seeder.log" 2>&1 & peers+=($!)
    for _ in $(seq 100); do ss -ltn | grep -q '127.0.0.1:6969 ' && ss -ltn | grep -q ':7881 ' && break; sleep 0.1; done
fi

folder="Z:$(echo "$work/dl" | tr '/' '\\')"
timing=()
[ -n "${VL_BENCH_CURL:-}" ] && timing=(--timing)
started="$(date +%s.%N)"
"$wine_run" "$probe" "${timing[@]}" 40020 "$folder" > "$work/messages.txt"
ours="$(python3 -c "print($(date +%s.%N) - $started)")"
cmp "$work/www/f/runtime.exe" "$work/dl/runtime.exe"
if [ "$kind" = 2 ]; then
    # The record, the torrent copy and the seed list beside the package.
    [ -s "$work/dl/runtime.exe.vll" ] && cmp "$described" "$work/dl/$hash.torrent"
    tr -d '\r\n ' < "$work/dl/seeds.xml" |
        grep -qxF "<Seeds><Seed><gameId>40020</gameId><resume>$folder\\runtime.exe.vll</resume></Seed></Seeds>"
    grep -c '^/query_url.php?soft=2.0.0.2996&id=40020 "-" 200$' "$work/logs/access.log" | grep -qx 2
    grep -c '^/t/runtime.torrent "-" 200$' "$work/logs/access.log" | grep -qx 1
else
    [ ! -e "$work/dl/runtime.exe.vll" ] && [ ! -e "$work/dl/runtime.exe.vlt" ]
    grep -c '^/query_url.php?soft=2.0.0.2996&id=40020 "-" 200$' "$work/logs/access.log" | grep -qx 1
    grep -c '^/f/runtime.exe "-" 200$' "$work/logs/access.log" | grep -qx 1
    grep -c '^/f/runtime.exe "bytes=[0-9]*-[0-9]*" 206$' "$work/logs/access.log" | grep -qx 2
fi
# The last message is the result, code 8 with 0; the last line names it and the file.
grep -v '^timing:\|^result:' "$work/messages.txt" | tail -n1 | tr -d '\r' | grep -qx '8 0 0'
tail -n1 "$work/messages.txt" | tr -d '\r' | grep -qxF "result: 0x00000000 file: $folder\\runtime.exe"
echo "nginx-fetch: $size bytes downloaded and verified"

if [ -n "${VL_BENCH_CURL:-}" ]; then
    # Wall times of whole processes on both sides, each writing its copy to
    # the same disk.
    started="$(date +%s.%N)"
    curl -s -o "$work/curl.bin" http://127.0.0.1/f/runtime.exe
    theirs="$(python3 -c "print($(date +%s.%N) - $started)")"
    started="$(date +%s.%N)"
    md5sum "$work/curl.bin" > /dev/null
    digest="$(python3 -c "print($(date +%s.%N) - $started)")"
    grep '^timing:' "$work/messages.txt" | tr -d '\r'
    python3 - "$size" "$ours" "$theirs" "$digest" "$(grep '^timing:' "$work/messages.txt")" <<'PY'
import re, sys
size, ours, theirs, digest = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
steps = [float(ms) / 1000 for ms in re.findall(r"([0-9.]+) ms", sys.argv[5])]
transfer = steps[2]
rate = lambda seconds: size / seconds / 1048576
print(f"ours, whole run:   {rate(ours):8.1f} MiB/s ({ours:.2f} s; Wine start-up and exit {ours - sum(steps):.2f} s)")
print(f"ours, transfer:    {rate(transfer):8.1f} MiB/s ({transfer:.2f} s, two ranges)")
print(f"curl:              {rate(theirs):8.1f} MiB/s ({theirs:.2f} s, one stream)")
print(f"curl, then md5sum: {rate(theirs + digest):8.1f} MiB/s ({theirs + digest:.2f} s)")
print(f"ratio, transfer against curl:         {theirs / transfer:.2f} (goal: at least 1.0)")
print(f"ratio, whole run against curl:        {theirs / ours:.2f}")
print(f"ratio, whole run against curl+md5sum: {(theirs + digest) / ours:.2f}")
PY
fi

if [ -n "${VL_BENCH_ARIA2:-}" ]; then
    # The same seeder for aria2c, another BitTorrent client; and Wine's
    # start-up and exit alone, timed on the probe refusing its arguments.
    started="$(date +%s.%N)"
    "$wine_run" "$probe" > /dev/null 2>&1 || true
    idle="$(python3 -c "print($(date +%s.%N) - $started)")"
    started="$(date +%s.%N)"
    "${aria[@]}" --seed-time=0 --listen-port=7882 -d "$work/aria" "$described" > "$work/logs/aria.log" 2>&1
    theirs="$(python3 -c "print($(date +%s.%N) - $started)")"
    cmp "$work/www/f/runtime.exe" "$work/aria/runtime.exe"
    python3 - "$size" "$ours" "$theirs" "$idle" <<'PY'
import sys
size, ours, theirs, idle = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
rate = lambda seconds: size / seconds / 1048576
print(f"ours, whole run:             {rate(ours):8.1f} MiB/s ({ours:.2f} s)")
print(f"ours, without Wine's {idle:.2f} s: {rate(ours - idle):8.1f} MiB/s ({ours - idle:.2f} s)")
print(f"aria2c:                      {rate(theirs):8.1f} MiB/s ({theirs:.2f} s)")
print(f"ratio, whole run against aria2c:          {theirs / ours:.2f} (goal: at least 1.5)")
print(f"ratio, without Wine's start-up and exit:  {theirs / (ours - idle):.2f}")
PY
fi
