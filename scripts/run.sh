#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program under Wine inside
# the loopback-only sandbox, with a local stand-in for the service host that
# serves every runtime's package. Without a DISPLAY it runs on the sandbox's
# virtual screen, clicks through check, repair and re-check, and saves a
# screenshot of each stage into the folder it names (paths printed).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
bash scripts/build.sh
build="${VL_BUILD_DIR:-$top/build}"
paths="$build/tests/e2e/e2e-paths.sh"
if [ -z "${DISPLAY:-}" ]; then
    exec scripts/sandbox bash tests/e2e/walkthrough.sh "$paths" "$(realpath -m "${1:-$build/screenshots}")"
fi
exec scripts/sandbox bash tests/e2e/interactive.sh "$paths"
