#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/) and runs the whole
# test suite, then the tests of queues, exporters and sessions with ThreadSanitizer (build-tsan/).
# Usage: scripts/sanitize.sh [asan|tsan|both]   (default both)
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-both}"
root=$(pwd)
bash scripts/setup.sh

if [ "$which" != tsan ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPWELL_SANITIZE=address,undefined
  cmake --build build-asan --parallel "$(nproc)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp" \
    ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" --timeout 900
fi
if [ "$which" != asan ]; then
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCLIPWELL_SANITIZE=thread
  cmake --build build-tsan --parallel "$(nproc)"
  TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/sanitizers/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure --timeout 900 \
      -R 'platform_queue_tests|engine_model_tests|engine_composition_tests|platform_writer_tests|cli_end_to_end_tests|cli_audio_tests'
fi
