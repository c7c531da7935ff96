#!/bin/sh
# The Wine side of a scenario, run inside a fresh prefix (WINEPREFIX): imports the
# image, runs CVPurger.exe from C:\cvpurger once for each command line given, and
# writes the log and the change lists the way the in-memory side does. Then
# "CVPurger.exe /restore", twice, and what each left: the change lists against the
# machine before the run (restored.changes, restored-again.changes against the first
# restore), and of the machine before the run and after each restore its files'
# attributes and bytes (contents.*), its keys' DACLs (keys.*) and its present devices
# (devices.*).
#
#   wine_side.sh COMMAND_LINE...
#   CVP_SCENARIO_TOOL, CVP_SCENARIO_EXE, CVP_SCENARIO_IMAGE, CVP_SCENARIO_OUT
#   CVP_SCENARIO_MODULE  the test filter module put where machine.txt says "module"
#   CVP_KEY_SWEEP        tests/faults' key_sweep.exe: fail if a run opens a key to Everyone
#   CVP_FAULT_HELPER     tests/faults' fault_helper.exe, which lists the present devices
#   CVP_WINDOWS_VERSION  the Windows the prefix plays (win2k, winxp, win7); Wine's own
#                        when empty
#   CVP_SCENARIO_PREVIEW set: first CVPurger.exe /preview of the command line, which must
#                        leave the registry, the files and the key DACLs as they were;
#                        its UnInstall.preview.txt goes to CVP_SCENARIO_OUT, and the
#                        offline preview of the same machine (CVP_OFFLINE_PREVIEW, from
#                        the exports and tools/listing.cmd's listing) to offline.preview.txt
set -eu

tool=$CVP_SCENARIO_TOOL exe=$CVP_SCENARIO_EXE image=$CVP_SCENARIO_IMAGE
out=$CVP_SCENARIO_OUT
repository=$(cd "$(dirname "$0")/../.." && pwd)
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

key_sweep() {
    [ -z "${CVP_KEY_SWEEP:-}" ] || wine "$CVP_KEY_SWEEP" "$@"
}

# What a restore must give back of the files: the attributes of every file and folder
# in C:\windows, where the purger removes files (all of C: reaches into the Unix home
# through the profile's links), and the bytes of the files this prefix holds itself
# (those it shares with the template are Wine's own, which no run removes). The run's
# own files are left out: its log, its pending file, and the program's folder with the
# receipts.
list_contents() {
    {
        wine attrib /S /D 'C:\windows\*' | tr -d '\r'
        (cd "$WINEPREFIX" && find drive_c -type f -links 1 -exec md5sum {} +)
    } | grep -vi -e 'cvpurger[\\/]uninstall\.log' -e 'windows[\\/]cvpurger' |
        LC_ALL=C sort >"$out/$1"
}

present_devices() {
    [ -z "${CVP_FAULT_HELPER:-}" ] || wine "$CVP_FAULT_HELPER" devices | tr -d '\r' >"$out/$1"
}

# The state a restore leaves, named STATE, and its changes against the state BEFORE.
take_restored() {
    export_registry "registry.$1"
    list_files "files.$1"
    list_contents "contents.$1"
    key_sweep dump >"$out/keys.$1"
    present_devices "devices.$1"
    "$tool" registry-changes "$out/registry.$2" "$out/registry.$1" "$out/registry.$1.changes"
    "$tool" file-changes "$out/files.$2" "$out/files.$1" "$out/files.$1.changes"
    cat "$out/registry.$1.changes" "$out/files.$1.changes" >"$out/$1.changes"
}

# C:\windows\inf\oem1.inf as a path in the prefix.
prefix_path() {
    printf '%s/%s' "$drive_c" "$(printf '%s' "${1#C:\\}" | tr '\\' /)"
}

# What machine.txt says beyond the registry and the files. Key DACLs and locked files
# have no stand-in here: an image compared with Wine must not use them.
apply_manifest() {
    [ -f "$image/machine.txt" ] || return 0
    tr -d '\r' <"$image/machine.txt" | while read -r directive rest; do
        case "$directive" in
            ''|'#'*) ;;
            attributes)
                flags=$(printf '%s' "${rest##* }" | sed 's/-//; s/\(.\)/+\1 /g')
                wine attrib -R -H -S -A "${rest% *}" >/dev/null
                # shellcheck disable=SC2086
                [ -z "$flags" ] || wine attrib $flags "${rest% *}" >/dev/null
                ;;
            directory) mkdir -p "$(prefix_path "$rest")" ;;
            module) cp --remove-destination "$CVP_SCENARIO_MODULE" "$(prefix_path "$rest")" ;;
            *)
                echo "wine_side.sh: machine.txt: '$directive' can't be reproduced under Wine" >&2
                exit 1
                ;;
        esac
    done
}

# Each process reads the version as it starts.
if [ -n "${CVP_WINDOWS_VERSION:-}" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$CVP_WINDOWS_VERSION" /f >/dev/null
fi
if [ -f "$image/registry.reg" ]; then
    wine regedit /S "$(winepath -w "$image/registry.reg")"
fi
if [ -d "$image/drive_c" ]; then
    cp -r --remove-destination "$image/drive_c/." "$drive_c/"
fi
apply_manifest
mkdir -p "$drive_c/cvpurger"
# Harnesses that run the purger their own way source this far (tests/faults).
[ -z "${CVP_SCENARIO_IMPORT_ONLY:-}" ] || return 0

# The preview of TOKEN, started as the run is: nothing in the prefix may change but its
# own file, no key, value or key DACL, no file's content or attributes.
preview() {
    marker=$out/preview.started
    : >"$marker"
    set +e
    (cd "$drive_c/cvpurger" && wine "$exe" /preview "$1")
    code=$?
    set -e
    # 1: a token that names no family, said in the file.
    if [ "$code" -ne 0 ] && [ "$code" -ne 1 ]; then
        echo "wine_side.sh: CVPurger.exe /preview $1 exited with $code" >&2
        exit 1
    fi
    # Content is held to the modification time. Attributes change only the inode's change
    # time, which other tests' copies of the template move on every file they share by
    # hard link; the files and folders the image put here are this prefix's alone.
    touched=$(cd "$WINEPREFIX" && find drive_c \( -newer "$marker" -o \
        \( \( -type d -o -links 1 \) -cnewer "$marker" \) \) \
        ! -path drive_c/cvpurger ! -path drive_c/cvpurger/UnInstall.preview.txt)
    mv "$drive_c/cvpurger/UnInstall.preview.txt" "$out/"
    export_registry registry.previewed
    list_files files.previewed
    key_sweep dump >"$out/keys.previewed"
    "$tool" registry-changes "$out/registry.before" "$out/registry.previewed" "$out/preview.changes"
    # Each start of Wine writes new keys below Control\Video, as the change lists know.
    grep -v '\\Control\\Video' "$out/keys.before" >"$out/keys.before.kept"
    grep -v '\\Control\\Video' "$out/keys.previewed" >"$out/keys.previewed.kept"
    if [ -n "$touched" ] || [ -s "$out/preview.changes" ] ||
        ! cmp -s "$out/files.before" "$out/files.previewed" ||
        ! cmp -s "$out/keys.before.kept" "$out/keys.previewed.kept"; then
        echo "wine_side.sh: CVPurger.exe /preview $1 changed the machine:" >&2
        printf '%s\n' "$touched" >&2
        cat "$out/preview.changes" >&2
        diff "$out/files.before" "$out/files.previewed" >&2
        diff "$out/keys.before.kept" "$out/keys.previewed.kept" >&2
        exit 1
    fi
    offline_preview "$1"
}

# The offline preview of TOKEN from what a technician would be sent: the regedit exports
# taken before, and the listing tools/listing.cmd writes (into the results folder).
offline_preview() {
    (cd "$out" && wine cmd /c "$(winepath -w "$repository/tools/listing.cmd")")
    set +e
    wine "$CVP_OFFLINE_PREVIEW" --listing "$(winepath -w "$out/listing.txt")" "$1" \
        "$(winepath -w "$out/registry.before/system.reg")" \
        "$(winepath -w "$out/registry.before/clsid.reg")" >"$out/offline.preview.txt" \
        2>"$out/offline.errors"
    code=$?
    set -e
    # 2: a token that names no family, said on the error output.
    if [ "$code" -ne 0 ] && [ "$code" -ne 2 ]; then
        echo "wine_side.sh: cvpurger-preview $1 exited with $code" >&2
        exit 1
    fi
}

export_registry registry.before
list_files files.before
list_contents contents.before
key_sweep dump >"$out/keys.before"
present_devices devices.before
[ -z "${CVP_SCENARIO_PREVIEW:-}" ] || preview "$1"

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
key_sweep check "$(winepath -w "$out/keys.before")" >"$out/keys.after"

if [ -f "$drive_c/cvpurger/UnInstall.log" ]; then
    cp "$drive_c/cvpurger/UnInstall.log" "$out/UnInstall.log"
else
    : >"$out/UnInstall.log"
fi
"$tool" registry-changes "$out/registry.before" "$out/registry.after" "$out/registry.changes"
"$tool" file-changes "$out/files.before" "$out/files.after" "$out/files.changes"

(cd "$drive_c/cvpurger" && wine "$exe" /restore) >"$out/restored.message"
take_restored restored before
(cd "$drive_c/cvpurger" && wine "$exe" /restore) >"$out/restored-again.message"
take_restored restored-again restored
