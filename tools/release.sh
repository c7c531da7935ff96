#!/bin/sh
# Builds the release of the checked-out commit: dist/CVPurger-VERSION.zip with
# CVPurger.exe, "Restore the last purge.cmd" beside it, the user guide in English and
# in Traditional Chinese, the technician's offline preview (cvpurger-preview.exe and
# listing.cmd), and SHA256SUMS.
# VERSION is the CMake project's version, which the version resource and the guides
# carry too.
#
# The build must be reproducible: the commit is exported into two folders of different
# names and depths, built in each, and the two executables and the two zips must be
# byte for byte the same, or nothing is written to dist/. Uncommitted changes are not
# part of a release.
#
#   tools/release.sh [OUT_DIR]      (default: dist/ in the repository)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$repo/dist}
cd "$repo"
"$repo/tools/setup.sh"

version=$(sed -n 's/^project(CVPurger VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
name=CVPurger-$version
# Every file in the zip carries the commit's time, not the time of the build.
epoch=$(git log -1 --format=%ct HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: uncommitted changes are left out; building $(git rev-parse --short HEAD)" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build FOLDER: the commit exported into FOLDER/source, built in FOLDER/build, staged
# and zipped in FOLDER/$name.zip.
build() {
    mkdir -p "$1/source"
    git archive HEAD | tar -x -C "$1/source"
    cmake -S "$1/source" -B "$1/build" \
        -DCMAKE_TOOLCHAIN_FILE="$1/source/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DCVP_TESTS=OFF >"$1/configure.log"
    cmake --build "$1/build" -j "$(nproc)" --target CVPurger cvpurger-preview >"$1/build.log"

    stage=$1/stage/$name
    mkdir -p "$stage"
    cp "$1/build/CVPurger.exe" "$1/build/cvpurger-preview.exe" "$stage/"
    # cmd.exe reads batch files with CR LF line ends.
    for script in "release/Restore the last purge.cmd" tools/listing.cmd; do
        sed 's/\r*$/\r/' "$1/source/$script" >"$stage/$(basename "$script")"
    done
    # With a byte-order mark, Notepad reads the guides as UTF-8 on any system.
    for guide in "$1/build/guide/"CVPurger-Guide-*.txt; do
        { printf '\357\273\277'; cat "$guide"; } >"$stage/$(basename "$guide")"
    done
    (cd "$stage" && LC_ALL=C ls | grep -v '^SHA256SUMS$' | tr '\n' '\0' |
        xargs -0 sha256sum >SHA256SUMS)
    find "$1/stage" -exec touch -h -d "@$epoch" {} +
    (cd "$1/stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$1/$name.zip")
}

build "$work/first"
build "$work/second/elsewhere"
for file in build/CVPurger.exe build/cvpurger-preview.exe "$name.zip"; do
    if ! cmp "$work/first/$file" "$work/second/elsewhere/$file"; then
        echo "release.sh: two builds of the same commit differ in $file: not reproducible" >&2
        exit 1
    fi
done

mkdir -p "$out"
cp "$work/first/$name.zip" "$out/"
echo "release.sh: $out/$name.zip (two builds byte-identical)"
(cd "$work/first/stage/$name" && cat SHA256SUMS)
