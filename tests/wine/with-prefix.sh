#!/bin/sh
# Runs a command with WINEPREFIX set to a fresh copy of the template prefix, which is
# thrown away afterwards, and exits with the command's exit code:
#
#   with-prefix.sh COMMAND ARGS...     e.g. with-prefix.sh sh -c 'wine regedit /S x.reg'
#
# wine-run.sh (the cross-compiling emulator) is `with-prefix.sh wine PROGRAM ARGS`.
#
#   CVP_WINE_TEMPLATE  the template prefix (see prefix.sh)
#   CVP_WINE_ARCH      win32 (default) or win64 (see prefix.sh)
#   CVP_WINE_COPY      "link" (default): hard links for drive_c, real copies of the
#                      registry files; "full": cp -a of everything
#   CVP_WINE_KEEP      set to keep the prefix copy for a look afterwards
#
# With "link", files that came from the template share their inode with it: a test
# may create and delete files freely, but anything that rewrites such a file in place
# or changes its attributes (chmod, Wine's DOS attribute xattr) changes the template
# too. Tests that do that, or a harness that copies over existing prefix files, need
# "full" (or must unlink the file first, e.g. cp --remove-destination).
set -u

here=$(cd "$(dirname "$0")" && pwd)
template=$("$here/prefix.sh") || exit 1

# The copy sits next to the template: hard links need the same file system.
runs="$(dirname "$template")/runs"
mkdir -p "$runs"
# Copies of runs that were killed outright (a CTest timeout) are not cleaned up by
# their own trap; nothing runs in them after half a day.
find "$runs" -mindepth 1 -maxdepth 1 -name 'run.*' -mmin +720 -exec rm -rf {} + 2>/dev/null
work=$(mktemp -d "$runs/run.XXXXXX") || exit 1
prefix="$work/prefix"

case "${CVP_WINE_COPY:-link}" in
    full)
        cp -a "$template" "$prefix" || exit 1
        ;;
    link)
        # Wine rewrites the .reg files in place when it saves the registry, so those
        # must be the copy's own.
        cp -al "$template" "$prefix" && rm -f "$prefix"/*.reg &&
            cp -p "$template"/*.reg "$prefix"/ || exit 1
        ;;
    *)
        echo "wine-run.sh: CVP_WINE_COPY must be link or full" >&2
        exit 2
        ;;
esac

export WINEPREFIX="$prefix" WINEARCH="${CVP_WINE_ARCH:-win32}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

finish() {
    # Ends this prefix's server and whatever still runs in it, nothing else.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    if [ -n "${CVP_WINE_KEEP:-}" ]; then
        echo "wine-run.sh: prefix kept at $prefix" >&2
    else
        rm -rf "$work"
    fi
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A server started first, and one trivial run to bring up the services, keep the test
# from paying the start-up and from waiting for lingering helpers at its end. The
# server holds none of the caller's pipes (CTest would wait for them) and lingers at
# most a minute after its last client, should this script be killed before its trap.
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1

"$@"
status=$?
exit $status
