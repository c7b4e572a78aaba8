#!/usr/bin/env bash
# Sets everything up and runs every test: a short fuzz run of each binary
# reader, the core tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps

export QT_QPA_PLATFORM=offscreen

echo "== fuzz (short run)"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash scripts/fuzz.sh

echo "== core tests with sanitizers"
quillon_build build/asan -DQUILLON_SANITIZE=ON -DQUILLON_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j 2

echo "== all tests"
quillon_build build
ctest --test-dir build --output-on-failure -j 2
