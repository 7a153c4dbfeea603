#!/usr/bin/env bash
# Export benchmarks: pass-through, M4A and low-quality exports through clipwell_cli beside ffmpeg doing
# the same work on the same input and range, plus peak memory. Usage: bench/export.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

require_long
short=$(short_source)

# One 90-second piece, 100 s to 190 s.
ours=$(best 3 "$cli" -i "$long" -o "$media/out/pass.mp4" --clear -c 100 -c 190)
peer=$(best 3 ffmpeg -nostdin -v error -ss 100 -to 190 -i "$long" -c copy -y "$media/out/pass-peer.mp4")
report "pass-through, 90 s of 1080p H.264" "$ours" "$peer" "target <= 1.10"

# Ten kept pieces of 20 s (a piece every minute) joined into one file, beside ffmpeg copying the same
# 200 s in one run; then the peak memory for 2, 10 and 40 pieces of the same total length.
pieces() { # with --clear, each pair of times is a kept range: $1 pieces of 200/$1 s spread over the 600 s
  local n=$1 k
  for k in $(seq 0 $((n - 1))); do
    awk -v k="$k" -v n="$n" 'BEGIN { printf "-c %g -c %g ", k * 600 / n, k * 600 / n + 200 / n }'
  done
}
# shellcheck disable=SC2046
ours=$(best 3 "$cli" -i "$long" -o "$media/out/pieces.mp4" --clear $(pieces 10))
peer=$(best 3 ffmpeg -nostdin -v error -t 200 -i "$long" -c copy -y "$media/out/pieces-peer.mp4")
report "pass-through, ten pieces joined (200 s)" "$ours" "$peer" "target <= 1.20"
for n in 2 10 40; do
  # shellcheck disable=SC2046
  echo "peak memory, $n pieces joined: $(peak "$cli" -i "$long" -o "$media/out/pieces.mp4" -y --clear $(pieces "$n")) MB (flat in the pieces)"
done

ours=$(best 3 "$cli" -i "$long" -o "$media/out/audio.m4a" -p m4a --clear -c 100 -c 190)
peer=$(best 3 ffmpeg -nostdin -v error -ss 100 -to 190 -i "$long" -vn -c:a aac -b:a 128k -y "$media/out/audio-peer.m4a")
report "M4A (AAC 128 kbit/s mono source), 90 s" "$ours" "$peer" "target <= 1.10"

ours=$(best 1 "$cli" -i "$long" -o "$media/out/low.mp4" -p low --clear -c 100 -c 130)
peer=$(best 1 ffmpeg -nostdin -v error -ss 100 -to 130 -i "$long" -vf scale=320:180 -c:v libx264 -profile:v baseline \
  -preset veryfast -crf 28 -c:a aac -ac 1 -b:a 64k -y "$media/out/low-peer.mp4")
report "low quality, 30 s of 1080p" "$ours" "$peer" "target <= 1.10"

echo "--- peak memory of a pass-through export (MB)"
echo "2-minute source:  $(peak "$cli" -i "$short" -o "$media/out/pass2.mp4" -c 10 -c 20)"
echo "10-minute source: $(peak "$cli" -i "$long" -o "$media/out/pass10.mp4" -c 10 -c 20)   (target < 150, flat)"
