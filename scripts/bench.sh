#!/usr/bin/env bash
# Runs the benchmarks and prints their figures: each against a baseline measured in the same run,
# as a ratio of medians, with its target.
#
#   bash scripts/bench.sh [host|wine]...     default: both
#
#   host   build/bench-host (optimised): the archive reader's start-up against zlib's one-pass
#          inflate, the install thread against plain writes, over real files in /tmp, and a
#          100 000-line "Install.log" and "Update.log" taking 10 000 more lines (under a second)
#   wine   build/win (the product's compiler and options): the same two against zlib and
#          CopyFileA, and the peak memory of a whole installation, under Wine
#
# To see where the install thread's time goes under Wine, per platform call:
#   wine build/win/bench/win/velmorra-bench.exe profile 'Z:\path\to\files.bin' 'C:\existing\folder' [runs]
#
# Both use the product's archive, build/win/files.bin. RUNS sets the runs per median (default 15).
# Exits non-zero when a target is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RUNS=${RUNS:-15}
JOBS=${JOBS:-2}

parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(host wine)

mkdir -p build/logs
if ! bash scripts/build.sh win >/dev/null || ! cmake --build build/win -j"$JOBS" --target velmorra-bench \
        >build/logs/bench-win.log 2>&1; then
    echo "bench: the Windows tree did not build; see build/logs/" >&2
    exit 1
fi
ARCHIVE=$ROOT/build/win/files.bin

missed=0
for part in "${parts[@]}"; do
    case $part in
    host)
        echo "== host ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
        if ! { cmake -S . -B build/bench-host -DCMAKE_BUILD_TYPE=Release &&
               cmake --build build/bench-host -j"$JOBS" --target velmorra-bench; } >build/logs/bench-host.log 2>&1; then
            echo "bench: the host benchmark did not build; see build/logs/bench-host.log" >&2
            exit 1
        fi
        build/bench-host/bench/velmorra-bench "$ARCHIVE" "$RUNS" || missed=1
        ;;
    wine)
        echo "== wine ($(wine --version 2>/dev/null))"
        (
            source scripts/wine-env.sh
            trap wine_env_cleanup EXIT
            wine_env_init
            mkdir -p "$WINEPREFIX/drive_c/velmorra-bench"
            exe=$ROOT/build/win/bench/win/velmorra-bench.exe
            archive="Z:${ARCHIVE//\//\\}"
            # Memory first, in a process of its own that has done nothing else.
            status=0
            wine "$exe" memory "$archive" 'C:\velmorra-bench' || status=1
            wine "$exe" speed "$archive" 'C:\velmorra-bench' "$RUNS" || status=1
            exit $status
        ) || missed=1
        ;;
    *) echo "unknown part: $part" >&2; exit 2 ;;
    esac
done
exit $missed
