#!/bin/sh
# Builds CVPurger.exe and runs it under Wine on the bundled demo machine (a PC with a
# QX4100 XP capture card and a QU Stick II Deluxe beside other vendors' devices):
#
#   tools/demo.sh [COMMAND_LINE...]     (default: 878 EM)
#
# then prints what was removed and the resulting "UnInstall.log".
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
jobs=$(nproc)
[ "$#" -gt 0 ] || set -- 878 EM

tools/setup.sh
mkdir -p build
{
    cmake --preset native && cmake --build --preset native -j "$jobs" --target scenario
    cmake --preset mingw-i686 && cmake --build --preset mingw-i686 -j "$jobs" --target CVPurger
} >build/demo-build.log 2>&1 || { cat build/demo-build.log; exit 1; }

out=$repo/build/demo
rm -rf "$out"
mkdir -p "$out"
for token in "$@"; do echo "Running: wine CVPurger.exe $token"; done
CVP_SCENARIO_TOOL=$repo/build/native/tools/scenario \
CVP_SCENARIO_EXE=$repo/build/mingw-i686/CVPurger.exe \
CVP_SCENARIO_IMAGE=$repo/machines/demo CVP_SCENARIO_OUT=$out \
    tests/wine/with-prefix.sh tests/scenarios/wine_side.sh "$@"

echo
echo "Registry keys and values removed (-) or added (+):"
cat "$out/registry.changes"
echo
echo "Files removed (-) or added (+):"
cat "$out/files.changes"
echo
echo "UnInstall.log:"
cat "$out/UnInstall.log"
