#!/usr/bin/env bash
# H.264 and HEVC export benchmarks: one minute of a 1080p source through clipwell_cli beside ffmpeg
# with the same encoder, preset, quality and audio settings on the same range; output sizes and peak
# memory. Usage: bench/video.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh
require_long
short=$(short_source)

size() { stat -c %s "$1"; }
for codec in h264 h265; do
  if [ $codec = h264 ]; then enc=(-c:v libx264 -preset medium -crf 18 -profile:v high); else enc=(-c:v libx265 -preset medium -crf 20 -tag:v hvc1 -x265-params log-level=error); fi
  ours=$(best 1 "$cli" -i "$long" -o "$media/out/$codec.mp4" -p $codec --clear -c 100 -c 160)
  peer=$(best 1 ffmpeg -nostdin -v error -ss 100 -to 160 -i "$long" "${enc[@]}" -c:a aac -b:a 128k -y "$media/out/$codec-peer.mp4")
  report "$codec, 60 s of 1080p" "$ours" "$peer" "target <= 1.10"
  echo "  output size: ours $(size "$media/out/$codec.mp4") bytes, peer $(size "$media/out/$codec-peer.mp4") bytes, ratio $(ratio "$(size "$media/out/$codec.mp4")" "$(size "$media/out/$codec-peer.mp4")") (target within 5 %)"
done
echo "--- peak memory of an H.264 export of 10 s (MB)"
echo "2-minute source:  $(peak "$cli" -i "$short" -o "$media/out/m2.mp4" -p h264 --clear -c 60 -c 70)"
echo "10-minute source: $(peak "$cli" -i "$long" -o "$media/out/m10.mp4" -p h264 --clear -c 60 -c 70)   (target < 400, flat)"
