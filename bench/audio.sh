#!/usr/bin/env bash
# Audio export benchmarks beside the peers on the same input in the same run: MP3 against
# `lame -q 0 -b 320` on the decoded WAV, FLAC and Apple Lossless against ffmpeg with the same encoder,
# QOA's encoding rate, and MP3 from a 1080p video against decoding that video.
# Usage: bench/audio.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

music="$media/music-10min.wav"
[ -f "$music" ] || ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:d=600" -f lavfi -i "anoisesrc=d=600:a=0.1" \
  -filter_complex "[0][1]amerge=inputs=2" -ar 44100 -c:a pcm_s16le -y "$music"

ours=$(best 1 "$cli" -i "$music" -o "$media/out/music.mp3" -p lame)
peer=$(best 1 lame --quiet -q 0 -b 320 "$music" "$media/out/music-peer.mp3")
report "MP3 320 kbit/s, 10 min stereo" "$ours" "$peer" "target <= 1.10"

ours=$(best 2 "$cli" -i "$music" -o "$media/out/music.flac" -p flac)
peer=$(best 2 ffmpeg -nostdin -v error -i "$music" -c:a flac -y "$media/out/music-peer.flac")
report "FLAC, 10 min stereo" "$ours" "$peer" "target <= 1.10"

ours=$(best 2 "$cli" -i "$music" -o "$media/out/music.m4a" -p alac)
peer=$(best 2 ffmpeg -nostdin -v error -i "$music" -c:a alac -y "$media/out/music-peer.m4a")
report "Apple Lossless, 10 min stereo" "$ours" "$peer" "target <= 1.10"

"$build/bench/clipwell_bench" qoa 600 | head -1 | sed 's/^/QOA encoder, one core: /'
echo "  (target: at least the published reference encoder's ~5,000,000 stereo sample frames per second)"

if [ -f "$long" ]; then
  ours=$(best 1 "$cli" -i "$long" -o "$media/out/video.mp3" -p lame --clear -c 540)
  peer=$(best 1 ffmpeg -nostdin -v error -ss 540 -i "$long" -an -f null -)
  report "MP3 of 60 s of a 1080p video vs decoding it" "$ours" "$peer" "target <= 0.20"
fi
