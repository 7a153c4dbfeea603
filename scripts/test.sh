#!/usr/bin/env bash
# Sets up the machine, builds Clipwell and runs every test. Usage: scripts/test.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
