#!/usr/bin/env bash
# The package set-up when the package lists cannot all be refreshed (a mirror
# part-way through a sync): runs install-packages.sh with stand-ins for
# apt-get, dpkg, locale and locale-gen first in PATH, and its sources folder
# and stamp in a folder of its own, so nothing of the machine's package state
# is touched. The refresh always fails; when the install then succeeds the
# set-up must go on and end well, and when it fails too the set-up must stop
# with apt's message and name the failed refresh.
# Usage: package-setup-test.sh <install-packages.sh>
set -euo pipefail
script="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "package-setup-test: $*" >&2
    sed 's/^/    /' "$work/out" >&2
    exit 1
}

# One stand-in under each name: it records the call, then answers as the real
# command would on a machine whose mirror is mid-sync.
mkdir "$work/bin" "$work/sources"
cat > "$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "${0##*/} $*" >> "$CALLS"
case "${0##*/} $*" in
"apt-get "*" update "*)
    echo "E: Failed to fetch http://deb.invalid/dists/stable/main/binary-amd64/Packages.xz  File has unexpected size (4096 != 8192). Mirror sync in progress?" >&2
    exit 100 ;;
"apt-get "*" install "*)
    [ "$INSTALL_STATUS" = 0 ] || echo "E: Unable to locate package aria2" >&2
    exit "$INSTALL_STATUS" ;;
"dpkg --print-foreign-architectures") echo i386 ;;
"locale -a") echo zh_CN.utf8 ;;
esac
EOF
chmod +x "$work/bin/apt-get"
for name in dpkg locale locale-gen; do ln -s apt-get "$work/bin/$name"; done
printf 'Types: deb\nURIs: http://deb.invalid\nSuites: stable\nComponents: main\n' > "$work/sources/debian.sources"

# install's status | the script's status | a line its output must hold
while IFS='|' read -r install status line; do
    rm -f "$work/calls" "$work/stamp"
    got=0
    PATH="$work/bin:$PATH" CALLS="$work/calls" INSTALL_STATUS="$install" \
        RTCHECK_APT_SOURCES="$work/sources" RTCHECK_PACKAGES_STAMP="$work/stamp" \
        bash "$script" >"$work/out" 2>&1 || got=$?
    [ "$got" = "$status" ] || fail "install $install: the script ended with $got, not $status"
    grep -q 'Mirror sync in progress?' "$work/out" || fail "install $install: apt's own message is not shown"
    grep -qF "$line" "$work/out" || fail "install $install: the output does not say '$line'"
    [ "$(sed -n 's/^apt-get .* \(update\|install\) .*/\1/p' "$work/calls" | paste -sd' ')" = "update install" ] \
        || fail "install $install: the install did not follow the failed refresh"
    [ -f "$work/stamp" ] && written=0 || written=1
    [ "$written" = "$((status != 0))" ] || fail "install $install: the stamp is to be written if and only if the set-up ends well"
done <<'EOF'
0|0|going on with the lists there are
100|100|the likely cause is the failed refresh of the package lists
EOF
echo "package-setup-test: a failed refresh is reported and the install goes on; a failed install names it"
