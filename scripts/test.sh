#!/usr/bin/env bash
# Installs what is missing, builds the program and every test suite, and runs
# all tests under Wine inside the loopback-only sandbox. Extra arguments go to
# ctest (for example -R base to run one suite).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/build.sh
build="${VL_BUILD_DIR:-$top/build}"
rm -rf "$build/test-results"
scripts/sandbox ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
python3 scripts/test-summary.py "$build/test-results"
