#!/bin/sh
# Builds the project and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole test suite on that build:
#
#   scripts/sanitize.sh [ctest arguments...]
#
# Any sanitizer report ends the process that made it with an error, so a
# test whose program (the filter, the preview tool or a test binary) reads a
# byte it shouldn't, leaks, or does something undefined fails.
# SANITIZE_BUILD_DIR changes the build tree (default build-asan).
set -eu
cd "$(dirname "$0")/.."
build=${SANITIZE_BUILD_DIR:-build-asan}
jobs=$(nproc)

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# AddressSanitizer's crypt_r interceptor finds the real crypt_r only in a
# library loaded at start: PAM's pam_unix brings libcrypt in later, and a
# password check then calls a null function. So the programs load it.
link="$sanitize -Wl,--no-as-needed,-lcrypt,--as-needed"
# -O1 keeps the build short and the stacks readable; warnings are the
# normal build's business.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARIDIRAVID_WERROR=OFF \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
    -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j"$jobs"

# Reports go to standard error with the process's id; a failing test shows
# them. The filter's children (cupsfilter and cupsd start it) inherit these.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
# Full stacks for every allocation, so that the suppressions can name the
# library function behind a leak that is not ours.
export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="${LSAN_OPTIONS:-}${LSAN_OPTIONS:+:}suppressions=$(pwd)/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}${UBSAN_OPTIONS:+:}print_stacktrace=1:halt_on_error=1"
# The load test with 2,000 jobs (the normal run has 200).
export ZARIDIRAVID_LOAD_JOBS="${ZARIDIRAVID_LOAD_JOBS:-2000}"
# 5,000 hostile requests (the normal run sends 20,000): at the sanitizers'
# pace 20,000 take minutes and keep thousands of jobs for the next clean.
export ZARIDIRAVID_HOSTILE_REQUESTS="${ZARIDIRAVID_HOSTILE_REQUESTS:-5000}"
# Not the package in service with its driverless CUPS queue: it would
# install the package this build makes, and at the sanitizers' pace PAPPL
# 1.3 can throw away a job CUPS sends (see the README); the normal run has it.
ctest --test-dir "$build" --output-on-failure -j"$jobs" -E '^app\.package_in_service$' "$@"
