#!/bin/sh
# Kills CVPurger.exe TOKEN part-way and runs it again, each time in a fresh prefix;
# every kill must pass run_fault.sh's checks. The kills are spread over the clean run
# in REFERENCE, one in each equal slice, where in the slice drawn from SEED:
#   TIMED points over its length in time (most of it is start-up and a fixed pause),
#   LOGGED points over its UnInstall.log, the kill coming as soon as the log has grown
#   to that size (the removals themselves take a few per cent of the time).
# Keys a kill leaves open to Everyone are listed with the point, whether or not the
# rerun closes them.
#
#   run_kills.sh REFERENCE WORK_DIR TOKEN TIMED LOGGED SEED [then-restore]
#
# With then-restore, /restore follows each kill in place of the rerun, and must give
# back the machine as it was before the run.
#
#   environment as for run_fault.sh; CVP_FAULT_SEED, when set, replaces SEED
set -eu

here=$(cd "$(dirname "$0")" && pwd)
reference=$1 work=$2 token=$3 timed=$4 logged=$5 seed=${CVP_FAULT_SEED:-$6} then=${7:-}

read -r _ _ run_ms <"$reference/first/run.result"
log_bytes=$(wc -c <"$reference/first/UnInstall.log")

# One point in each equal slice of [1, LENGTH], for each kind.
faults=$(awk -v timed="$timed" -v run_ms="$run_ms" -v logged="$logged" \
    -v log_bytes="$log_bytes" -v seed="$seed" '
    function spread(kind, count, length_,    i) {
        for (i = 0; i < count; i++) print kind ":" 1 + int((i + rand()) * (length_ - 1) / count)
    }
    BEGIN {
        srand(seed)
        spread("kill-after", timed, run_ms)
        spread("kill-at-log-size", logged, log_bytes)
    }')
echo "clean run: $run_ms ms, $log_bytes bytes of log; seed $seed; kills:" $faults

rm -rf "$work"
mkdir -p "$work"
failed=0
for fault in $faults; do
    point=$work/$(echo "$fault" | tr : -)
    verdict=passed
    # shellcheck disable=SC2086 # then-restore, or nothing
    "$here/run_fault.sh" "$reference" "$point" "$token" "$fault" $then || {
        verdict=FAILED
        failed=$((failed + 1))
    }
    ended=$(awk '{ print ($1 == "killed" ? "killed" : "ended by itself") " at " $NF " ms" }' \
        "$point/first/run.result")
    echo "$fault: $ended, $(wc -l <"$point/first/UnInstall.log") lines logged;" \
        "$(grep -c 'is open to Everyone' "$point/first/keys.check" || true) key(s) left open" \
        "to Everyone; ${then:-rerun} $verdict"
done
echo "$(printf '%s\n' "$faults" | wc -l) kills, $failed failed"
[ "$failed" -eq 0 ]
