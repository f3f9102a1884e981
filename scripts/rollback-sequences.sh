#!/usr/bin/env bash
# Runs the rollback's generated sequences on a built tree, as ctest runs the
# install suite: in the sandbox, under Wine in a fresh layer of its own.
#   scripts/rollback-sequences.sh [seed] [count] [win64|win32] [first]
# first: the number of the first sequence (one that failed, to see it again).
# A long run (thousands of sequences) takes about half a second a sequence.
# A failure prints its seed, its sequence number and both programs' steps.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${VL_BUILD_DIR:-$top/build}"
seed="${1:-5021}" count="${2:-1000}" arch="${3:-win64}" first="${4:-0}"
case "$arch" in win64|win32) ;; *) echo "rollback-sequences: bad prefix $arch" >&2; exit 2 ;; esac
export VL_ROLLBACK_SEED="$seed" VL_ROLLBACK_SEQUENCES="$count" VL_ROLLBACK_FIRST="$first"
export VL_OWN_DISPLAY=1 VL_WINE_LAYER=1 VL_WINE_PREFIX="rollback-sequences-$arch" VL_WINE_ARCH="$arch"
exec "$top/scripts/sandbox" "$build/wine-run" "$build/tests/install/install_tests.exe" \
    --gtest_filter='Blocks/RollbackSequences.*/0'
