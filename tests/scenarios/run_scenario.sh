#!/bin/sh
# Runs one scenario twice, on the in-memory machine and with the real executable
# under Wine, and fails unless both leave the same "UnInstall.log", the same registry
# changes and the same file changes, and unless each side's changes pass the image's
# traces.txt: the family's traces gone, nothing else removed, changed or added. Each
# side first previews the token (CVPurger.exe /preview): the preview must change
# nothing, be the same on both sides, and say exactly what the run then does; and
# cvpurger-preview, given the Wine machine's regedit exports and folder listing, must
# say the same as the live preview there. After the run, "/restore" must give back the
# machine as it was before the run, but for the log, and a second "/restore" change
# nothing: on both sides the registry and the files, and under Wine also every file's
# attributes and bytes, every key's DACL and the present devices.
#
#   run_scenario.sh SCENARIO_TOOL CVPURGER_EXE IMAGE_DIR TOKEN WORK_DIR [VERSION]
#
# With VERSION (win2k, winxp, win7) both sides play that Windows: the in-memory
# machine answers GetVersionExA with it, and the Wine prefix is set to it.
# WORK_DIR keeps both sides' results (memory/, wine/) for a look after a failure.
set -eu

tool=$1 exe=$2 image=$3 token=$4 work=$5 version=${6:-}
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/memory" "$work/wine"
"$tool" preview "$image" "$token" "$work/memory" ${version:+"$version"}
"$tool" run "$image" "$token" "$work/memory" ${version:+"$version"}

CVP_SCENARIO_TOOL=$tool CVP_SCENARIO_EXE=$exe CVP_SCENARIO_IMAGE=$image \
CVP_SCENARIO_OUT=$work/wine CVP_WINDOWS_VERSION=$version CVP_SCENARIO_PREVIEW=1 \
    "$here/../wine/with-prefix.sh" "$here/wine_side.sh" "$token"

status=0
for side in memory wine; do
    "$tool" check "$image" "$token" "$work/$side" || status=1
done
"$tool" preview-check "$image" memory "$token" "$work/memory" || status=1
"$tool" preview-check "$work/wine/registry.before" wine "$token" "$work/wine" || status=1
# Wine's SetupAPI gives instance IDs in capitals, the in-memory machine as the registry
# spells them: the previews name the same keys, in either case.
if ! diff -u -i "$work/memory/UnInstall.preview.txt" "$work/wine/UnInstall.preview.txt"; then
    echo "run_scenario.sh: the previews differ between the in-memory machine and Wine" >&2
    status=1
fi
# For a token that names no family, both say so: the live preview in its file, the
# offline one on its error output.
if [ -s "$work/wine/offline.preview.txt" ] ||
    ! grep -qF "$(tr -d '\r' <"$work/wine/UnInstall.preview.txt")" "$work/wine/offline.errors"; then
    if ! diff -u -i "$work/wine/UnInstall.preview.txt" "$work/wine/offline.preview.txt"; then
        echo "run_scenario.sh: cvpurger-preview differs from CVPurger.exe /preview under Wine" >&2
        cat "$work/wine/offline.errors" >&2
        status=1
    fi
fi
for result in UnInstall.log registry.changes files.changes; do
    if ! diff -u "$work/memory/$result" "$work/wine/$result"; then
        echo "run_scenario.sh: $result differs between the in-memory machine and Wine" >&2
        status=1
    fi
done
for side in memory wine; do
    for result in restored.changes restored-again.changes; do
        if grep -vx '+ drive_c/cvpurger/UnInstall.log' "$work/$side/$result" | grep -q .; then
            echo "run_scenario.sh: $side: $result is not empty:" >&2
            cat "$work/$side/$result" >&2
            status=1
        fi
    done
done
wine=$work/wine
for state in restored restored-again; do
    for listing in contents devices; do
        if ! diff -u "$wine/$listing.before" "$wine/$listing.$state" >&2; then
            echo "run_scenario.sh: $listing differ from before the run after $state" >&2
            status=1
        fi
    done
    # The DACL of every key that is there before the run and after the restore.
    awk -F '\t' 'NR == FNR { dacl[$1] = $2; next }
        ($1 in dacl) && dacl[$1] != $2 { print $1 ": " dacl[$1] " -> " $2; changed = 1 }
        END { exit changed }' "$wine/keys.before" "$wine/keys.$state" >&2 || {
        echo "run_scenario.sh: DACLs differ from before the run after $state" >&2
        status=1
    }
done
[ "$status" -eq 0 ] && echo "same log, registry changes and file changes on both sides:" &&
    cat "$work/memory/UnInstall.log" "$work/memory/registry.changes" \
        "$work/memory/files.changes"
exit "$status"
