#!/usr/bin/env bash
# The shipped program is one 32-bit GUI executable: it must import nothing but
# DLLs that every Windows installation has.
set -euo pipefail
exe="$1"
desc="$(file -b "$exe")"
case "$desc" in
    "PE32 executable (GUI) Intel 80386"*) ;;
    *) echo "not a 32-bit GUI executable: $desc" >&2; exit 1 ;;
esac
system='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|msimg32|wininet|urlmon|ws2_32|mswsock|iphlpapi|crypt32|bcrypt|version|msvcrt|winmm|imm32|uxtheme|riched20|rpcrt4|userenv|dbghelp)\.dll$'
bad=0
while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
        echo "imports a DLL that is not part of Windows: $dll" >&2
        bad=1
    fi
done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
exit $bad
