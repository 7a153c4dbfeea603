#!/usr/bin/env bash
# Sets up the machine, builds Clipwell and runs every test: the whole suite in a normal build, then
# again under AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer
# (scripts/sanitize.sh). Usage: scripts/test.sh [build folder]
# CLIPWELL_QUICK_TEST=1 runs the normal build only (a few minutes instead of about half an hour).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

bash scripts/setup.sh
bash scripts/check-format.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
bash scripts/check-layers.sh "$build"
# The GUI tests need a real X server and a real audio server: the wrapper starts both for the run.
bash scripts/with-display-and-audio.sh ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
if [ "${CLIPWELL_QUICK_TEST:-0}" != 1 ]; then
  bash scripts/sanitize.sh both
fi
