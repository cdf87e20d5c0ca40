#!/usr/bin/env bash
# A short, bounded fuzzing run of the archive reader, the "Install.log" reader and the
# "Update.log" merge (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer), built with clang
# in build/fuzz. Each target starts from its seeds in tests/fuzz/corpus/<target>/; what it learns
# is kept in build/fuzz/corpus/<target>/ for the next run, and an input that fails is saved in
# build/fuzz/artifacts/ (replay it: build/fuzz/tests/fuzz/fuzz_<target> <file>).
#
# The mutations follow a fixed seed, so a run from a fresh clone repeats the same inputs and a
# gate never fails on a draw; FUZZ_SEED=0 lets libFuzzer draw one, to explore (then keep what
# fails as a seed in tests/fuzz/corpus/<target>/).
#
#   bash tests/checks/fuzz.sh [seconds per target]     default 20, or FUZZ_SECONDS
set -uo pipefail
cd "$(dirname "$0")/../.."
SECONDS_EACH=${1:-${FUZZ_SECONDS:-20}}
SEED=${FUZZ_SEED:-20261209}
BUILD=build/fuzz
TARGETS=(archive install_log update_log)

mkdir -p "$BUILD/artifacts"
if ! { CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DVELMORRA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$BUILD" -j"${JOBS:-2}" --target "${TARGETS[@]/#/fuzz_}"; } >"$BUILD/build.log" 2>&1; then
    echo "fuzz: the fuzz targets did not build; see $BUILD/build.log"
    grep -E 'error' "$BUILD/build.log" | head -10
    exit 1
fi

failed=0
for target in "${TARGETS[@]}"; do
    mkdir -p "$BUILD/corpus/$target"
    log=$BUILD/$target.log
    "$BUILD/tests/fuzz/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -seed="$SEED" \
        -artifact_prefix="$BUILD/artifacts/$target-" "$BUILD/corpus/$target" "tests/fuzz/corpus/$target" \
        >"$log" 2>&1
    rc=$?
    runs=$(grep -oE '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1)
    if [ $rc -eq 0 ]; then
        echo "fuzz: $target: ${runs:-no summary}, corpus $(ls "$BUILD/corpus/$target" | wc -l) inputs"
    else
        failed=1
        echo "fuzz: $target FAILED (exit $rc); see $log"
        grep -aE '^fuzz: |runtime error|ERROR: |SUMMARY|Test unit written' "$log" | head -n 8 | sed 's/^/   /'
    fi
done
exit $failed
