#!/bin/sh
# The INF stage takes a driver package out of the driver store on Vista and later
# only: `CVPurger.exe 878` with one Bt878 oem*.inf, under Wine playing Windows XP and
# Windows 7, with setupapi's trace on. Fails unless SetupUninstallOEMInf is called
# for that INF under Windows 7 and never under XP, the INF and its PNF go under
# both, and both logs are the same.
#
#   driver_store.sh CVPURGER_EXE INF PNF WORK_DIR
set -eu

here=$(cd "$(dirname "$0")" && pwd)
exe=$1 inf=$2 pnf=$3 work=$4
rm -rf "$work"
mkdir -p "$work"

for version in winxp win7; do
    mkdir -p "$work/$version"
    CVP_EXE=$exe CVP_INF=$inf CVP_PNF=$pnf CVP_VERSION=$version CVP_OUT=$work/$version \
        "$here/with-prefix.sh" sh -c '
        set -eu
        wine winecfg -v "$CVP_VERSION" >/dev/null 2>&1
        windows=$WINEPREFIX/drive_c/windows
        cp "$CVP_INF" "$windows/inf/oem3.inf"
        cp "$CVP_PNF" "$windows/inf/oem3.PNF"
        mkdir -p "$WINEPREFIX/drive_c/cvpurger"
        cp "$CVP_EXE" "$WINEPREFIX/drive_c/cvpurger/CVPurger.exe"
        cd "$WINEPREFIX/drive_c/cvpurger"
        WINEDEBUG=trace+setupapi wine CVPurger.exe 878 2>"$CVP_OUT/trace"
        cp UnInstall.log "$CVP_OUT/UnInstall.log"
        ls "$windows/inf" >"$CVP_OUT/inf"'
done

status=0
fail() {
    echo "driver_store.sh: $*" >&2
    status=1
}
grep -q 'SetupUninstallOEMInfA "oem3.inf"' "$work/win7/trace" ||
    fail "Windows 7: oem3.inf was not taken out of the driver store"
! grep -q 'SetupUninstallOEMInf' "$work/winxp/trace" ||
    fail "Windows XP: SetupUninstallOEMInf was called"
for version in winxp win7; do
    ! grep -qi '^oem3\.' "$work/$version/inf" || fail "$version: oem3.inf or its PNF is left"
done
diff -u "$work/winxp/UnInstall.log" "$work/win7/UnInstall.log" >&2 ||
    fail "the logs under Windows XP and Windows 7 differ"
[ "$status" -eq 0 ] && echo "SetupUninstallOEMInf under Windows 7 only; both logs:" &&
    cat "$work/win7/UnInstall.log"
exit "$status"
