#!/usr/bin/env bash
# Digest throughput: Md5File under Wine against openssl and md5sum on the same
# 256 MiB file (best of three runs each). Prints figures only.
# Usage: bench/md5.sh [BUILD_DIR]   (builds with scripts/build.sh first if needed)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-${VL_BUILD_DIR:-$top/build}}"
if [ -z "${VL_IN_SANDBOX:-}" ]; then
    [ -f "$build/bench/md5_bench.exe" ] || VL_BUILD_DIR="$build" bash "$top/scripts/build.sh"
    exec "$top/scripts/sandbox" bash "$0" "$build"
fi

work="$(mktemp -d "$build/md5-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
file="$work/data.bin"
head -c $((256 << 20)) /dev/urandom > "$file"
mib=256

best_of_three() { # prints the best wall time in seconds of the command
    local best=
    for _ in 1 2 3; do
        local start end t
        start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

winpath="Z:$(echo "$file" | tr / '\\')"
read -r ours_digest ours_seconds ours_rate < <("$build/wine-run" "$build/bench/md5_bench.exe" "$winpath" 3 | tr -d '\r')
openssl_seconds=$(best_of_three openssl md5 "$file")
md5sum_seconds=$(best_of_three md5sum "$file")
expected=$(md5sum "$file" | cut -d' ' -f1 | tr a-f A-F)

rate() { echo "scale=1; $mib / $1" | bc -l; }
openssl_rate=$(rate "$openssl_seconds")
md5sum_rate=$(rate "$md5sum_seconds")
printf 'file           %d MiB\n' "$mib"
printf 'Md5File        %8.1f MiB/s  (%s)\n' "$ours_rate" "$([ "$ours_digest" = "$expected" ] && echo digest matches || echo DIGEST DIFFERS)"
printf 'openssl md5    %8.1f MiB/s\n' "$openssl_rate"
printf 'md5sum         %8.1f MiB/s\n' "$md5sum_rate"
printf 'ratio to openssl %.2f (goal 0.70), to md5sum %.2f\n' \
    "$(echo "$ours_rate / $openssl_rate" | bc -l)" "$(echo "$ours_rate / $md5sum_rate" | bc -l)"
