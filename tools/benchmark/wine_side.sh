#!/bin/sh
# The Wine side of the benchmark, run inside a fresh prefix (tests/wine/with-prefix.sh
# sets WINEPREFIX and starts a server):
#
#   wine_side.sh IMAGE_DIR TOKEN OUT_DIR RUNS PROFILES
#   CVP_BENCH_EXE    CVPurger.exe          CVP_BENCH_TOOL   cvp_benchmark.exe
#
# Imports the image (regedit /S), then measures in that prefix: the read-only floor
# pass (cvp_benchmark.exe floor), CVPurger.exe with a token that names no family
# (process start and end alone), twice CVPurger.exe /preview TOKEN, and RUNS times
# CVPurger.exe TOKEN, each on the registry as imported, each followed by CVPurger.exe
# /restore. Then RUNS times, on the registry as imported, the run's stages with no
# receipt and the run with its receipt (cvp_benchmark.exe bare and run, which time the
# call alone), and the receipt's /restore (cvp_benchmark.exe restore). PROFILES is "all"
# (the floor pass and a run once more, each seam call timed per registry area:
# cvp_benchmark.exe floor-profile and profile), "run" (the run only) or "none".
# Writes name=value lines to OUT_DIR/wine.txt and the tables beside it.
set -eu

image=$1 token=$2 out=$3 runs=$4 profiles=$5
exe=$CVP_BENCH_EXE tool=$CVP_BENCH_TOOL
drive_c=$WINEPREFIX/drive_c
results=$out/wine.txt
mkdir -p "$out" "$drive_c/cvpurger"
: >"$results"

now() { date +%s.%N; }
# Seconds between two `now` readings, three decimals.
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
note() { echo "$1=$2" >>"$results"; }

# A run only removes keys and values, so importing the image again puts the registry
# back as it was (keys it re-creates get the default DACL, as on the first import).
import_image() {
    start=$(now)
    wine regedit /S "$(winepath -w "$image/registry.reg")"
    note "$1" "$(seconds "$start" "$(now)")"
    rm -f "$drive_c/cvpurger/UnInstall.log"
}

# Every 30 s the server writes the whole registry to system.reg if anything changed
# (1.5 s for 27 MB, 3 s for 54 MB), and every registry call waits meanwhile. A
# measured process is started right after such a write, so that none falls inside it:
# the floor and the start/end runs change nothing, and a run's own changes are
# written after it ends (each takes well under 30 s). `dirty` makes sure a write is
# coming; an import already has.
registry_written() { stat -c %y "$WINEPREFIX/system.reg"; }
after_next_write() {
    if [ "${1:-}" = dirty ]; then
        wine reg add 'HKLM\Software\CVPurgerBenchmark' /v Tick /d "$(now)" /f >/dev/null 2>&1
    fi
    before=$(registry_written)
    waited=0
    while [ "$(registry_written)" = "$before" ] && [ "$waited" -lt 450 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
}

# Runs a Windows program from C:\cvpurger and notes its wall seconds (NAME_s), its peak
# resident set (NAME_rss_kib, from the kernel through /usr/bin/time) and its peak
# anonymous resident memory (NAME_anon_kib, sampled every 10 ms, so a process of a
# few tens of milliseconds may show less): what the process holds beside the mapped
# executable and Wine's DLLs. `wine` execs the loader, which becomes the program's
# process, so /usr/bin/time's child is the program.
timed() {
    name=$1
    shift
    start=$(now)
    (cd "$drive_c/cvpurger" && exec /usr/bin/time -f %M -o "$out/$name.rss" "$@") \
        >"$out/$name.out" &
    timer=$!
    anon=0
    while kill -0 "$timer" 2>/dev/null; do
        # The file lists the child PIDs separated by blanks.
        # shellcheck disable=SC2013
        for pid in $(cat "/proc/$timer/task/$timer/children" 2>/dev/null); do
            while read -r key value _; do
                case $key in
                    RssAnon:) [ "$value" -le "$anon" ] || anon=$value ;;
                esac
            done 2>/dev/null <"/proc/$pid/status" || true
        done
        sleep 0.01
    done
    wait "$timer" || true
    note "${name}_s" "$(seconds "$start" "$(now)")"
    note "${name}_rss_kib" "$(tail -n 1 "$out/$name.rss")"
    note "${name}_anon_kib" "$anon"
}

import_image import_s

# The floor: three passes in one process; each pass is timed inside it.
after_next_write
timed floor wine "$tool" floor 3
sed -n 's/^\([a-z_]*=\)/floor_\1/p' "$out/floor.out" >>"$results"
if [ "$profiles" = all ]; then
    wine "$tool" floor-profile >"$out/floor-profile.txt"
fi

# Start and end of CVPurger.exe alone: RunCommandLine returns at once for a token that
# names no family.
timed noop1 wine "$exe" NOFAMILY
timed noop2 wine "$exe" NOFAMILY

# The preview of the token, twice, on the registry as imported (it changes nothing).
timed preview1 wine "$exe" /preview "$token"
timed preview2 wine "$exe" /preview "$token"
cp "$drive_c/cvpurger/UnInstall.preview.txt" "$out/"

i=1
while [ "$i" -le "$runs" ]; do
    if [ "$i" -eq 1 ]; then
        after_next_write dirty
    else
        import_image "reimport${i}_s"
        after_next_write
    fi
    timed "run$i" wine "$exe" "$token"
    note "run${i}_log_lines" "$(wc -l <"$drive_c/cvpurger/UnInstall.log" 2>/dev/null || echo 0)"
    cp "$drive_c/cvpurger/UnInstall.log" "$out/UnInstall.$i.log" 2>/dev/null || true
    after_next_write
    timed "restore$i" wine "$exe" /restore
    i=$((i + 1))
done

# What the receipt costs, timed inside the process: the same stages with and without
# it, each on the registry as imported, and the restore of the receipt.
i=1
while [ "$i" -le "$runs" ]; do
    for mode in bare run; do
        import_image "reimport_${mode}${i}_s"
        after_next_write
        (cd "$drive_c/cvpurger" && wine "$tool" "$mode" "$token") >"$out/$mode$i.out"
        note "${mode}${i}_ms" "$(sed -n 's/^ms=//p' "$out/$mode$i.out")"
    done
    after_next_write dirty
    (cd "$drive_c/cvpurger" && wine "$tool" restore) >"$out/restore-in$i.out"
    note "restore_in${i}_ms" "$(sed -n 's/^ms=//p' "$out/restore-in$i.out")"
    i=$((i + 1))
done

# Where the run's time goes: each seam call timed, per registry area.
if [ "$profiles" = all ] || [ "$profiles" = run ]; then
    import_image reimport_profile_s
    after_next_write
    wine "$tool" profile "$token" >"$out/run-profile.txt"
    sed -n 's/^\([a-z_]*=\)/profile_\1/p' "$out/run-profile.txt" >>"$results"
fi
