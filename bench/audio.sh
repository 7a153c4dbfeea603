#!/usr/bin/env bash
# Audio export benchmarks beside the peers on the same input in the same run, for a 30-second and a
# 10-minute source (start-up included): MP3 against `lame -q 0 -b 320` on the same WAV; FLAC, Apple
# Lossless and M4A against ffmpeg with the same encoder (M4A at the preset's 256 kbit/s for stereo);
# the same from a FLAC and an AIFF source; QOA end to end (reading included) as stereo sample frames
# per second; and MP3 from a 1080p video against decoding that video.
# Usage: bench/audio.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

music() { # $1 seconds, $2 extension, $3 codec
  local file="$media/music-$1s.$2"
  [ -f "$file" ] || ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:d=$1" -f lavfi -i "anoisesrc=d=$1:a=0.1" \
    -filter_complex "[0][1]amerge=inputs=2" -ar 44100 -c:a "$3" -y "$file"
  echo "$file"
}

for seconds in 30 600; do
  label="$(awk -v s="$seconds" 'BEGIN { print (s < 60 ? s " s" : s / 60 " min") }') stereo"
  runs=$([ "$seconds" -lt 60 ] && echo 5 || echo 2)
  wav=$(music "$seconds" wav pcm_s16le)
  echo "--- $label"
  ours=$(best 1 "$cli" -i "$wav" -o "$media/out/music.mp3" -p lame -y)
  peer=$(best 1 lame --quiet -q 0 -b 320 "$wav" "$media/out/music-peer.mp3")
  report "MP3 320 kbit/s from WAV, $label" "$ours" "$peer" "target <= 1.10"
  for source in "$wav" "$(music "$seconds" flac flac)" "$(music "$seconds" aiff pcm_s16be)"; do
    kind="${source##*.}"
    kind="${kind^^}"
    ours=$(best "$runs" "$cli" -i "$source" -o "$media/out/music.flac" -p flac -y)
    peer=$(best "$runs" ffmpeg -nostdin -v error -i "$source" -c:a flac -y "$media/out/music-peer.flac")
    report "FLAC from $kind, $label" "$ours" "$peer" "target <= 1.10"
    ours=$(best "$runs" "$cli" -i "$source" -o "$media/out/music.m4a" -p alac -y)
    peer=$(best "$runs" ffmpeg -nostdin -v error -i "$source" -c:a alac -y "$media/out/music-peer.m4a")
    report "Apple Lossless from $kind, $label" "$ours" "$peer" "target <= 1.10"
  done
  ours=$(best 1 "$cli" -i "$wav" -o "$media/out/music-aac.m4a" -p m4a -y)
  peer=$(best 1 ffmpeg -nostdin -v error -i "$wav" -c:a aac -b:a 256k -y "$media/out/music-aac-peer.m4a")
  report "M4A (AAC 256 kbit/s) from WAV, $label" "$ours" "$peer" "target <= 1.10"
  ours=$(best "$runs" "$cli" -i "$wav" -o "$media/out/music.qoa" -p qoa -y)
  echo "QOA from WAV, $label: $(awk -v s="$seconds" -v t="$ours" 'BEGIN { printf "%.1f", s * 44100 / t / 1e6 }') million stereo sample frames per second end to end (target >= 5)"
done

"$build/bench/clipwell_bench" qoa 600 | head -1 | sed 's/^/QOA encoder alone, one core: /'

if [ -f "$long" ]; then
  ours=$(best 1 "$cli" -i "$long" -o "$media/out/video.mp3" -p lame --clear -c 540 -y)
  peer=$(best 1 ffmpeg -nostdin -v error -ss 540 -i "$long" -an -f null -)
  report "MP3 of 60 s of a 1080p video vs decoding it" "$ours" "$peer" "target <= 0.20"
fi
