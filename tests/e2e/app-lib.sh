# Steps the whole-program tests of the application share. Source after
# e2e-lib.sh and e2e_begin.

drive() {
    e2e_wine "$E2E_UI_DRIVER" "$@" | tr -d '\r'
}

app_start() {
    e2e_start "$e2e_dir/program.log" "$E2E_PROGRAM"
    app_pid=$!
}

# Waits until the main window is shown at its size; prints its facts.
app_window() {
    local facts
    for _ in $(seq 100); do
        facts="$(drive find VLHarrowWnd 30000)"
        kill -0 "$app_pid" 2>/dev/null || e2e_fail "the program ended before showing its window"
        grep -q '^state visible' <<< "$facts" && grep -qx 'client 800 600' <<< "$facts" && break
        sleep 0.2
    done
    sleep 0.5
    echo "$facts"
}

# Waits for the program to end within ms milliseconds with exit code 0.
app_wait_exit() {
    local ms="$1" waited=0
    while kill -0 "$app_pid" 2>/dev/null; do
        (( waited < ms )) || e2e_fail "the program did not end within $ms ms"
        sleep 0.1
        waited=$((waited + 100))
    done
    local status=0
    wait "$app_pid" || status=$?
    [ "$status" = 0 ] || e2e_fail "the program ended with $status"
}

app_close() {
    drive close VLHarrowWnd
    app_wait_exit "$1"
}

# Waits until the stand-in has logged a line matching the pattern count times.
wait_logged() {
    local pattern="$1" count="$2" seconds="$3"
    for _ in $(seq $((seconds * 5))); do
        [ "$(grep -c -- "$pattern" "$e2e_dir/requests.log" 2>/dev/null || true)" -ge "$count" ] && return 0
        sleep 0.2
    done
    e2e_fail "no \"$pattern\" (x$count) within ${seconds} s"
}

app_shot() {
    drive capture "$1" "$e2e_dir/shot.bmp"
    convert "$e2e_dir/shot.bmp" "$E2E_ARTIFACTS/$2.png"
}

# check_codes "type=N&have=...&miss=..." "all codes in runtime-id order":
# each list keeps that order and together they are every code once.
check_codes() {
    python3 - "$1" "$2" <<'PY' || e2e_fail "report codes: $1"
import sys
query = dict(part.split("=", 1) for part in sys.argv[1].split("&"))
order = sys.argv[2].split()
lists = [[c for c in query[k].split("-") if c] for k in ("have", "miss")]
for codes in lists:
    positions = [order.index(c) for c in codes]
    assert positions == sorted(positions), codes
assert sorted(lists[0] + lists[1], key=order.index) == order
PY
}

# download_moves NAME: while a download runs, two screenshots 1 s apart
# (NAME-1.png and NAME-2.png): the repair bar has grown, and the speed text
# has changed and shows in the second.
download_moves() {
    app_shot VLHarrowWnd "$1-1"
    mv "$e2e_dir/shot.bmp" "$e2e_dir/first.bmp"
    sleep 1
    app_shot VLHarrowWnd "$1-2"
    python3 - "$e2e_dir/first.bmp" "$e2e_dir/shot.bmp" <<'PY' || e2e_fail "$1: the download's progress did not move"
import struct, sys

def status_band(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    def pixel(x, y):  # blue, green, red
        row = y if height < 0 else abs(height) - 1 - y
        return data[offset + row * stride + x * 3: offset + row * stride + x * 3 + 3]
    # The repair bar's fill is blue across row 90; the speed text lies below it.
    fill = sum(1 for x in range(120, 640) if pixel(x, 90)[0] > pixel(x, 90)[2] + 60)
    text = [pixel(x, y) for y in range(108, 125) for x in range(120, 640)]
    inked = any(sum(p) < 450 for p in text)
    return fill, text, inked

first, second = status_band(sys.argv[1]), status_band(sys.argv[2])
assert second[0] > first[0], f"bar {first[0]} then {second[0]} pixels"
assert second[2] and second[1] != first[1], "speed text unchanged or not shown"
print(f"bar {first[0]} then {second[0]} pixels, speed text changed")
PY
}
