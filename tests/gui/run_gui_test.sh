#!/bin/sh
# Runs wizard tests on the real executable: a fresh copy of the template Wine prefix
# with a virtual desktop (so that pages get title bars) and Wine's own fonts, on a
# private Xvfb display; the pages' screenshots come out as PNG files.
#
#   run_gui_test.sh LANGUAGE GUI_TESTS CVPURGER_EXE REPOSITORY SCREENSHOT_DIR LOCALE_DIR \
#                   [GTEST_ARGS...]
#
# LANGUAGE is "en" or "zh_TW": the latter runs under the zh_TW.UTF-8 locale, which is
# built into LOCALE_DIR once (Wine then picks resources 1028, code page 950 and
# country code 886).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
language=$1 tests=$2 purger=$3 repository=$4 screenshots=$5 locales=$6
shift 6

case "$language" in
    en)
        export LANG=C.UTF-8
        ;;
    zh_TW)
        mkdir -p "$locales"
        (
            # Parallel tests build it once.
            flock 9
            if [ ! -f "$locales/zh_TW.UTF-8/LC_CTYPE" ]; then
                localedef -i zh_TW -f UTF-8 "$locales/zh_TW.UTF-8" ||
                    [ -f "$locales/zh_TW.UTF-8/LC_CTYPE" ]
            fi
        ) 9>"$locales.lock"
        export LOCPATH=$locales LANG=zh_TW.UTF-8
        ;;
    *)
        echo "run_gui_test.sh: LANGUAGE must be en or zh_TW" >&2
        exit 2
        ;;
esac

mkdir -p "$screenshots"
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT

set +e
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$here/../wine/with-prefix.sh" "$here/in_prefix.sh" "$tests" "$@" \
    "$purger" "$repository" "$shots"
status=$?
set -e

for picture in "$shots"/*.bmp; do
    [ -f "$picture" ] || continue
    name=$(basename "$picture" .bmp)
    convert "$picture" "$screenshots/$name.png" || status=1
done
exit "$status"
