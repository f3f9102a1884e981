#!/usr/bin/env bash
# The UI driver against two real windows in a fresh prefix: a target that
# shows in its title which input arrived (clicks and wheel turns land at the
# client coordinates given; the capture is its client area, pixel for pixel;
# minimise and close work), and the program itself (found by its class, an
# 800x600 client area, captured, closed with exit code 0).
# Usage: ui-driver-test.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"

drive() {
    e2e_wine "$E2E_UI_DRIVER" "$@" | tr -d '\r'
}

# Waits until the window's facts show the line, or fails.
expect_fact() {
    local class="$1" line="$2" facts
    for _ in $(seq 50); do
        facts="$(drive find "$class")"
        grep -qxF "$line" <<< "$facts" && return 0
        sleep 0.2
    done
    e2e_fail "$class never showed \"$line\": $facts"
}

# The colour of one pixel of a 24-bit top-down BMP, as "r g b".
pixel() {
    python3 - "$@" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
offset, width, height = struct.unpack_from("<I", data, 10)[0], *struct.unpack_from("<ii", data, 18)
x, y = int(sys.argv[2]), int(sys.argv[3])
stride = (width * 3 + 3) & ~3
b, g, r = data[offset + y * stride + x * 3: offset + y * stride + x * 3 + 3]
print(r, g, b)
PY
}

e2e_begin ui-driver

e2e_start "$e2e_dir/target.log" "$E2E_UI_TARGET"
target=$!
facts="$(drive find VLUiTarget 20000)"
grep -qx 'client 320 200' <<< "$facts" || e2e_fail "target facts: $facts"
grep -qx 'title ui target' <<< "$facts" || e2e_fail "target facts: $facts"
drive click VLUiTarget 25 35
expect_fact VLUiTarget 'title click 25 35 wheel 0'
drive wheel VLUiTarget 100 100 -2
expect_fact VLUiTarget 'title click 25 35 wheel -240'
shot="$e2e_dir/target.bmp"
drive capture VLUiTarget "$(e2e_winpath "$shot")"
[ "$(identify -format '%w %h' "$shot")" = "320 200" ] || e2e_fail "capture is not the client area"
[ "$(pixel "$shot" 25 35)" = "255 0 0" ] && [ "$(pixel "$shot" 0 0)" = "0 0 255" ] &&
    [ "$(pixel "$shot" 319 199)" = "0 0 255" ] || e2e_fail "capture does not show the client area's pixels"
drive minimize VLUiTarget
expect_fact VLUiTarget 'state visible iconic'
pid="$(sed -n 's/^window [^ ]* //p' <<< "$facts")"
e2e_start "$e2e_dir/wait-process.txt" "$E2E_UI_DRIVER" wait-process "$pid" 20000
waiter=$!
# The target is closed only once the waiter holds it.
for _ in $(seq 100); do
    grep -q '^holding' "$e2e_dir/wait-process.txt" && break
    sleep 0.2
done
drive close VLUiTarget
drive wait-gone VLUiTarget 5000 || e2e_fail "target still open after close"
status=0
wait "$target" || status=$?
[ "$status" = 7 ] || e2e_fail "target ended with $status, not 7"
wait "$waiter" && tr -d '\r' < "$e2e_dir/wait-process.txt" | grep -qx 'exit 7' ||
    e2e_fail "wait-process did not see exit 7: $(cat "$e2e_dir/wait-process.txt")"

e2e_start "$e2e_dir/program.log" "$E2E_PROGRAM"
program=$!
facts="$(drive find VLHarrowWnd 20000)"
grep -qx 'client 800 600' <<< "$facts" || e2e_fail "program facts: $facts"
drive capture VLHarrowWnd "$(e2e_winpath "$e2e_dir/program.bmp")"
convert "$e2e_dir/program.bmp" "$E2E_ARTIFACTS/program-start.png"
[ "$(identify -format '%w %h' "$E2E_ARTIFACTS/program-start.png")" = "800 600" ] || e2e_fail "program capture size"
drive close VLHarrowWnd
drive wait-gone VLHarrowWnd 5000 || e2e_fail "program still open after close"
status=0
wait "$program" || status=$?
[ "$status" = 0 ] || e2e_fail "program ended with $status"
echo "e2e_ui_driver: target and program driven; screenshot $E2E_ARTIFACTS/program-start.png"
echo "$facts"
