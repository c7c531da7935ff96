#!/bin/sh
# Fails when an executable imports anything Windows 2000 SP4 does not export, or from a
# DLL that Windows 2000 and XP do not always take from their system directory (their
# KnownDLLs: any other DLL would be looked for beside the executable first, where a
# limited user may have planted one).
#
#   check_imports.sh EXE [OBJDUMP]
#
# The export lists in tools/windows-exports/ say where they come from (README.md).
set -eu

exe=$1
objdump=${2:-i686-w64-mingw32-objdump}
lists=$(cd "$(dirname "$0")" && pwd)/windows-exports

# "dll!Function" per import, the DLL in lower case; "dll!#N" for one by ordinal.
imports=$("$objdump" -p "$exe" | awk '
    /^The Import Tables/ { inside = 1; next }
    inside && /^The / { inside = 0 }
    inside && /DLL Name:/ { dll = tolower($3); sub(/\.dll$/, "", dll); next }
    inside && dll != "" && $1 ~ /^[0-9a-f]+$/ && NF == 3 { print dll "!" $3; next }
    inside && dll != "" && $1 ~ /^[0-9a-f]+$/ && NF == 2 { print dll "!#" $2 }')
[ -n "$imports" ] || { echo "check_imports.sh: no imports read from $exe" >&2; exit 1; }

missing=$(grep -hv '^#' "$lists/win2000_missing.txt" "$lists/xp_missing.txt" | cut -f1 |
    tr 'A-Z' 'a-z' | sed 's/[[:space:]]*$//')
failed=0
for import in $imports; do
    dll=${import%%!*} function=${import#*!}
    list=$lists/$dll.nt50.txt
    if [ ! -f "$list" ]; then
        echo "check_imports.sh: $import: $dll is not one the program may import (Windows 2000/XP KnownDLLs only); load it by full path" >&2
        failed=1
    elif ! grep -qxF "$function" "$list"; then
        echo "check_imports.sh: $import: not exported by Windows 2000" >&2
        failed=1
    elif printf '%s\n' "$missing" | grep -qxF "$(printf '%s' "$dll!$function" | tr 'A-Z' 'a-z')"; then
        echo "check_imports.sh: $import: not on Windows 2000 SP4" >&2
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "check_imports.sh: $(printf '%s\n' $imports | wc -l) imports of $(basename "$exe"), all on Windows 2000 SP4"
exit "$failed"
