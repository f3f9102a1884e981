#!/usr/bin/env bash
# The rollback of a failed install of 120 libraries (or as given) in the
# system folder whose program replaced each through a temporary file, beside
# the same install whose program replaced nothing, in a throw-away layer over
# the build's prefix (VL_WINE_ARCH picks win64 or win32); with "watch", what
# watching the names around the install's files costs: "folders" adds the
# install of 1,500 folders, and counts of renames replace 10000 20000 40000.
# Run after scripts/build.sh:
#   bash bench/rollback-bench.sh [build folder] [files] [rounds]
#   bash bench/rollback-bench.sh [build folder] watch [rounds] [folders] [renames...]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
VL_WINE_LAYER=1 VL_WINE_PREFIX="rollback-bench-${VL_WINE_ARCH:-win64}" \
    exec "$top/scripts/sandbox" "$build/wine-run" "$build/bench/rollback-bench.exe" \
    $([ "${2:-}" = watch ] && echo watch "${3:-3}" "${@:4}" || echo run "${2:-120}" "${3:-3}")
