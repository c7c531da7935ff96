#!/bin/sh
# Runs CVPurger.exe TOKEN under Wine on a machine image with faults in its way (see
# fault_side.sh), then once more without them, and compares with one clean run of the
# same image:
#
#   run_fault.sh REFERENCE WORK_DIR TOKEN [FAULT...]
#
# Without a fault it makes that clean run, in REFERENCE. With faults it fails unless
#   - the faulted run ends normally (exit code 0), or is killed where the fault says so;
#   - the key-security sweep passes after it: no key newly open to Everyone, and every
#     key it leaves with the DACL it found (a killed run's open keys are reported);
#   - every line it logged names something that is gone;
#   - what the faults keep (see fault_side.sh) is still there, was removed by the clean
#     run, and is not logged; the file a linked log points to is as it was;
#   - everything else is removed as the clean run removes it (not checked after a kill);
#   - the second run ends normally, passes the sweep, logs only what is gone, and
#     leaves the same registry and files as the clean run (but for what no-regsvr32
#     orphans, below).
#
#   CVP_SCENARIO_TOOL, CVP_SCENARIO_EXE, CVP_SCENARIO_IMAGE, CVP_SCENARIO_MODULE,
#   CVP_KEY_SWEEP, CVP_FAULT_HELPER      as fault_side.sh needs them
set -eu

here=$(cd "$(dirname "$0")" && pwd)
reference=$1 work=$2 token=$3
shift 3
status=0

fail() {
    echo "run_fault.sh: $*" >&2
    status=1
}

# What the faults on stdin (one a line) keep, one item a line, in items.awk's words.
kept_items() {
    while read -r fault; do
        case "$fault" in
            locked-file:* | linked-folder:*)
                path=${fault#*:}
                printf 'drive_c/%s\n' "$(printf '%s' "${path#?:\\}" | tr '\\' /)"
                ;;
            system-denied-key:* | no-regsvr32:* | missing-key:*)
                printf 'hkey_local_machine\\%s\n' "${fault#*:}"
                ;;
            protected-child:*)
                key=${fault#*:}
                printf 'hkey_local_machine\\%s\n' "${key%\\*}"
                ;;
        esac
    done | tr '[:upper:]' '[:lower:]'
}

# The lines of change lists (CHANGES...) about what the item list ITEMS holds.
changes_within() {
    awk -f "$here/items.awk" -v check=within "$@"
}

killed_run() {
    case " $* " in *" kill-after:"* | *" kill-at-log-size:"*) return 0 ;; esac
    return 1
}

# run.result of a run that ended by itself with exit code 0, or was killed.
check_ending() {
    how=nothing code=
    read -r how code _ <"$1/run.result" || true
    case "$how:$code:$2" in
        exit:0:*) ;;
        killed:*:may-be-killed) ;;
        *) fail "$1: the run did not end normally: $(cat "$1/run.result")" ;;
    esac
}

check_sweep() {
    if ! tail -n 1 "$1/keys.check" | tr -d '\r' |
        grep -q ' 0 key(s) newly open to Everyone, 0 key(s) with another DACL$'; then
        fail "$1: the key-security sweep failed:"
        cat "$1/keys.check" >&2
    fi
}

# Every line of the log a run added names something that run removed.
check_log() {
    tail -n +"$(($2 + 1))" "$1/UnInstall.log" >"$1/UnInstall.new"
    awk -f "$here/items.awk" -v check=gone "$1/registry.changes" "$1/files.changes" \
        "$1/UnInstall.new" >&2 || fail "$1: UnInstall.log names items that are still there"
}

check_kept() {
    printf '%s\n' "$@" | kept_items >"$work/kept"
    [ -s "$work/kept" ] || return 0
    awk -f "$here/items.awk" -v check=names "$work/kept" "$work/first/UnInstall.log" >&2 ||
        fail "first run: logged what the faults kept"
    changes_within "$work/kept" "$work/first/registry.changes" "$work/first/files.changes" \
        >"$work/kept.removed"
    [ ! -s "$work/kept.removed" ] || fail "first run: removed what the faults kept: $(cat "$work/kept.removed")"
    while read -r item; do
        printf '%s\n' "$item" >"$work/kept.one"
        changes_within "$work/kept.one" "$reference/first/registry.changes" \
            "$reference/first/files.changes" | grep -q '^- ' ||
            fail "the clean run does not remove $item: the fault tests nothing"
    done <"$work/kept"
}

# The first run removed what the clean run removes, less what the faults kept. The log
# is left out: a locked one is there before the run.
check_others() {
    for list in registry.changes files.changes; do
        changes_within "$work/kept" "$reference/first/$list" >"$work/kept.lines"
        grep -vxF -f "$work/kept.lines" "$reference/first/$list" | without_log \
            >"$work/expected.$list"
        without_log <"$work/first/$list" >"$work/actual.$list"
        diff -u "$work/expected.$list" "$work/actual.$list" >&2 ||
            fail "first run: $list differ from the clean run's, less what the faults kept"
    done
}

# A change list or a file list without the log.
without_log() {
    grep -vxE '(\+ )?drive_c/cvpurger/UnInstall.log' || true
}

# A module regsvr32 could not unregister is deleted all the same, so no later run can
# unregister it: what no-regsvr32 keeps, it keeps for good. That much may differ, and
# is shown; nothing else may.
check_same_as_clean() {
    "$CVP_SCENARIO_TOOL" registry-changes "$reference/first/registry.after" \
        "$work/second/registry.after" "$work/registry.difference"
    printf '%s\n' "$@" | grep '^no-regsvr32:' | kept_items >"$work/orphans"
    changes_within "$work/orphans" "$work/registry.difference" >"$work/orphaned"
    grep -vxF -f "$work/orphaned" "$work/registry.difference" >"$work/unexpected" || true
    [ ! -s "$work/unexpected" ] || {
        fail "second run: the registry differs from the clean run's (- clean only, + here only):"
        cat "$work/unexpected" >&2
    }
    [ ! -s "$work/orphaned" ] || {
        echo "run_fault.sh: left for good, as the module that could unregister it is gone:"
        cat "$work/orphaned"
    }
    # A log the faults kept from the first run is not there when the second finds
    # nothing to log.
    without_log <"$reference/first/files.after" >"$work/clean.files"
    without_log <"$work/second/files.after" >"$work/second.files"
    diff -u "$work/clean.files" "$work/second.files" >&2 ||
        fail "second run: the files differ from the clean run's"
}

rm -rf "$work"
mkdir -p "$work"
# The faulted machine starts as the clean one did.
[ "$#" -eq 0 ] || export CVP_FAULT_BEFORE="$reference/first"
CVP_FAULT_OUT=$work "$here/../wine/with-prefix.sh" "$here/fault_side.sh" "$token" "$@" || {
    echo "run_fault.sh: the Wine side failed" >&2
    exit 1
}

check_ending "$work/first" "$(killed_run "$@" && echo may-be-killed || echo must-end)"
check_log "$work/first" 0
if [ "$#" -eq 0 ]; then
    check_sweep "$work/first"
    exit "$status"
fi
if killed_run "$@"; then
    sed -n 's/^key_sweep: \(.* is open to Everyone\)/killed run left \1/p' "$work/first/keys.check"
else
    check_sweep "$work/first"
    check_kept "$@"
    check_others
fi
for fault in "$@"; do
    case "$fault" in
        locked-log)
            [ ! -s "$work/first/UnInstall.log" ] || fail "first run: wrote to the locked log"
            ;;
        locked-file:*)
            diff -u "$work/first/attributes.before" "$work/first/attributes.after" >&2 ||
                fail "first run: a file it could not delete lost its attributes"
            ;;
        log-symlink:* | log-hardlink:*)
            cmp -s "$work/first/log-target.before" "$work/first/log-target.after" ||
                fail "first run: wrote through the linked UnInstall.log into ${fault#*:}"
            ;;
    esac
done

check_ending "$work/second" must-end
check_sweep "$work/second"
check_log "$work/second" "$(wc -l <"$work/first/UnInstall.log")"
check_same_as_clean "$@"
exit "$status"
