#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time:
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default 30 s; all four targets)
#
# TARGET is filter, img, ppd or preview. Each target starts from its seeds in
# fuzz/corpus/fuzz_<target> (never written to) and keeps what it finds in
# build-fuzz/corpus/fuzz_<target>, so later runs go on from there. A crash, a
# failed check, a leak or a run of more than 10 s on one input stops that
# target; the input is left in build-fuzz/artifacts/ and the script fails
# after the other targets have run. FUZZ_BUILD_DIR changes the build tree;
# extra libFuzzer flags can be given in FUZZ_FLAGS (e.g. "-fork=2" for one
# target on both cores).
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=${*:-filter img ppd preview}
build=${FUZZ_BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S fuzz -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

max_len() {
    case $1 in
        filter) echo 16384 ;;  # a few pages of raster with their headers
        img) echo 16384 ;;
        ppd) echo 32768 ;;     # the driver's PPDs are about 20 kB
        preview) echo 8192 ;;
    esac
}

failed=
for t in $targets; do
    corpus=$build/corpus/fuzz_$t
    mkdir -p "$corpus" "$build/artifacts"
    log=$build/fuzz_$t.log
    echo "fuzz_$t: $seconds s"
    # -close_fd_mask=2 silences the filter's messages on standard error;
    # libFuzzer and the sanitizers keep reporting on a copy of it.
    if "$build/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="$(max_len "$t")" -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/fuzz_$t-" ${FUZZ_FLAGS:-} \
        "$corpus" "fuzz/corpus/fuzz_$t" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        # -fork=N prints no final stats: its last progress line counts.
        [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
        cov=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -1 | sed 's/.*\(cov: [0-9]*\).*/\1/')
        echo "  ok: $runs inputs run, $cov, corpus $(ls "$corpus" | wc -l) files"
    else
        echo "  FAILED: see $log; inputs in $build/artifacts/"
        grep -E 'ERROR|fuzz_[a-z]+:|runtime error|SUMMARY' "$log" | head -10 | sed 's/^/  /'
        failed="$failed $t"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzzing found problems in:$failed"
    exit 1
fi
