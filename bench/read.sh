#!/usr/bin/env bash
# Composition reading: three kept ranges of a 10-minute 1080p H.264 file decoded (video and audio),
# beside ffmpeg decoding the same ranges to a null output; and peak memory as the source grows.
# Usage: bench/read.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh
bench="$build/bench/clipwell_bench"
require_long
short="$media/1080p-1min.mp4"
[ -f "$short" ] || ffmpeg -nostdin -v error -i "$long" -t 60 -c copy -y "$short"

ours=$(best 2 "$bench" read "$long" 60 70 300 310 500 510)
peer=$(best 2 ffmpeg -nostdin -v error -ss 60 -to 70 -i "$long" -ss 300 -to 310 -i "$long" -ss 500 -to 510 -i "$long" \
  -map 0 -map 1 -map 2 -f null -)
report "read 3 × 10 s of 1080p (decode only)" "$ours" "$peer" "target <= 1.10"
echo "--- peak memory reading three 10 s ranges (MB)"
echo "1-minute source:  $(peak "$bench" read "$short" 5 15 25 35 45 55)"
echo "10-minute source: $(peak "$bench" read "$long" 60 70 300 310 500 510)   (flat)"
