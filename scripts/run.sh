#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program under Wine inside
# the loopback-only sandbox. Without a DISPLAY it runs on a virtual screen,
# saves a screenshot of the window to the file it names, and ends.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/build.sh
build="${VL_BUILD_DIR:-$top/build}"
exe="$build/app/RuntimeCheck.exe"
if [ -n "${DISPLAY:-}" ]; then
    exec scripts/sandbox "$build/wine-run" "$exe"
fi
shot="$(realpath -m "${1:-$build/screenshot.png}")"
scripts/sandbox bash scripts/screenshot.sh "$build/wine-run" "$exe" "$shot"
echo "screenshot of the window: $shot"
