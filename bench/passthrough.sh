#!/usr/bin/env bash
# Pass-through in its default (exact) mode on a long-GOP source: ten kept pieces of a 10-minute 1080p
# H.264 file with B-frames and a keyframe every 4 s, the pieces beginning at points spread evenly over
# the keyframe interval (0.2 s, 0.6 s, … 3.8 s after a keyframe; 2 s encoded anew on average), beside
# `ffmpeg -c copy` of the same kept length and beside a full libx264 re-encode of it (the preset the
# pictures at the cuts are encoded with), in one run; then the peak memory for 2, 10 and 40 pieces.
# Usage: bench/passthrough.sh [build folder]. The source is made once in bench/media.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

source="$media/1080p-10min-gop4.mp4"
if [ ! -f "$source" ]; then
  echo "making $source (10 minutes of 1080p H.264, B-frames, keyframe every 4 s)..."
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=1920x1080:r=25:d=600" -f lavfi -i "sine=d=600" \
    -c:v libx264 -preset ultrafast -bf 3 -g 100 -keyint_min 100 -sc_threshold 0 -c:a aac -b:a 128k -y "$source"
fi

# With --clear, each pair of times is a kept range: $1 pieces of 200/$1 s spread over the 600 s, piece
# k beginning 0.2 + 0.4 (k mod 10) s after a keyframe.
pieces() {
  local n=$1 k
  for k in $(seq 0 $((n - 1))); do
    awk -v k="$k" -v n="$n" 'BEGIN { s = int(k * 600 / n / 4) * 4 + 0.2 + 0.4 * (k % 10); printf "-c %g -c %g ", s, s + 200 / n }'
  done
}

# shellcheck disable=SC2046
ours=$(best 1 "$cli" -i "$source" -o "$media/out/exact.mp4" -y --clear $(pieces 10))
copy=$(best 1 ffmpeg -nostdin -v error -ss 100 -t 200 -i "$source" -c copy -y "$media/out/exact-copy.mp4")
encode=$(best 1 ffmpeg -nostdin -v error -ss 100 -t 200 -i "$source" -c:v libx264 -preset veryfast -crf 9 -tune psnr \
  -c:a copy -y "$media/out/exact-encode.mp4")
report "exact, ten pieces (200 s) vs ffmpeg -c copy" "$ours" "$copy" "the cost of the pictures at the cuts"
report "exact, ten pieces (200 s) vs full re-encode" "$ours" "$encode" "target <= 0.15"
for n in 2 10 40; do
  # shellcheck disable=SC2046
  echo "peak memory, $n pieces joined: $(peak "$cli" -i "$source" -o "$media/out/exact.mp4" -y --clear $(pieces "$n")) MB (flat in the pieces)"
done
