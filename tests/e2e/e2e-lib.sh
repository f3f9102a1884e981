# Shared steps of whole-program runs: a fresh Wine prefix of their own, the
# service host's stand-in, and Windows programs run in that prefix. Source it
# with the build's tests/e2e/e2e-paths.sh as argument, inside scripts/sandbox.
# Set E2E_KEEP=1 to keep the prefix and the work folder after the run.

[ -n "${VL_IN_SANDBOX:-}" ] || { echo "e2e: run inside scripts/sandbox" >&2; exit 2; }
# shellcheck disable=SC1090
source "$1"
E2E_HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
E2E_SERVICE_HOST="$(head -n1 "$E2E_HERE/../../cmake/service-host.txt")"
e2e_standin_pid=
e2e_dir=

e2e_fail() {
    echo "e2e: $*" >&2
    exit 1
}

# The Windows path of a Linux path, through drive Z:.
e2e_winpath() {
    printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"
}

# e2e_begin NAME [win64|win32] [Windows version, e.g. winxp]: a fresh work
# folder and a fresh prefix in it, with everything taken down again when the
# script ends.
e2e_begin() {
    e2e_dir="$E2E_WORK/$1"
    rm -rf "$e2e_dir"
    mkdir -p "$e2e_dir" "$E2E_ARTIFACTS"
    trap e2e_end EXIT
    export WINEPREFIX="$e2e_dir/prefix" WINEARCH="${2:-win64}" WINEDEBUG=-all
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || e2e_fail "wineboot failed"
    # The prefix is set up once the first boot's server has ended.
    # Under a loaded machine one of the boot's helper processes now and then
    # never ends; wineboot has finished the set-up by then, so such a
    # straggler is ended (the server saves the registry as it goes).
    if ! timeout 120 wineserver -w; then
        wineserver -k
        timeout 60 wineserver -w || e2e_fail "the prefix's first boot did not end"
    fi
    # Xvfb runs no window manager: a managed window makes every
    # DestroyWindow wait about 2 s. Aliased text keeps screenshots exact, and
    # the sandbox has no sound device to look for.
    e2e_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    e2e_wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 0 /f >/dev/null
    e2e_wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null
    # No desktop integration: Wine's menu builder would write menu entries
    # outside the prefix for every shortcut a package makes.
    e2e_wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f >/dev/null
    # A program that crashes ends at once instead of waiting in a debugger.
    e2e_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null
    if [ "$WINEARCH" = win64 ]; then
        e2e_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
            /reg:32 >/dev/null
    fi
    [ -z "${3:-}" ] || e2e_wine winecfg -v "$3" >/dev/null
}

e2e_end() {
    local status=$?
    e2e_standin_stop
    # The server saves the registry into the prefix as it ends: the prefix is
    # removed only once it has, or the removal meets files written under it.
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        timeout 60 wineserver -w 2>/dev/null || true
    fi
    if [ "$status" != 0 ] || [ -n "${E2E_KEEP:-}" ]; then
        echo "e2e: work folder kept: $e2e_dir" >&2
        [ -z "${E2E_KEEP:-}" ] && rm -rf "$WINEPREFIX"
    else
        rm -rf "$e2e_dir"
    fi
    exit "$status"
}

# Runs a Windows program in the prefix and waits for it. Wine's helper
# processes outlive the program and inherit its descriptors: handing them
# files instead of our caller's pipes lets a command substitution end.
e2e_wine() {
    local out err status=0
    out="$(mktemp)" err="$(mktemp)"
    wine "$@" >"$out" 2>"$err" || status=$?
    cat "$out"
    grep -v '^ALSA lib' "$err" >&2 || true
    rm -f "$out" "$err"
    return $status
}

# Starts a Windows program in the background; its output goes to the log
# file named first. $! is the program's process: `wait` gives its exit code.
e2e_start() {
    local log="$1"
    shift
    wine "$@" >"$log" 2>&1 &
}

# e2e_standin_start [options of service-standin.py]: serves the build's
# packages on the service host's port and waits until the port is open. The
# request log is $e2e_dir/requests.log.
e2e_standin_start() {
    rm -f "$e2e_dir/standin.ready"
    python3 "$E2E_HERE/service-standin.py" --root "$E2E_WWW" --log "$e2e_dir/requests.log" \
        --ready "$e2e_dir/standin.ready" "$@" 2>"$e2e_dir/standin.err" &
    e2e_standin_pid=$!
    for _ in $(seq 100); do
        [ -f "$e2e_dir/standin.ready" ] && return 0
        kill -0 "$e2e_standin_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$e2e_dir/standin.err" >&2
    e2e_fail "the service stand-in did not start"
}

e2e_standin_stop() {
    [ -n "$e2e_standin_pid" ] || return 0
    kill "$e2e_standin_pid" 2>/dev/null || true
    wait "$e2e_standin_pid" 2>/dev/null || true
    e2e_standin_pid=
}
