#!/usr/bin/env bash
# The rollback of a failed install of 120 libraries (or as given) in the
# system folder whose program replaced each through a temporary file, beside
# the same install whose program replaced nothing, in a throw-away layer over
# the build's prefix (VL_WINE_ARCH picks win64 or win32); with "watch", what
# watching the names around the install's files costs: "folders" adds the
# install of 1,500 folders, and counts of renames replace 10000 20000 40000;
# with "pins", the install of a package of 3,000 files (or as given) whose
# program succeeds, and one whose program fails, beside the same built in a
# reference build folder (built from an earlier commit with this bench's
# source), a round of each in turn, as the machine's speed drifts.
# Run after scripts/build.sh:
#   bash bench/rollback-bench.sh [build folder] [files] [rounds]
#   bash bench/rollback-bench.sh [build folder] watch [rounds] [folders] [renames...]
#   bash bench/rollback-bench.sh [build folder] pins [rounds] [files] [reference build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
bench() {
    VL_WINE_LAYER=1 VL_WINE_PREFIX="rollback-bench-${VL_WINE_ARCH:-win64}" \
        "$top/scripts/sandbox" "$1/wine-run" "$1/bench/rollback-bench.exe" "${@:2}"
}
case "${2:-}" in
watch) bench "$build" watch "${3:-3}" "${@:4}" ;;
pins)
    figures="$(mktemp)"
    trap 'rm -f "$figures"' EXIT
    for ((round = 0; round < ${3:-5}; ++round)); do
        for side in this ${5:+reference}; do
            bench "$([ $side = this ] && echo "$build" || echo "$5")" pins "${4:-3000}" | tr -d '\r' |
                sed "s/^ *\(.*\): \(.*\) s$/\1\t$side\t\2/" >> "$figures"
        done
    done
    # The median of each shape and build, and this build's against the
    # reference's.
    sort -t$'\t' -k1,2 -k3n "$figures" | awk -F'\t' '
        { seconds[$1 "\t" $2] = seconds[$1 "\t" $2] " " $3 }
        END {
            for (key in seconds) { n = split(substr(seconds[key], 2), a, " "); median[key] = a[int((n + 1) / 2)] }
            for (key in median) {
                split(key, part, "\t")
                if (part[2] != "this") continue
                reference = median[part[1] "\treference"]
                printf "%s: %.3f s", part[1], median[key]
                if (reference > 0) printf ", reference %.3f s, ratio %.2f (goal at most 1.10)", reference, median[key] / reference
                printf "\n"
            }
        }'
    ;;
*) bench "$build" run "${2:-120}" "${3:-3}" ;;
esac
