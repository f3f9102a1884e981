#!/usr/bin/env bash
# Tells the oldest Windows version whose system DLLs export every function an
# executable imports, by its import table and the table of first versions in
# windows-exports.txt, and names the imports that set it. Fails on an import
# the table does not know, and, when a version is given, on any other floor.
# Usage: windows-floor.sh <exe> [expected version: xp|vista|7|8|8.1|10]
set -euo pipefail
exe="$1"
expected="${2:-}"
table="$(dirname "$0")/windows-exports.txt"
i686-w64-mingw32-objdump -p "$exe" | awk -v expected="$expected" '
    BEGIN { split("xp vista 7 8 8.1 10", order, " "); for (i in order) rank[order[i]] = i }
    FNR == NR {
        if ($0 !~ /^#/) for (i = 3; i <= NF; ++i) first[$1 " " $i] = $2
        next
    }
    /DLL Name:/ { dll = tolower($3); next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ {
        name = dll " " $3
        if (!(name in first)) { print "not in the table: " name > "/dev/stderr"; unknown = 1; next }
        version = first[name]
        if (rank[version] > rank[floor] + 0) floor = version
        needs[version] = needs[version] " " dll "!" $3
    }
    END {
        if (unknown) exit 1
        if (floor == "") floor = "xp"
        print "floor: " floor
        if (floor != "xp") print "needs " floor ":" needs[floor]
        if (expected != "" && expected != floor) { print "expected " expected > "/dev/stderr"; exit 1 }
    }
' "$table" -
