#!/bin/sh
# Makes the template Wine prefix that every Wine test copies, once. A template that is
# already complete is reused; concurrent callers wait for the one that builds it.
#
#   CVP_WINE_TEMPLATE  where the template lives (default: build/wine/template in the
#                      repository, build/wine/template-win64 for a 64-bit one)
#   CVP_WINE_ARCH      win32 (default) or win64: a 64-bit Windows, only for the tests
#                      of what the purger does there (with wine64 installed a new
#                      prefix would be 64-bit unless told)
#
# Prints the template's path.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
arch=${CVP_WINE_ARCH:-win32}
case "$arch" in
    win32) template=${CVP_WINE_TEMPLATE:-$repo/build/wine/template} ;;
    win64) template=${CVP_WINE_TEMPLATE:-$repo/build/wine/template-win64} ;;
    *)
        echo "prefix.sh: CVP_WINE_ARCH must be win32 or win64" >&2
        exit 2
        ;;
esac
ready_mark=.cvp-template-ready

mkdir -p "$(dirname "$template")"

# Creating a prefix takes about 20 s; parallel test runs must not each start one.
exec 9>"$template.lock"
flock 9

complete() {
    [ -f "$template/$ready_mark" ] && [ -f "$template/system.reg" ] &&
        [ -f "$template/user.reg" ] && [ -d "$template/drive_c/windows/system32" ]
}

if ! complete; then
    # Built aside and moved into place, so that an interrupted build never leaves a
    # half-made template where one is looked for. Whatever is there already is not
    # ours to delete.
    if [ -e "$template" ]; then
        echo "prefix.sh: $template exists but is no complete template; remove it" >&2
        exit 1
    fi
    staging="$template.building"
    rm -rf "$staging"
    export WINEPREFIX="$staging" WINEARCH="$arch" WINEDEBUG=-all
    # Nothing may be downloaded: no Mono, no Gecko.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    # The registry reaches system.reg only when the server shuts down.
    wineserver -w
    [ -f "$staging/system.reg" ] || {
        echo "prefix.sh: wineboot left no system.reg in $staging" >&2
        exit 1
    }
    touch "$staging/$ready_mark"
    mv "$staging" "$template"
fi

echo "$template"
