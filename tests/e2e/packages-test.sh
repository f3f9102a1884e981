#!/usr/bin/env bash
# Every runtime of the catalogue, in a fresh prefix: the detector
# finds it missing (unless Wine brings it itself), its package is fetched
# from the service stand-in and installed the way the program does, and then
# the detector finds it installed while every other row keeps its state.
# Usage: packages-test.sh <build>/tests/e2e/e2e-paths.sh [winxp]
# With winxp the prefix is a 32-bit Windows XP, whose catalogue holds the
# AppLocale and 32-bit MSXML 6.0 rows instead of the x64 ones.
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"

# Runtimes Wine provides itself: found before any install.
wine_own="40018 40053 40055 40058"
# Packages that put a library into the system folder; their script works on
# the package's own files (an ini written, a file deleted, a sibling read and
# removed by the program it ends with).
declare -A system_library=([40019]=xlive.dll [40023]=PhysXLoader.dll)
if [ "${2:-}" = winxp ]; then
    e2e_begin packages-winxp win32 winxp
    rows=19
    system="$WINEPREFIX/drive_c/windows/system32"
else
    e2e_begin packages
    rows=22
    # A 32-bit program's system folder on 64-bit Windows.
    system="$WINEPREFIX/drive_c/windows/syswow64"
fi
e2e_standin_start
downloads="$e2e_dir/downloads"

detect() {
    e2e_wine "$E2E_DETECT_PROBE" | tr -d '\r' | awk -F'\t' 'NF == 4 { print $1, $4 }'
}

before="$(detect)"
[ "$(echo "$before" | wc -l)" = "$rows" ] || e2e_fail "the prefix should list $rows runtimes, not: $before"
while read -r id state; do
    expected=missing
    case " $wine_own " in *" $id "*) expected=installed ;; esac
    [ "$state" = "$expected" ] || e2e_fail "runtime $id is $state before any install"
done <<< "$before"

for id in $(echo "$before" | cut -d' ' -f1); do
    e2e_wine "$E2E_FETCH_PROBE" "$id" "$(e2e_winpath "$downloads")" > "$e2e_dir/fetch-$id.txt" ||
        e2e_fail "fetching $id: $(cat "$e2e_dir/fetch-$id.txt")"
    file="$(ls "$downloads"/rt_"$id".*)"
    cmp "$file" "$E2E_WWW/pkg/${file##*/rt_}" || e2e_fail "the download of $id differs from the served package"
    e2e_wine "$E2E_INSTALL_PROBE" "$(e2e_winpath "$file")" 'C:\Runtimes' "$id" > "$e2e_dir/install-$id.txt" ||
        e2e_fail "installing $id: $(cat "$e2e_dir/install-$id.txt")"
    if [ -n "${system_library[$id]:-}" ]; then
        grep -q '^installer: package' "$e2e_dir/install-$id.txt" || e2e_fail "$id was not installed as a package"
        [ -n "$(find "$system" -maxdepth 1 -iname "${system_library[$id]}")" ] ||
            e2e_fail "$id: no ${system_library[$id]} in $system"
        left="$(find "$(e2e_wine winepath -u 'C:\Runtimes' | tr -d '\r')" -iname readme.txt -o -iname data.cab)"
        [ -z "$left" ] || e2e_fail "$id: the script left $left"
    fi
    after="$(detect)"
    expected="$(echo "$before" | sed "s/^$id .*/$id installed/")"
    [ "$after" = "$expected" ] || e2e_fail "after installing $id: $(diff <(echo "$expected") <(echo "$after") || true)"
    before="$after"
    echo "$id: fetched, installed ($(grep '^installer:' "$e2e_dir/install-$id.txt")), detected"
done

# The stand-in saw one address query per runtime and served each package.
for id in $(echo "$before" | cut -d' ' -f1); do
    [ "$(grep -c "^GET /query_url.php?soft=2.0.0.2996&id=$id HTTP/1.1 200 -$" "$e2e_dir/requests.log")" = 1 ] ||
        e2e_fail "not one address query for $id"
    grep -q "^GET /pkg/$id\.[a-z]* HTTP/1.1 20[06] " "$e2e_dir/requests.log" || e2e_fail "no package request for $id"
done
echo "e2e_packages: $rows runtimes fetched, installed and detected"
