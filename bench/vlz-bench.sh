#!/usr/bin/env bash
# Extraction throughput of our reader against xz and gzip on the same
# payloads, and its peak memory. Run after scripts/build.sh:
#   bash bench/vlz-bench.sh [build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
work="$(mktemp -d "$build/vlz-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
run() { "$top/scripts/sandbox" "$build/wine-run" "$build/bench/vlz-bench.exe" "$@"; }

echo "generating about 200 MiB of payload..."
run generate "Z:$work"
echo "package: $(du -m "$work/package.vlz" | cut -f1) MiB"
figures="$(run extract "Z:$work" | tr -d '\r')"
rm -rf "$work/out"
echo "$figures"

seconds() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
decode_all() { for f in "$work"/*."$1"; do "${@:2}" "$f" > "$work/decoded"; done; }
xz_s=$(seconds decode_all lzma xz --format=lzma -dc)
gz_s=$(seconds decode_all gz gzip -dc)
value() { echo "$figures" | tr ' ' '\n' | grep -A1 -x "$1" | tail -n1; }
lzma_s=$(value lzma_seconds); zlib_s=$(value zlib_seconds)
lzma_b=$(value lzma_bytes); zlib_b=$(value zlib_bytes)
mib() { echo "scale=1; $1 / 1048576 / $2" | bc -l; }
printf 'LZMA: ours %s MiB/s, xz %s MiB/s, ratio %.2f (goal 0.8)\n' \
    "$(mib "$lzma_b" "$lzma_s")" "$(mib "$lzma_b" "$xz_s")" "$(echo "$xz_s / $lzma_s" | bc -l)"
printf 'zlib: ours %s MiB/s, gzip %s MiB/s, ratio %.2f (goal 0.9)\n' \
    "$(mib "$zlib_b" "$zlib_s")" "$(mib "$zlib_b" "$gz_s")" "$(echo "$gz_s / $zlib_s" | bc -l)"
echo "peak memory: $(value peak_working_set_mib) MiB working set (goal under 64), $(value peak_private_mib) MiB private"
