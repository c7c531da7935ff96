#!/bin/sh
# Inside a fresh prefix (WINEPREFIX set, DISPLAY on Xvfb): gives the prefix a virtual
# desktop and Wine's fonts, then runs the test program under Wine.
#
#   in_prefix.sh PROGRAM ARGS...
set -eu

# Title bars, system-menu glyphs and Tahoma; without them the pages still work, they
# only look wrong in the screenshots.
if [ -d /usr/share/wine/fonts ]; then
    # The prefix may share files with its template (hard links): replace, never
    # write into, what is there.
    cp --remove-destination /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" \
        2>/dev/null || true
fi
# The Windows the prefix plays, when a test names one (win2k, winxp, win7).
if [ -n "${CVP_WINDOWS_VERSION:-}" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$CVP_WINDOWS_VERSION" /f >/dev/null
fi
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null

# The desktop already running was made without those settings: start the prefix's
# server again, warmed up as with-prefix.sh does.
wineserver -k
wineserver -w
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1

exec wine "$@"
