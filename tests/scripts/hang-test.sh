#!/usr/bin/env bash
# The test bench against a suite that hangs: runs the dependency suite with
# one case made to hang holding the service's port (VL_TEST_HANG), then a
# suite that serves on that port, in a ctest run of their own. The hung suite
# must be ended at its time-out with its last started case shown, nothing of
# it may be left running, and the port's suite after it must pass.
# Usage: hang-test.sh <build folder>
set -euo pipefail
build="$1"
case=TinyXmlSmoke.ParsesElementsAndText
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "hang-test: $*" >&2
    sed 's/^/    /' "$work/ctest.log" >&2
    exit 1
}

# Layers of their own, so the run cannot touch the prefixes of the same
# suites running beside it.
set +e
VL_TEST_HANG=$case VL_TEST_LAYERS="$work/layers" \
    ctest --test-dir "$build" --output-on-failure -j1 -R '^(deps_tests|download_nginx)$' >"$work/ctest.log" 2>&1
set -e

grep -Eq 'deps_tests \.+\*\*\*Timeout' "$work/ctest.log" || fail "the hung suite was not ended at its time-out"
# The hung suite's own output runs from its time-out line to the next test's
# status line; the last case it started must be the hung one.
last_run="$(awk '{ sub(/\r$/, "") }
    / deps_tests \.+\*\*\*Timeout/ { own = 1; next }
    own && /^ *[0-9]+\/[0-9]+ Test +#/ { own = 0 }
    own && /^\[ RUN      \] / { last = $0 }
    END { print last }' "$work/ctest.log")"
[ "$last_run" = "[ RUN      ] $case" ] || fail "the hung case is not shown as the last one started (last: '$last_run')"
grep -q "VL_TEST_HANG: $case hangs holding port 80" "$work/ctest.log" || fail "the hung case did not take the port"
grep -Eq 'download_nginx \.+ +Passed' "$work/ctest.log" || fail "the port's suite after the hung one did not pass"
# Every process of the run had its prefix under the run's layers.
for environ in /proc/[0-9]*/environ; do
    if grep -qs "$work/layers" "$environ"; then
        pid="${environ#/proc/}"
        fail "a process of the run is still there: $(tr '\0' ' ' <"/proc/${pid%/environ}/cmdline")"
    fi
done
echo "hang-test: the hung suite was ended, left nothing running, and the port's suite after it passed"
