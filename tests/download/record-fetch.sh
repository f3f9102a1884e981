#!/usr/bin/env bash
# fetch-probe on a work folder whose seed list names a record with 200,000
# web seeds (5 MB) beside its torrent copy and payload: the record is refused
# and forgotten, the payload stays, and the probe ends with its result line.
# No service answers, so the download itself fails at once.
# Usage: record-fetch.sh <fetch-probe.exe> <wine-run>
set -euo pipefail
probe="$1"
wine_run="$2"
if [ -z "${VL_IN_SANDBOX:-}" ]; then
    echo "record-fetch: run inside scripts/sandbox" >&2
    exit 2
fi
support="$(cd "$(dirname "$0")/../support" && pwd)"
work="$(mktemp -d /tmp/vl-record.XXXXXX)"
trap 'rm -rf "$work"' EXIT
dl="$work/dl"
mkdir -p "$dl"
folder="Z:$(echo "$dl" | tr '/' '\\')"

head -c 100000 /dev/urandom > "$dl/pkg.exe"
cp "$dl/pkg.exe" "$work/pkg.exe"
hash="$(python3 "$support/make_torrent.py" "$dl/pkg.exe" "$work/pkg.torrent" 16384)"
cp "$work/pkg.torrent" "$dl/$hash.torrent"
python3 - "$support" "$folder" "$hash" "$dl/pkg.exe.vll" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from make_torrent import bencode
folder, digest, out = sys.argv[2:]
data = {"savePath": folder, "resumeFile": folder + "\\pkg.exe.vll", "torrentFile": folder + "\\" + digest + ".torrent",
        "orgTorrentFile": "", "addAsSeed": 1, "rootPath": "pkg.exe",
        "urlSeed": ["http://127.0.0.1:1/seed/%d" % i for i in range(200000)]}
with open(out, "wb") as f:
    f.write(bencode({"taskData": data}))
PY
printf '<Seeds><Seed><gameId>40020</gameId><resume>%s\\pkg.exe.vll</resume></Seed></Seeds>' "$folder" > "$dl/seeds.xml"

"$wine_run" "$probe" 40020 "$folder" > "$work/messages.txt" || true
tail -n1 "$work/messages.txt" | tr -d '\r' | grep -q '^result: 0x' || { echo "record-fetch: no result line" >&2; exit 1; }
[ ! -e "$dl/pkg.exe.vll" ] || { echo "record-fetch: the record was not refused" >&2; exit 1; }
cmp "$work/pkg.exe" "$dl/pkg.exe"
echo "record-fetch: a record of 200,000 web seeds refused, the probe ended"
