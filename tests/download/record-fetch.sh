#!/usr/bin/env bash
# fetch-probe on a folder whose seed list names a record of 200,000 web seeds
# (5 MB) beside its torrent copy and payload: the record is refused and
# forgotten, the payload stays, and the probe ends with its result line (no
# service answers, so the download fails at once).
# Usage: record-fetch.sh <fetch-probe.exe> <wine-run>
set -euo pipefail
support="$(cd "$(dirname "$0")/../support" && pwd)"
work="$(mktemp -d /tmp/vl-record.XXXXXX)"
trap 'rm -rf "$work"' EXIT
dl="$work/dl"
folder="Z:$(echo "$dl" | tr '/' '\\')"
mkdir -p "$dl"
head -c 100000 /dev/urandom > "$work/pkg.exe"
cp "$work/pkg.exe" "$dl/pkg.exe"
hash="$(python3 "$support/make_torrent.py" "$work/pkg.exe" "$work/pkg.torrent" 16384)"
cp "$work/pkg.torrent" "$dl/$hash.torrent"
python3 - "$support" "$folder" "$hash" "$dl/pkg.exe.vll" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from make_torrent import bencode
folder, digest, out = sys.argv[2:]
data = {"savePath": folder, "resumeFile": folder + "\\pkg.exe.vll", "torrentFile": folder + "\\" + digest + ".torrent",
        "addAsSeed": 1, "rootPath": "pkg.exe", "urlSeed": ["http://127.0.0.1:1/seed/%d" % i for i in range(200000)]}
open(out, "wb").write(bencode({"taskData": data}))
PY
echo "<Seeds><Seed><gameId>40020</gameId><resume>$folder\\pkg.exe.vll</resume></Seed></Seeds>" > "$dl/seeds.xml"
"$2" "$1" 40020 "$folder" > "$work/messages.txt" || true
tail -n1 "$work/messages.txt" | tr -d '\r' | grep -q '^result: 0x'
[ ! -e "$dl/pkg.exe.vll" ] && cmp "$work/pkg.exe" "$dl/pkg.exe"
echo "record-fetch: a record of 200,000 web seeds refused, the probe ended"
