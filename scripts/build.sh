#!/usr/bin/env bash
# Builds the project's trees, incrementally, with the tools a fresh Debian 12 lacks installed first.
#
#   bash scripts/build.sh [tree...]      default: host win wintest
#
#   host       build/host       portable code, unit tests, the packer and the demo-payload generator
#   tools      build/host       only the packer and the generator (what win needs)
#   win        build/win        VelmorraSetup.exe, the stand-in vlm.exe and the "FILES" archive
#   wintest    build/wintest    the Win32 test runner (tests/win)
#   win64      build/win64      the x64 twin of win: the same sources built for 64-bit Windows,
#                               for machines whose Wine cannot run 32-bit programs
#   wintest64  build/wintest64  the x64 twin of wintest
#   host-asan  build/host-asan  unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
#   host-tsan  build/host-tsan  unit tests with ThreadSanitizer
#
# VELMORRA_PAYLOAD_DIR=<folder> makes the setup program install that folder instead of the demo
# payload. JOBS sets the build's parallelism (default 2). Logs go to build/logs/<tree>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-2}

bash scripts/install-deps.sh
mkdir -p build/logs

trees=("$@")
[ ${#trees[@]} -eq 0 ] && trees=(host win wintest)

# Runs a build step quietly; on failure shows the end of its log.
run_logged() {
    local name=$1 log=build/logs/$1.log start=$SECONDS
    shift
    printf '== %-10s ' "$name"
    if "$@" >"$log" 2>&1; then
        echo "ok ($((SECONDS - start)) s)"
        return 0
    fi
    echo "FAILED ($((SECONDS - start)) s), see $log"
    grep -E 'error|Error|warning: .*WinMain|CMake Warning' "$log" | head -20 | sed 's/^/   /'
    tail -n 15 "$log" | sed 's/^/   | /'
    return 1
}

configure() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@"
}

build_host() {  # dir, cmake options..., -- targets...
    local dir=$1
    shift
    local opts=() targets=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do opts+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    targets=("$@")
    configure "$dir" "${opts[@]}" || return 1
    if [ ${#targets[@]} -eq 0 ]; then
        cmake --build "$dir" -j"$JOBS"
    else
        cmake --build "$dir" -j"$JOBS" --target "${targets[@]}"
    fi
}

build_win() {  # tree toolchain
    local dir=$1 toolchain=$ROOT/cmake/$2.cmake payload=
    if [ -n "${VELMORRA_PAYLOAD_DIR:-}" ]; then
        payload=$(cd "$VELMORRA_PAYLOAD_DIR" && pwd) || { echo "no folder $VELMORRA_PAYLOAD_DIR"; return 1; }
    fi
    configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DVELMORRA_HOST_TOOLS="$ROOT/build/host" -DVELMORRA_PAYLOAD_DIR="$payload" || return 1
    cmake --build "$dir" -j"$JOBS" || return 1
    if [ ! -f "$dir/VelmorraSetup.exe" ]; then
        echo "VelmorraSetup.exe was not built (is src/setup/WinMain.cpp there?)"
        return 1
    fi
}

build_wintest() {  # tree toolchain
    local dir=$1 toolchain=$ROOT/cmake/$2.cmake
    # A tree configured with the posix-model compiler keeps it in its cache: it is made again.
    grep -qs 'g++-posix' "$dir/CMakeCache.txt" && rm -rf "$dir"
    configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVELMORRA_WIN_TESTS=ON || return 1
    cmake --build "$dir" -j"$JOBS"
}

failed=0
for tree in "${trees[@]}"; do
    case $tree in
    host) run_logged host build_host build/host || failed=1 ;;
    tools) run_logged tools build_host build/host -- velmorra-pack velmorra-demo-payload || failed=1 ;;
    win | win64)
        # The archive needs the host tools, whether or not the rest of the host tree builds.
        toolchain=toolchain-mingw32
        [ "$tree" = win64 ] && toolchain=toolchain-mingw64
        { run_logged tools build_host build/host -- velmorra-pack velmorra-demo-payload &&
            run_logged "$tree" build_win "build/$tree" "$toolchain"; } || failed=1
        ;;
    wintest) run_logged wintest build_wintest build/wintest toolchain-mingw32 || failed=1 ;;
    wintest64) run_logged wintest64 build_wintest build/wintest64 toolchain-mingw64 || failed=1 ;;
    host-asan) run_logged host-asan build_host build/host-asan -DVELMORRA_SANITIZE=address -- unit_tests || failed=1 ;;
    host-tsan) run_logged host-tsan build_host build/host-tsan -DVELMORRA_SANITIZE=thread -- unit_tests || failed=1 ;;
    *) echo "unknown tree: $tree" >&2; exit 2 ;;
    esac
done
exit $failed
