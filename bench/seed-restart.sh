#!/usr/bin/env bash
# What a start reads of its seeds' data: leaves five finished downloads of
# 200 MiB (or as given) in a fresh folder, drops their data from the page
# cache, adds them back as seeds the way a start does, and prints how many
# bytes of the data files were read in meanwhile (the pages in the cache
# afterwards, whoever read them: a read or a mapped view). Then the same once
# more with the records taken as downloads, whose pieces the engine checks on
# disk, as every start checked its seeds before: the figure of a full read.
# Usage, from the checkout after a build:
#   scripts/sandbox bash bench/seed-restart.sh [build folder] [seeds] [MiB]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
seeds="${2:-5}"
mib="${3:-200}"
work="$(mktemp -d /tmp/vl-seeds.XXXXXX)"
trap 'rm -rf "$work"' EXIT
folder="Z:$(echo "$work" | tr '/' '\\')"
bench="$build/bench/seed-restart-bench.exe"
"$build/wine-run" "$bench" make "$folder" "$seeds" "$mib"
evict() {
    sync
    python3 - "$work" <<'PY'
import glob, os, sys
for path in glob.glob(os.path.join(sys.argv[1], "pkg*.exe")):
    fd = os.open(path, os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
PY
}
resident() { fincore --bytes --noheadings -o RES "$work"/pkg*.exe | awk '{s += $1} END {print s + 0}'; }
for how in seeds checked; do
    evict
    before="$(resident)"
    "$build/wine-run" "$bench" start "$folder" "$seeds" "$how" | tr -d '\r'
    after="$(resident)"
    echo "seed-restart ($how): $seeds of $mib MiB, data read at the start: $((after - before)) bytes" \
         "of $((seeds * mib * 1048576)) (in the cache before: $before)"
done
