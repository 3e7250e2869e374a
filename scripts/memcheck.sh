#!/bin/sh
# Runs the tests that start the filter (CTest label "filter": whole jobs,
# pages cut short, refused and cancelled, write errors, job options) with
# every filter run under valgrind's memcheck:
#
#   scripts/memcheck.sh [BUILD_DIR]     (default build, as scripts/test.sh leaves it)
#
# The tests start the filter through $ZARIDIRAVID_WRAPPER. A read of an
# uninitialised or freed byte, an uninitialised byte written to the printer
# (memcheck checks the buffers of the write calls) or a leaked block ends the
# run with status 99 and memcheck's report among the filter's messages,
# which the tests compare whole. The sanitizer build (scripts/sanitize.sh)
# can't be used here: valgrind and the address sanitizer don't run together.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
export ZARIDIRAVID_WRAPPER="valgrind -q --error-exitcode=99 --track-origins=yes --leak-check=full \
--errors-for-leak-kinds=definite"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L '^filter$'
