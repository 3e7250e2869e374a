#!/bin/sh
# Sets everything up and runs every test: scripts/test.sh
#   1. the build with warnings as errors, and the whole suite (CTest);
#   2. the suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the filter under valgrind memcheck on jobs of every kind;
#   4. each fuzz target for FUZZ_SECONDS (default 30).
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARIDIRAVID_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
sh scripts/sanitize.sh
sh scripts/memcheck.sh build
sh scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
