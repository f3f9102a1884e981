#!/usr/bin/env bash
# Runs the rollback's generated sequences on a built tree, as ctest runs the
# install suite: in the sandbox, under Wine in a fresh layer of its own.
#   scripts/rollback-sequences.sh [seed] [count] [win64|win32] [first] [mix]
# first: the number of the first sequence (one that failed, to see it again).
# mix: 0 mixed, 1 as setup programs work, 2 hostile, 3 a second program doing
# most of the steps. Runs side by side each take a layer of their own.
# A long run (thousands of sequences) takes about half a second a sequence.
# A failure prints its mix, its seed, its sequence number and both programs'
# steps; the end, a line of what the mix's sequences came to.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${VL_BUILD_DIR:-$top/build}"
seed="${1:-5021}" count="${2:-1000}" arch="${3:-win64}" first="${4:-0}" mix="${5:-0}"
case "$arch" in win64|win32) ;; *) echo "rollback-sequences: bad prefix $arch" >&2; exit 2 ;; esac
case "$mix" in 0|1|2|3) ;; *) echo "rollback-sequences: bad mix $mix" >&2; exit 2 ;; esac
export VL_ROLLBACK_SEED="$seed" VL_ROLLBACK_SEQUENCES="$count" VL_ROLLBACK_FIRST="$first"
export VL_OWN_DISPLAY=1 VL_WINE_LAYER=1 VL_WINE_PREFIX="rollback-sequences-$arch-$mix-$first" VL_WINE_ARCH="$arch"
exec "$top/scripts/sandbox" "$build/wine-run" "$build/tests/install/install_tests.exe" \
    --gtest_filter="Mixes/RollbackSequences.*/$mix"
