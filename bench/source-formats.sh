#!/usr/bin/env bash
# Pass-through of sources that keep their own container, beside `ffmpeg -c copy` of the same range in
# the same run: a 10-minute Matroska file MPEG-4 cannot hold (the 1080p H.264 source with FLAC sound),
# a 10-minute FLAC (cut to the sample: its two boundary frames are encoded anew), a 10-minute MP3 and a
# 10-minute Ogg Opus. Usage: bench/source-formats.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

require_long
mkv="$media/1080p-10min-flac.mkv"
[ -f "$mkv" ] || ffmpeg -nostdin -v error -i "$long" -c:v copy -c:a flac -y "$mkv"
audio() { # $1 extension, $2 codec and options
  local file="$media/music-600s-copy.$1"
  # shellcheck disable=SC2086
  [ -f "$file" ] || ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:d=600" -f lavfi -i "anoisesrc=d=600:a=0.1" \
    -filter_complex "[0][1]amerge=inputs=2" -ar 48000 $2 -y "$file"
  echo "$file"
}

# One piece of 90 s, 100 s to 190 s.
run() { # $1 label, $2 source, $3 extension
  local ours peer
  ours=$(best 3 "$cli" -i "$2" -o "$media/out/copy.$3" --clear -c 100 -c 190)
  peer=$(best 3 ffmpeg -nostdin -v error -ss 100 -to 190 -i "$2" -c copy -y "$media/out/copy-peer.$3")
  report "$1" "$ours" "$peer" "target <= 1.20"
}
run "pass-through, 90 s of a 10-min MKV (1080p)" "$mkv" mkv
run "pass-through, 90 s of a 10-min FLAC" "$(audio flac "-c:a flac")" flac
run "pass-through, 90 s of a 10-min MP3" "$(audio mp3 "-c:a libmp3lame -b:a 192k")" mp3
run "pass-through, 90 s of a 10-min Opus" "$(audio opus "-c:a libopus -b:a 128k")" opus
