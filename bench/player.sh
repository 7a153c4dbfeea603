#!/usr/bin/env bash
# The player: exact seeks, playback and memory, beside ffmpeg doing the same decoding in the same run.
#  - 50 random exact seeks in a 10-minute 1080p H.264 file with 250-frame keyframe intervals: the median
#    time from the request to the frame on screen, against ffmpeg decoding from the preceding keyframe to
#    that frame (`-ss T -frames:v 1`, less its start-up: the same command at time 0).
#  - A 3-second drag across a 1-minute 1080p30 file with 300-frame keyframe intervals: picture updates per
#    second (target at least 8), against ffmpeg showing a picture for each of the drag's 180 pointer spots
#    by its quickest way (a seek to the keyframe before it, `-ss T -noaccurate_seek -frames:v 1`).
#  - 60 s of 1080p30 played on the system clock: frames dropped, and CPU time against
#    `ffmpeg -pix_fmt bgra -f null -` over the same minute.
#  - Peak memory while playing 20 s of a 2-hour 1080p file (made by bench/load.sh), else of the 10-minute one.
# Usage: bench/player.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh
bench="$build/bench/clipwell_bench"
require_long

gop="$media/1080p-10min-gop250.mp4"
if [ ! -f "$gop" ]; then
  piece="$media/gop250-2min.mp4"
  [ -f "$piece" ] || ffmpeg -nostdin -v error -y -i "$long" -t 120 -an -c:v libx264 -preset superfast -g 250 -keyint_min 250 \
    -sc_threshold 0 "$piece"
  list="$media/out/gop250.txt"
  for _ in 1 2 3 4 5; do echo "file '$piece'"; done >"$list"
  ffmpeg -nostdin -v error -y -f concat -safe 0 -i "$list" -c copy "$gop"
fi
times=$(awk 'BEGIN { srand(7); for (i = 0; i < 50; i++) printf "%.3f ", rand() * 598 }')
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# shellcheck disable=SC2086
ours=$("$bench" seek "$gop" $times | awk '/^seek/ { print $3 / 1000 }' | median)
startup=$(best 3 ffmpeg -nostdin -v error -ss 0 -i "$gop" -frames:v 1 -f null -)
peer=$(for t in $times; do
  d=$(best 1 ffmpeg -nostdin -v error -ss "$t" -i "$gop" -frames:v 1 -f null -)
  awk -v d="$d" -v s="$startup" 'BEGIN { print (d - s > 0.001 ? d - s : 0.001) }'
done | median)
report "exact seek, median of 50 (1080p, 250-frame GOP)" "$ours" "$peer" "target <= 1.0"

scrub="$media/1080p30-1min-gop300.mp4"
[ -f "$scrub" ] || ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=60 -c:v libx264 \
  -preset superfast -g 300 -keyint_min 300 -sc_threshold 0 -pix_fmt yuv420p "$scrub"
line=$(QT_QPA_PLATFORM=offscreen "$bench" scrub "$scrub" 3 | grep '^scrub')
echo "$line"
ours=$(echo "$line" | awk '{ print $7 }')
start=$(now)
for i in $(seq 0 179); do
  ffmpeg -nostdin -v error -ss "$(awk -v i="$i" 'BEGIN { print i / 3 }')" -noaccurate_seek -i "$scrub" -frames:v 1 -f null - 2>/dev/null
done
peer=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.1f", 180 / (b - a) }')
printf '%-44s ours %8.1f /s  peer %8.1f /s  ratio %s (target: at least 8 per second)\n' "picture updates while dragging (1080p)" \
  "$ours" "$peer" "$(ratio "$ours" "$peer")"

minute="$media/1080p30-1min.mp4"
[ -f "$minute" ] || ffmpeg -nostdin -v error -y -i "$long" -t 60 -vf fps=30 -an -c:v libx264 -preset superfast "$minute"
read -r _ shown _ dropped _ cpu < <("$bench" play "$minute" 0 59.9 | head -1)
peer=$( { /usr/bin/time -f "%U %S" ffmpeg -nostdin -v error -i "$minute" -pix_fmt bgra -f null - ; } 2>&1 | tail -1 | awk '{ print $1 + $2 }')
echo "playback, 60 s of 1080p30: $shown frames shown, $dropped dropped (target 0)"
report "playback CPU seconds, 60 s of 1080p30" "$cpu" "$peer" "target <= 1.30"

big="$media/1080p-2h-light.mp4"
[ -f "$big" ] || big="$long"
echo "peak memory playing 20 s of $(basename "$big"): $(peak "$bench" play "$big" 3000 20) MB (target < 300)"
