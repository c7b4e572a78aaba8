#!/usr/bin/env bash
# Sets everything up and runs every test: a short fuzz run of each binary
# reader, the core tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# the search's thread tests and the compare beside a search under
# ThreadSanitizer, then the whole suite.
# Without the archive corpus (README.md, "Test corpus") the tests that read
# it skip, and each run says how many did.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps

export QT_QPA_PLATFORM=offscreen

# Runs ctest in a build folder, then counts the tests that skipped with the
# corpus's missing line (archive_tests_without_corpus points at an empty
# "no-corpus" folder on purpose and is left out of the count).
run_ctest() {
  local dir=$1 status=0 skipped
  shift
  ctest --test-dir "$dir" --output-on-failure -j 2 "$@" || status=$?
  skipped=$(grep -F 'archive corpus not found at' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null |
    grep -vc '/no-corpus ' || true)
  if [ "${skipped:-0}" -gt 0 ]; then
    echo "== $skipped corpus tests skipped: the archive corpus was not found (README.md, \"Test corpus\")"
  else
    echo "== every corpus test ran"
  fi
  return "$status"
}

echo "== fuzz (short run)"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash scripts/fuzz.sh

echo "== core tests with sanitizers"
quillon_build build/asan -DQUILLON_SANITIZE=ON -DQUILLON_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan

# The search worker and the main thread share records, file chains and the
# found lists: their tests run under ThreadSanitizer, and so does the compare
# that reads the tree beside a walking search. Only the core, the search and
# the compare tests are built. The hand-over between the two threads is a standard
# mutex and an eventfd, which the checker sees; the suppressions hold only
# what Qt does inside its own library when a QThread ends.
echo "== search threads under ThreadSanitizer"
if [ ! -f build/tsan/build.ninja ]; then
  cmake -S . -B build/tsan -G Ninja -DQUILLON_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
fi
cmake --build build/tsan --target search_tests compare_tests -j "$(nproc)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  build/tsan/tests/search_tests --gtest_brief=1 --gtest_filter='SearchThread*:FoundListThreads*:DupWalkThreads*'
# The compare and the check read the tree in the main thread while a search walks it.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  build/tsan/tests/compare_tests --gtest_brief=1 --gtest_filter='CheckCases.CompareAndCheckWhileASearchWalks'

echo "== all tests"
quillon_build build
run_ctest build
