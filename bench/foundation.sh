#!/usr/bin/env bash
# Foundation benchmarks: opening a file, exact thumbnails and frame timing, each beside a peer on the
# same input in the same run. Usage: bench/foundation.sh [build folder]. Media is made once in bench/media.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
bench="$build/bench/clipwell_bench"
[ -x "$bench" ] || { echo "build first: cmake --build $build"; exit 1; }
. bench/common.sh

if [ ! -f "$long" ]; then
  echo "making $long (10 minutes of 1080p H.264, keyframe every 2 s)..."
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=1920x1080:r=25:d=600" -f lavfi -i "sine=d=600" \
    -c:v libx264 -preset ultrafast -g 50 -keyint_min 50 -sc_threshold 0 -c:a aac -b:a 128k \
    -metadata title="Benchmark" -y "$long"
fi
many="$media/100k-frames.mp4"
if [ ! -f "$many" ]; then
  echo "making $many (100,000 frames)..."
  ffmpeg -nostdin -v error -f lavfi -i "testsrc=s=64x36:r=50:d=2000" -c:v libx264 -preset ultrafast -bf 2 -y "$many"
fi

ours=$(best 5 "$bench" open "$long")
peer=$(best 5 ffprobe -v error -show_format -show_streams "$long")
report "open + tracks + duration + metadata" "$ours" "$peer" "target <= 1.00"

duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$long")
peer_thumbs() {
  local out; out=$(mktemp -d)
  for i in $(seq 0 29); do
    local t; t=$(awk -v d="$duration" -v i="$i" -v o="$offset" 'BEGIN { printf "%.6f", i * d / 30 + o }')
    ffmpeg -nostdin -v error -ss "$t" -i "$long" -frames:v 1 -vf "scale=300:-2" -y "$out/$i.png"
  done
  rm -rf "$out"
}
# 1.5 s past each keyframe, so that every exact frame needs decoding from the keyframe before it.
offset=1.5
ours=$(best 3 "$bench" thumbnails "$long" 30 "$offset")
peer=$(best 3 peer_thumbs)
report "30 exact thumbnails, 300 px" "$ours" "$peer" "target <= 0.50"

ours=$(best 5 "$bench" frametiming "$many")
peer=$(best 3 ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv "$many")
report "frame timing of 100,000 frames (process)" "$ours" "$peer" "in-process target < 0.1 s"
"$bench" frametiming "$many" | head -1

echo "--- project (editing model)"
"$bench" project "$long" | head -2
"$bench" project "$many" | head -2

echo "--- film strip tiles (1920-pixel strip, ten cuts; median of 101)"
"$bench" tiles "$long" | head -1
