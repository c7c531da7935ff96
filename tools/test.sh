#!/bin/sh
# Builds everything and runs every test: natively the unit tests and the seam contract
# tests on the in-memory machine (AddressSanitizer, UBSan); then, cross-built, the
# same contract tests on the real calls and the scenarios and wizard tests with
# CVPurger.exe, all under Wine; last, a short fuzzing campaign of every fuzz target
# (clang, libFuzzer, ASan, UBSan; see docs/FUZZING.md).
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

tools/setup.sh

cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

cmake --preset mingw-i686
cmake --build --preset mingw-i686 -j "$jobs"
ctest --preset mingw-i686 -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz
