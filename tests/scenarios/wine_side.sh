#!/bin/sh
# The Wine side of a scenario, run inside a fresh prefix (WINEPREFIX): imports the
# image, runs CVPurger.exe from C:\cvpurger once for each command line given, and
# writes the log and the change lists the way the in-memory side does.
#
#   wine_side.sh COMMAND_LINE...
#   CVP_SCENARIO_TOOL, CVP_SCENARIO_EXE, CVP_SCENARIO_IMAGE, CVP_SCENARIO_OUT
set -eu

tool=$CVP_SCENARIO_TOOL exe=$CVP_SCENARIO_EXE image=$CVP_SCENARIO_IMAGE
out=$CVP_SCENARIO_OUT
drive_c=$WINEPREFIX/drive_c

export_registry() {
    mkdir -p "$out/$1"
    wine regedit /E "$(winepath -w "$out/$1/system.reg")" 'HKEY_LOCAL_MACHINE\SYSTEM'
    wine regedit /E "$(winepath -w "$out/$1/clsid.reg")" 'HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID'
}

list_files() {
    (cd "$WINEPREFIX" && find drive_c -mindepth 1 \( -type d -printf '%p/\n' \) -o -printf '%p\n') |
        LC_ALL=C sort >"$out/$1"
}

if [ -f "$image/registry.reg" ]; then
    wine regedit /S "$(winepath -w "$image/registry.reg")"
fi
if [ -d "$image/drive_c" ]; then
    cp -r --remove-destination "$image/drive_c/." "$drive_c/"
fi
mkdir -p "$drive_c/cvpurger"

export_registry registry.before
list_files files.before

for token in "$@"; do
    set +e
    (cd "$drive_c/cvpurger" && wine "$exe" "$token")
    code=$?
    set -e
    if [ "$code" -ne 0 ]; then
        echo "wine_side.sh: CVPurger.exe $token exited with $code" >&2
        exit 1
    fi
done

export_registry registry.after
list_files files.after

if [ -f "$drive_c/cvpurger/UnInstall.log" ]; then
    cp "$drive_c/cvpurger/UnInstall.log" "$out/UnInstall.log"
else
    : >"$out/UnInstall.log"
fi
"$tool" registry-changes "$out/registry.before" "$out/registry.after" "$out/registry.changes"
"$tool" file-changes "$out/files.before" "$out/files.after" "$out/files.changes"
