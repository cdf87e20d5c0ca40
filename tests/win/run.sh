#!/usr/bin/env bash
# Runs the Win32 test tier under Wine in a fresh prefix where drive E: is declared a floppy
# (removable), with a display for the window tests (scripts/wine-env.sh), then the file-time
# tests once more in a time zone away from UTC, where local and universal times differ.
#
#   tests/win/run.sh path/to/win_tests.exe [gtest arguments...]
#
# For the embedded-archive test, set VELMORRA_SETUP_EXE (the built VelmorraSetup.exe) and
# VELMORRA_PAYLOAD_DIR (the folder it was packed from) as Unix paths; without them it is skipped.
# The archive keeps the packing machine's local times, so that test runs in the caller's zone.
set -uo pipefail
tests=$(readlink -f "${1:?usage: run.sh path/to/win_tests.exe [gtest arguments...]}")
shift
[ -f "$tests" ] || { echo "no file $tests" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
# The x64 twin's runner needs a 64-bit prefix.
file -b "$tests" | grep -q x86-64 && export WINEARCH=win64
source "$here/../../scripts/wine-env.sh"
trap wine_env_cleanup EXIT
wine_env_init || exit 2

# Wine's mount manager reads the drive kinds from the 64-bit registry view when it starts.
mkdir -p "$WINEPREFIX/removable"
ln -s ../removable "$WINEPREFIX/dosdevices/e:"
wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f /reg:64 >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f >/dev/null 2>&1
wineserver -k
wineserver -w
export VELMORRA_TEST_REMOVABLE_DRIVE=E

for name in VELMORRA_SETUP_EXE VELMORRA_PAYLOAD_DIR; do
    if [ -n "${!name:-}" ]; then
        export "$name=$(winepath -w "$(readlink -f "${!name}")" 2>/dev/null)"
    fi
done

status=0
wine "$tests" "$@" || status=1
TZ=Europe/Paris wine "$tests" --gtest_filter='RealFileTimes.*' || status=1
wineserver -w
exit $status
