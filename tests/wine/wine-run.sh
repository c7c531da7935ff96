#!/bin/sh
# Runs one Windows program under Wine in a fresh copy of the template prefix and exits
# with the program's exit code. CMake uses it as the cross-compiling emulator, so every
# Windows test runs as `wine-run.sh PROGRAM ARGS`. See with-prefix.sh for the prefix
# copy and its settings.
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/with-prefix.sh" wine "$@"
