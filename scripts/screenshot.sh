#!/usr/bin/env bash
# screenshot.sh WINE-RUN EXE PNG: starts the program on the sandbox's display,
# waits for its main window, saves the screen to PNG and ends the program.
set -euo pipefail
wine_run="$1" exe="$2" shot="$3"
"$wine_run" "$exe" &
pid=$!
for _ in $(seq 1 120); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"运行库检测"'; then
        break
    fi
    sleep 0.5
done
sleep 2
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
kill "$pid" 2>/dev/null || true
