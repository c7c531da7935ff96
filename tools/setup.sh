#!/bin/sh
# Installs what building and testing need on Debian 12, once: CMake and g++ with
# GoogleTest for the native build, the MinGW-w64 i686 win32-thread-model compilers
# for CVPurger.exe, 32-bit Wine to run it and 64-bit Wine for the prefix that shows
# its refusal on 64-bit Windows, Xvfb for its windows, clang with libFuzzer for
# the fuzz targets, zip for the release. Needs root (or sudo).
set -eu

packages="cmake g++ make googletest g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
binutils-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 wine64 fonts-wine xvfb xauth
locales fonts-wqy-microhei imagemagick clang-14 libclang-rt-14-dev time zip"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for package in $packages; do
    dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

echo "setup.sh: installing$missing" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
fi
as_root apt-get update -q
# shellcheck disable=SC2086
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
