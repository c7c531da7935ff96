#!/bin/sh
# Inside a fresh prefix (WINEPREFIX): imports a machine image as the scenarios do,
# puts faults in the purger's way, runs CVPurger.exe TOKEN, then lifts the faults and
# runs it once more. Writes what each run left to OUT/first and OUT/second; with no
# fault there is only the first run, a clean one.
#
#   fault_side.sh TOKEN FAULT...
#
#   locked-file:PATH            PATH held open without FILE_SHARE_DELETE during the run
#   locked-log                  C:\cvpurger\UnInstall.log held open exclusively
#   denied-key:KEY              KEY (below HKLM) refuses administrators, who own it
#   system-denied-key:KEY       the same, with SYSTEM as its owner: no take-over works
#   protected-child:KEY\CHILD   CHILD is such a key, so that KEY's deletion fails halfway
#                               after its take-over
#   protected-key:KEY           KEY's DACL protected, read-only for administrators, as
#                               Windows keeps a control set's Enum key: what the run
#                               takes from it needs a take-over, and a KEY the run leaves
#                               must keep that DACL exactly
#   linked-folder:PATH          the folder PATH a symbolic link to a folder holding what
#                               PATH held: the run must not touch that folder
#   log-symlink:PATH            C:\cvpurger\UnInstall.log a symbolic link to the file PATH
#   log-hardlink:PATH           ... a hard link to it: the run must leave PATH as it was
#   planted-pending:FAMILY:ID   a pending-identifier file of FAMILY naming ParentIdPrefix
#                               ID where a limited user could put it: in the Windows
#                               directory, and in a state folder everyone may write to;
#                               the run must take nothing for it
#   no-regsvr32[:KEY]           C:\windows\system32\regsvr32.exe is gone during the run
#   missing-key:KEY             KEY and its subtree are left out of the image's import
#   kill-after:MS               the run is ended with TerminateProcess after MS ms
#   kill-at-log-size:BYTES      ... as soon as its UnInstall.log holds BYTES
#
# The PATH or KEY of locked-file, linked-folder, system-denied-key, no-regsvr32 and
# missing-key, and protected-child's KEY, is what the run must leave; denied-key's KEY it
# must remove (see run_fault.sh).
#
#   CVP_SCENARIO_TOOL, CVP_SCENARIO_EXE, CVP_SCENARIO_IMAGE, CVP_SCENARIO_MODULE
#                     as for tests/scenarios/wine_side.sh
#   CVP_KEY_SWEEP     key_sweep.exe; CVP_FAULT_HELPER fault_helper.exe
#   CVP_FAULT_OUT     where the results go
#   CVP_FAULT_BEFORE  a clean run's folder of the same image: its registry.before/,
#                     files.before and keys.before stand for the first run's (the
#                     machine is the same), which saves taking them
#
# Each run's folder gets: run.result (fault_helper's line), keys.start, keys.after and
# keys.check (the sweep's dumps as the run starts and after it, and its report; the
# first run's keys.before is the machine as imported), registry.before/ and .after/
# (regedit exports), files.before and .after, registry.changes, files.changes, and
# UnInstall.log as it was after that run; log-target.before and .after (the file a
# linked log points to).
set -eu

token=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
results=$CVP_FAULT_OUT
helper=$CVP_FAULT_HELPER
system32=$WINEPREFIX/drive_c/windows/system32

# An image without the keys that "missing-key" leaves out, and those keys alone for
# putting back later: regedit sections are dropped whole, with their subkeys.
image_without_keys() {
    mkdir -p "$results/image"
    for entry in "$CVP_SCENARIO_IMAGE"/*; do
        [ "$(basename "$entry")" = registry.reg ] || ln -s "$entry" "$results/image/"
    done
    registry_sections "$1" <"$CVP_SCENARIO_IMAGE/registry.reg" >"$results/image/registry.reg"
    registry_sections "$1" inverse <"$CVP_SCENARIO_IMAGE/registry.reg" >"$results/missing.reg"
    CVP_SCENARIO_IMAGE=$results/image
}

# The export on stdin without the sections of the keys in the newline-separated list
# $1, or ("inverse") with only those. UTF-16 exports pass through iconv both ways.
registry_sections() {
    bytes=$(mktemp)
    cat >"$bytes"
    if [ "$(head -c 2 "$bytes" | od -An -tx1 | tr -d ' ')" = fffe ]; then
        iconv -f UTF-16 -t UTF-8 "$bytes" | pick_sections "$1" "${2:-}" |
            { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE; }
    else
        pick_sections "$1" "${2:-}" <"$bytes"
    fi
    rm -f "$bytes"
}

pick_sections() {
    # The keys through the environment: awk -v would read their backslashes as escapes.
    keys=$1 awk -v inverse="$2" '
        BEGIN { count = split(tolower(ENVIRON["keys"]), key, "\n") }
        NR == 1 { print; next }
        /^\[/ {
            name = tolower($0); sub(/^\[-?/, "", name); sub(/\][\r]*$/, "", name)
            hit = 0
            for (i = 1; i <= count; i++) {
                if (key[i] != "" && (name == key[i] || index(name, key[i] "\\") == 1)) hit = 1
            }
        }
        (hit && inverse) || (!hit && !inverse)'
}

missing_keys() {
    printf '%s\n' "$@" | sed -n 's/^missing-key:/HKEY_LOCAL_MACHINE\\/p'
}

# Writes a key's owner and DACL; the purger's take-over needs WRITE_DAC, which only
# the owner has in spite of the DACL.
set_key_security() {
    wine "$helper" set-security "$1" "$2" >/dev/null
}

# Denies administrators everything but taking the key back (WRITE_OWNER), so that the
# fault can be lifted for the second run.
readonly refuse_admins='D:P(D;;0x7003f;;;BA)(A;;WO;;;BA)'
readonly wine_key_dacl='D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)'
readonly closed_to_admins='D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)'

# A pending-identifier file of family $1 naming ParentIdPrefix $2, into the file $3.
plant_pending() {
    printf '[PendingCleanup]\r\nParentIdPrefix1=%s\r\n' "$2" >"$3/CVPurgerPending$1.ini"
}

# The file a linked log points to, a copy of its own first: the prefix shares its files
# with the template.
link_log() {
    target=$(prefix_path "$2")
    cp -p "$target" "$target.own" && mv "$target.own" "$target"
    cp -p "$target" "$out/log-target.before"
    ln "$1" "$target" "$drive_c/cvpurger/UnInstall.log"
}

inject() {
    case "$1" in
        denied-key:*) set_key_security "${1#*:}" "$refuse_admins" ;;
        system-denied-key:* | protected-child:*)
            set_key_security "${1#*:}" "O:SY$refuse_admins"
            ;;
        protected-key:*) set_key_security "${1#*:}" "$closed_to_admins" ;;
        linked-folder:*)
            folder=$(prefix_path "${1#*:}")
            mv "$folder" "$folder.target"
            ln -s "$(basename "$folder").target" "$folder"
            ;;
        log-symlink:*) link_log -s "${1#*:}" ;;
        log-hardlink:*) link_log -f "${1#*:}" ;;
        planted-pending:*)
            planted=${1#*:}
            plant_pending "${planted%%:*}" "${planted#*:}" "$drive_c/windows"
            # Wine shows the Unix permissions as the DACL: Everyone may write.
            mkdir -p "$drive_c/windows/CVPurger"
            chmod 777 "$drive_c/windows/CVPurger"
            plant_pending "${planted%%:*}" "${planted#*:}" "$drive_c/windows/CVPurger"
            ;;
        no-regsvr32*) mv "$system32/regsvr32.exe" "$system32/regsvr32.exe.gone" ;;
        locked-log) : >"$drive_c/cvpurger/UnInstall.log" ;;
        # The purger clears a file's read-only bit to delete it: a file it could not
        # delete must keep its attributes.
        locked-file:*) wine attrib "${1#*:}" >>"$out/attributes.before" ;;
        missing-key:* | kill-after:* | kill-at-log-size:*) ;;
        *)
            echo "fault_side.sh: unknown fault '$1'" >&2
            exit 2
            ;;
    esac
}

# Gives the access back before the run's results are taken: regedit exports nothing
# below a key it may not read, and a file listing would show regsvr32.exe as renamed.
restore_access() {
    case "$1" in
        system-denied-key:* | protected-child:*)
            set_key_security "${1#*:}" O:BA
            set_key_security "${1#*:}" "$wine_key_dacl"
            ;;
        no-regsvr32*) mv "$system32/regsvr32.exe.gone" "$system32/regsvr32.exe" ;;
        locked-file:*) wine attrib "${1#*:}" >>"$out/attributes.after" ;;
        # The folder back where it was, with whatever the run left of it.
        linked-folder:*)
            folder=$(prefix_path "${1#*:}")
            rm -f "$folder"
            mv "$folder.target" "$folder"
            ;;
        log-symlink:* | log-hardlink:*)
            cp -p "$(prefix_path "${1#*:}")" "$out/log-target.after"
            rm -f "$drive_c/cvpurger/UnInstall.log"
            ;;
        # The state folder as the purger makes it, without what was planted.
        planted-pending:*)
            family=${1#*:}
            family=${family%%:*}
            rm -f "$drive_c/windows/CVPurgerPending$family.ini" \
                "$drive_c/windows/CVPurger/CVPurgerPending$family.ini"
            chmod 750 "$drive_c/windows/CVPurger"
            ;;
    esac
}

put_back() {
    case "$1" in
        missing-key:*) wine regedit /S "$(winepath -w "$results/missing.reg")" ;;
    esac
}

# fault_helper's options for the run: files held open, the kill.
run_options() {
    for fault in "$@"; do
        case "$fault" in
            locked-file:*) printf '%s\n' --hold "${fault#*:}" read-write ;;
            locked-log) printf '%s\n' --hold "$log" none ;;
            kill-after:*) printf '%s\n' --kill-after "${fault#*:}" ;;
            kill-at-log-size:*) printf '%s\n' --kill-at-size "$log" "${fault#*:}" ;;
        esac
    done
}

take_before() {
    mkdir -p "$out"
    export_registry registry.before
    list_files files.before
}

# The state STATE ("before" or "after") of the run in FOLDER as this run's start.
take_before_from() {
    mkdir -p "$out"
    cp -r "$1/registry.$2" "$out/registry.before"
    cp "$1/files.$2" "$out/files.before"
}

# Runs the purger with fault_helper's OPTIONS (one a line) and sweeps the keys against
# the machine as it was imported (a key a killed run left open must not stay open) and
# as the run found it (a key it leaves keeps its DACL exactly). The report is judged by
# run_fault.sh: a kill may leave a key open or changed, a rerun may not.
run_purger() {
    purger="\"$(winepath -w "$CVP_SCENARIO_EXE")\" $token"
    old_ifs=$IFS
    IFS='
'
    key_sweep dump >"$out/keys.start"
    # shellcheck disable=SC2086 # one option a line
    (cd "$drive_c/cvpurger" && wine "$helper" run $1 -- "$purger") >"$out/run.result" || true
    IFS=$old_ifs
    key_sweep check "$(winepath -w "$results/first/keys.before")" \
        "$(winepath -w "$out/keys.start")" >"$out/keys.after" 2>"$out/keys.check" || true
}

take_after() {
    export_registry registry.after
    list_files files.after
    cp "$drive_c/cvpurger/UnInstall.log" "$out/UnInstall.log" 2>/dev/null || : >"$out/UnInstall.log"
    "$CVP_SCENARIO_TOOL" registry-changes "$out/registry.before" "$out/registry.after" \
        "$out/registry.changes"
    "$CVP_SCENARIO_TOOL" file-changes "$out/files.before" "$out/files.after" "$out/files.changes"
}

mkdir -p "$results"
missing=$(missing_keys "$@")
[ -z "$missing" ] || image_without_keys "$missing"

# The scenarios' own import, and their export_registry, list_files and key_sweep.
# shellcheck disable=SC2034 # read by wine_side.sh
CVP_SCENARIO_IMPORT_ONLY=1 CVP_SCENARIO_OUT=$results
# shellcheck source=../scenarios/wine_side.sh
. "$here/../scenarios/wine_side.sh"

log='C:\cvpurger\UnInstall.log'
out=$results/first
if [ -n "${CVP_FAULT_BEFORE:-}" ] && [ -z "$missing" ]; then
    take_before_from "$CVP_FAULT_BEFORE" before
    cp "$CVP_FAULT_BEFORE/keys.before" "$out/"
else
    take_before
    key_sweep dump >"$out/keys.before"
fi
for fault in "$@"; do inject "$fault"; done
run_purger "$(run_options "$@")"
for fault in "$@"; do restore_access "$fault"; done
take_after
[ "$#" -gt 0 ] || exit 0

out=$results/second
if [ -n "$missing" ]; then
    for fault in "$@"; do put_back "$fault"; done
    take_before
else
    # Where the first run left the machine, the second starts.
    take_before_from "$results/first" after
fi
run_purger ""
take_after
