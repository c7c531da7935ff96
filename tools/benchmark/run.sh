#!/bin/sh
# The registry benchmark (docs/PERFORMANCE.md): builds what it needs, writes the busy
# machine at scale 1 and 2, and measures the command-line run (token BB, the QR4100
# encoder-card family) against its floor, natively on the in-memory machine and under
# Wine with the real CVPurger.exe. Not a test: it prints a report and keeps every
# figure under the results folder.
#
#   tools/benchmark/run.sh [--native-only] [--wine-runs N] [--scales "1 2"]
#
#   CVP_BENCH_OUT   results folder (default build/benchmark/results)
#
# The floor is what no purger of these areas can go below: the run's mandated pauses
# plus one read-only pass (open every key KEY_READ, read its values, enumerate its
# subkeys) over the registry areas the run walks, through the same seam. Under Wine
# the floor also pays the same process start and end as the run (CVPurger.exe with a
# token that names no family). The preview is measured against the same floors: live
# under Wine (CVPurger.exe /preview), offline natively (cvpurger-preview on the
# machine's export), and cvpurger-preview on an export of a million keys.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${CVP_BENCH_OUT:-$repo/build/benchmark/results}
token=BB
scales="1 2"
wine_runs=2
native_repeat=5
native_only=

while [ $# -gt 0 ]; do
    case "$1" in
        --native-only) native_only=1 ;;
        --wine-runs) wine_runs=$2; shift ;;
        --scales) scales=$2; shift ;;
        *)
            echo "usage: run.sh [--native-only] [--wine-runs N] [--scales \"1 2\"]" >&2
            exit 2
            ;;
    esac
    shift
done

native_dir=$repo/build/benchmark/native
windows_dir=$repo/build/benchmark/mingw-i686
generator=
command -v ninja >/dev/null 2>&1 && generator="-G Ninja"

step() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
loadavg() { echo "$1 $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/load.txt"; }

command -v cmake >/dev/null 2>&1 || { echo "run.sh: cmake is missing" >&2; exit 1; }
if [ -z "$native_only" ]; then
    # tools/setup.sh installs all of these but /usr/bin/time (Debian package "time").
    for tool in i686-w64-mingw32-g++-posix wine wineserver /usr/bin/time; do
        command -v "$tool" >/dev/null 2>&1 || { echo "run.sh: $tool is missing" >&2; exit 1; }
    done
fi

# Only what an earlier run left: the folder may be one the caller named.
rm -rf "$out/machines" "$out"/native-* "$out"/wine-* "$out/report.txt" "$out/load.txt"
mkdir -p "$out/machines"
: >"$out/load.txt"

# An optimised native build without sanitizers. GCC 12 at -O2 and above reports
# warnings the Debug preset never sees (format-truncation in src/detect/scans.cpp,
# a known false -Wrestrict in std::string): they are not errors here.
step "building (native, $native_dir)"
# shellcheck disable=SC2086
cmake -S "$repo" -B "$native_dir" $generator -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    "-DCMAKE_CXX_FLAGS=-Wno-format-truncation -Wno-restrict" \
    -DCVP_SANITIZE=OFF -DCVP_TESTS=OFF -DCVP_BENCHMARK=ON >"$out/build-native.log"
cmake --build "$native_dir" --target benchmark_machine benchmark_native scenario cvpurger-preview \
    >>"$out/build-native.log"
bench_bin=$native_dir/tools/benchmark

if [ -z "$native_only" ]; then
    # The shipped configuration (the mingw-i686 preset builds MinSizeRel).
    step "building (Windows, $windows_dir)"
    # shellcheck disable=SC2086
    cmake -S "$repo" -B "$windows_dir" $generator \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCVP_TESTS=OFF -DCVP_BENCHMARK=ON >"$out/build-windows.log"
    cmake --build "$windows_dir" --target CVPurger cvp_benchmark_win32 >>"$out/build-windows.log"
fi

# cvpurger-preview as a technician runs it, NAME.txt its preview or its refusal, and
# NAME.figures its wall seconds and peak resident set.
offline_preview() {
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$2.rss" "$native_dir/cvpurger-preview" "$token" "$1" \
        >"$2.txt" 2>"$2.errors" || true
    {
        echo "seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')"
        echo "peak_rss_kib=$(tail -n 1 "$2.rss")"
        echo "refusal=$(cat "$2.errors")"
    } >"$2.figures"
}

for scale in $scales; do
    step "writing the machine at scale $scale"
    "$bench_bin/benchmark_machine" "$out/machines/scale$scale" "$scale" >"$out/machines/scale$scale.txt"
done

for scale in $scales; do
    image=$out/machines/scale$scale
    step "native, scale $scale"
    loadavg "native-$scale-start"
    "$bench_bin/benchmark_native" floor "$image" "$native_repeat" >"$out/native-floor-$scale.txt"
    "$bench_bin/benchmark_native" run "$image" "$token" "$native_repeat" >"$out/native-run-$scale.txt"
    "$bench_bin/benchmark_native" profile "$image" "$token" >"$out/native-profile-$scale.txt"
    "$bench_bin/benchmark_native" receipt "$image" "$token" "$native_repeat" \
        >"$out/native-receipt-$scale.txt"
    "$bench_bin/benchmark_native" preview "$image" "$token" "$native_repeat" \
        >"$out/native-preview-$scale.txt"
    offline_preview "$image/registry.reg" "$out/offline-$scale"
    # The log and change lists of the same run, to hold the Wine run's log against.
    mkdir -p "$out/native-scenario-$scale"
    "$native_dir/tools/scenario" run "$image" "$token" "$out/native-scenario-$scale"
    loadavg "native-$scale-end"
done

step "native, an export of a million keys (scale 10)"
"$bench_bin/benchmark_machine" "$out/machines/scale10" 10 >"$out/machines/scale10.txt"
offline_preview "$out/machines/scale10/registry.reg" "$out/offline-10"
rm -rf "$out/machines/scale10"

if [ -z "$native_only" ]; then
    profiles=all
    for scale in $scales; do
        step "Wine, scale $scale (import, floor, $wine_runs runs, profile: $profiles)"
        loadavg "wine-$scale-start"
        CVP_BENCH_EXE=$windows_dir/CVPurger.exe CVP_BENCH_TOOL=$windows_dir/cvp_benchmark.exe \
            "$repo/tests/wine/with-prefix.sh" sh "$here/wine_side.sh" "$out/machines/scale$scale" \
            "$token" "$out/wine-$scale" "$wine_runs" "$profiles"
        loadavg "wine-$scale-end"
        profiles=run
    done
fi

step "report"
"$here/report.sh" "$out" "$scales" | tee "$out/report.txt"
