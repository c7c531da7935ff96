#!/bin/sh
# Fails when an include in src/ points up the layers, or when two folders of src/
# include each other. The layers, top down:
#
#   entry -> ui -> offline -> preview -> app -> receipt -> the stages (registry -> cleanup
#         -> detect) -> changes -> run
#         -> platform/memory, platform/win32 -> platform/image -> platform (the seam)
#
# A file may include its own layer's files and any lower layer's. Between the stages
# the arrows go one way only, in the order above; the in-memory machine and the Win32
# side never include each other.
#
#   check_layers.sh [SRC_DIR]     (default: src/ of this repository)
set -eu

src=${1:-$(cd "$(dirname "$0")/.." && pwd)/src}
cd "$src"

# Every include of a source file, as "FOLDER INCLUDED_FOLDER FILE:LINE: TEXT". An
# include names a file below src/ or, failing that, beside the including file; one
# found in neither place is generated at build time and belongs to the includer.
find . -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) | sed 's#^\./##' | sort |
while read -r file; do
    folder=$(dirname "$file")
    grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    while IFS= read -r line; do
        included=$(printf '%s\n' "$line" | sed 's/^[^"]*"\([^"]*\)".*/\1/')
        if [ -f "$included" ]; then
            target=$(dirname "$included")
        else
            target=$folder
        fi
        printf '%s %s %s:%s\n' "$folder" "$target" "$file" "$line"
    done
done | awk '
    # The layer of a folder: its longest listed prefix.
    function layer(folder,    name) {
        for (name = folder; name != "" && name != "."; ) {
            if (name in rank) return name
            if (index(name, "/") == 0) break
            sub(/\/[^\/]*$/, "", name)
        }
        return ""
    }
    BEGIN {
        rank["entry"] = 90
        rank["ui"] = 80
        rank["offline"] = 75
        rank["preview"] = 72
        rank["app"] = 70
        rank["receipt"] = 65
        rank["registry"] = 62; rank["cleanup"] = 61; rank["detect"] = 60
        rank["changes"] = 55
        rank["run"] = 50
        rank["platform/memory"] = 30; rank["platform/win32"] = 30
        rank["platform/image"] = 20
        rank["platform"] = 10
        failed = 0
    }
    {
        from = $1; to = $2
        where = $0; sub(/^[^ ]* [^ ]* /, "", where)
        a = layer(from); b = layer(to)
        if (a == "" || b == "") {
            printf "check_layers.sh: %s: folder %s has no layer; add it to the list\n", where, (a == "" ? from : to)
            failed = 1
            next
        }
        if (from != to) pair[from SUBSEP to] = where
        if (a != b && rank[a] <= rank[b]) {
            printf "check_layers.sh: %s: %s includes %s, which is not below it\n", where, a, b
            failed = 1
        }
    }
    END {
        for (key in pair) {
            split(key, folders, SUBSEP)
            back = folders[2] SUBSEP folders[1]
            if ((back in pair) && folders[1] < folders[2]) {
                printf "check_layers.sh: %s and %s include each other:\n  %s\n  %s\n", folders[1], folders[2], pair[key], pair[back]
                failed = 1
            }
        }
        exit failed
    }'
