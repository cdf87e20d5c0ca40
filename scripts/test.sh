#!/usr/bin/env bash
# Builds everything and runs every tier of tests:
#   1. host unit tests under AddressSanitizer + UndefinedBehaviorSanitizer (build/host-asan)
#   2. the tests that run the install worker on a real thread, under ThreadSanitizer (build/host-tsan)
#   3. the Win32 tests under Wine (tests/win/run.sh when present, else build/wintest/win_tests.exe)
#   4. every tests/e2e/*.sh, 5. every tests/checks/*.sh
# Each tier prints its summary; the last line counts the tests (a script counts as one):
# "N passed, N failed, N skipped". Exits non-zero when anything failed. Logs: build/logs/.
#
# Where Wine cannot run 32-bit programs (asked once, scripts/wine-env.sh; VELMORRA_FORCE_X64=1
# acts as if), tiers 3 and 4 run the x64 twin (build/win64, build/wintest64) in 64-bit prefixes,
# and the scripts that only mean something for the 32-bit program are counted as skipped; the
# checks of the built program still read the 32-bit file. Elsewhere the twin is built too.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
export CI=${CI:-}

PASSED=0
FAILED=0
SKIPPED=0
FAILURES=()

count() {  # passed failed label
    PASSED=$((PASSED + $1))
    FAILED=$((FAILED + $2))
    [ "$2" -gt 0 ] && FAILURES+=("$3")
    return 0
}

# Counts GoogleTest runs from their output (a log may hold several runs); a run that ends
# without its summary (a crash, a sanitizer report, a timeout) counts as one failure more.
count_gtest() {  # log exit-code label
    local log=$1 rc=$2 label=$3 passed failed started mains finished
    passed=$(grep -aoE '^\[  PASSED  \] [0-9]+' "$log" | awk '{n += $NF} END {print n + 0}')
    failed=$(grep -aoE '^\[  FAILED  \] [0-9]+ tests?, listed below' "$log" | awk '{n += $4} END {print n + 0}')
    # (--gtest_brief hides the "Running N tests" line; gtest_main's own line stays.)
    started=$(grep -acE '^\[==========\] Running [0-9]+ tests?' "$log")
    mains=$(grep -acE '^Running main\(\) from' "$log")
    [ "$mains" -gt "$started" ] && started=$mains
    finished=$(grep -acE '^\[==========\] [0-9]+ tests? from .* ran' "$log")
    if [ "$finished" -lt "$started" ] || [ "$finished" -eq 0 ]; then
        echo "   a run ended without its summary (exit $rc); see $log"
        tail -n 10 "$log" | sed 's/^/   | /'
        failed=$((failed + 1))
    elif [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
        echo "   exit code $rc after all tests passed (a sanitizer report at exit?); see $log"
        failed=1
    fi
    grep -aE '^\[  FAILED  \] [A-Za-z_][^ ]*$' "$log" | sort -u | sed 's/^/   /' | head -n 40
    echo "   $label: $passed passed, $failed failed"
    count "$passed" "$failed" "$label"
}

tier() { echo; echo "=== $*"; }

# --- which Windows programs Wine runs here
bash scripts/install-deps.sh
VELMORRA_WIN_ARCH=$(source scripts/wine-env.sh && wine_env_probe_arch && echo "$VELMORRA_WIN_ARCH" | tail -n 1)
export VELMORRA_WIN_ARCH
WINTEST=build/wintest
SETUP_TREE=build/win
if [ "$VELMORRA_WIN_ARCH" = 64 ]; then
    echo "this machine cannot run 32-bit programs: the Win32 and end-to-end tiers run the x64 twin"
    export WINEARCH=win64 VELMORRA_E2E_BUILD=$ROOT/build/win64
    WINTEST=build/wintest64
    SETUP_TREE=build/win64
fi

# --- build
tier "build"
# The 32-bit program is always built (its checks read it); its test runner only where it runs.
TREES=(host win win64 wintest wintest64 host-asan host-tsan)
[ "$VELMORRA_WIN_ARCH" = 64 ] && TREES=(host win win64 wintest64 host-asan host-tsan)
if ! bash scripts/build.sh "${TREES[@]}"; then
    echo "   (some trees did not build; the tiers below run what exists)"
    count 0 1 build
fi
mkdir -p build/logs

# --- 1. unit tests, ASan + UBSan
tier "host unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
if [ -x build/host-asan/unit_tests ]; then
    log=build/logs/unit-asan.log
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        timeout 900 build/host-asan/unit_tests --gtest_brief=1 >"$log" 2>&1
    count_gtest "$log" $? "unit tests (asan)"
else
    echo "   build/host-asan/unit_tests was not built"
    count 0 1 "unit tests (asan)"
fi

# --- 2. install thread, TSan
tier "install worker tests (ThreadSanitizer)"
if [ -x build/host-tsan/unit_tests ]; then
    log=build/logs/unit-tsan.log
    run_tsan() { TSAN_OPTIONS=halt_on_error=1 timeout 600 "$@" build/host-tsan/unit_tests --gtest_brief=1 --gtest_filter='InstallThread*:InstallPoll*:Wizard*' >"$log" 2>&1; }
    run_tsan
    rc=$?
    # Kernels with wide address randomisation break older TSan runtimes; run without it.
    if grep -q 'unexpected memory mapping' "$log"; then
        run_tsan setarch "$(uname -m)" -R
        rc=$?
    fi
    count_gtest "$log" $rc "install thread (tsan)"
else
    echo "   build/host-tsan/unit_tests was not built"
    count 0 1 "install thread (tsan)"
fi

# --- 3. Win32 tests under Wine
tier "Win32 tests under Wine"
log=build/logs/win-tests.log
if [ ! -f $WINTEST/win_tests.exe ]; then
    if compgen -G "tests/win/*.cpp" >/dev/null; then
        echo "   $WINTEST/win_tests.exe was not built"
        count 0 1 "Win32 tests"
    else
        echo "   no Win32 tests yet"
    fi
elif [ -f tests/win/run.sh ]; then
    # The runner sets up its own prefix (a removable drive, time zones); the embedded-archive
    # test reads the built setup program and the folder it was packed from.
    archive=()
    if [ -f $SETUP_TREE/VelmorraSetup.exe ]; then
        archive=(VELMORRA_SETUP_EXE="$ROOT/$SETUP_TREE/VelmorraSetup.exe"
                 VELMORRA_PAYLOAD_DIR="${VELMORRA_PAYLOAD_DIR:-$ROOT/$SETUP_TREE/payload}")
    fi
    env "${archive[@]}" timeout 1500 bash tests/win/run.sh $WINTEST/win_tests.exe --gtest_brief=1 \
        >"$log" 2>&1 </dev/null
    count_gtest "$log" $? "Win32 tests"
else
    (
        source scripts/wine-env.sh
        trap wine_env_cleanup EXIT
        wine_env_init && timeout 1500 wine $WINTEST/win_tests.exe --gtest_brief=1
    ) >"$log" 2>&1 </dev/null
    count_gtest "$log" $? "Win32 tests"
fi

# --- 4 and 5. scripts: one test each
run_scripts() {  # label glob...
    local label=$1 any=0 script name rc
    shift
    for script in "$@"; do
        [ -f "$script" ] || continue
        any=1
        name=$(basename "$script" .sh)
        log=build/logs/$label-$name.log
        timeout 900 bash "$script" >"$log" 2>&1 </dev/null
        rc=$?
        if [ $rc -eq 0 ]; then
            echo "   ok     $script"
            count 1 0 "$script"
        elif [ $rc -eq 77 ]; then
            echo "   skip   $script: $(grep -m1 '^skipped: ' "$log" | sed 's/^skipped: //')"
            SKIPPED=$((SKIPPED + 1))
        else
            echo "   FAILED $script (exit $rc), see $log"
            tail -n 15 "$log" | sed 's/^/   | /'
            count 0 1 "$script"
        fi
    done
    [ $any -eq 1 ] || echo "   none"
}

tier "end-to-end tests"
run_scripts e2e tests/e2e/*.sh

tier "checks"
run_scripts check tests/checks/*.sh

echo
if [ ${#FAILURES[@]} -gt 0 ]; then
    echo "Failed: ${FAILURES[*]}"
fi
echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
[ "$FAILED" -eq 0 ]
