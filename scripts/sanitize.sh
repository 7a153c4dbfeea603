#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/) and runs the whole
# test suite, then builds with ThreadSanitizer (build-tsan/) and runs the whole suite again. The tools
# run under test are sanitized too, so a report inside clipwell_cli fails the test that ran it.
# Usage: scripts/sanitize.sh [asan|tsan|both]   (default both)
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-both}"
root=$(pwd)
bash scripts/setup.sh

if [ "$which" != tsan ]; then
  # Full stacks for every allocation: the media libraries have no frame pointers, and leak reports
  # (and their suppressions) need the frames above them.
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPWELL_SANITIZE=address,undefined -DCLIPWELL_BENCH=OFF
  cmake --build build-asan --parallel "$(nproc)"
  ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp" \
    bash scripts/with-display-and-audio.sh ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" --timeout 900
fi
if [ "$which" != asan ]; then
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPWELL_SANITIZE=thread -DCLIPWELL_BENCH=OFF
  cmake --build build-tsan --parallel "$(nproc)"
  TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/sanitizers/tsan.supp" \
    bash scripts/with-display-and-audio.sh ctest --test-dir build-tsan --output-on-failure --parallel "$(nproc)" --timeout 1800
fi
