#!/usr/bin/env bash
# The editing window, on a display of its own (Xvfb), beside ffmpeg where there is a peer:
#  - opening the 10-minute 1080p file: median of 5 launches, from the program's start to the window
#    showing the first frame, against ffmpeg decoding that first frame; then the 30 timeline thumbnails
#    (target: within 2 s of the window).
#  - repainting a 1920 × 120 strip with 50 segments: median of 200 as while playing (the boxes kept) and
#    with the boxes drawn again each time (target under 4 ms; no peer).
#  - 30 s of 1080p30 played in the window with the strip redrawn every 0.1 s: frames dropped (target 0)
#    and the film strip's repaint at 1920 × 120 meanwhile (median, target under 4 ms).
#  - the waveform of a 1-hour stereo MP3 against ffmpeg -threads 1 decoding it (ratio at most 1.2), and the
#    longest the main thread stalls meanwhile (a 5 ms timer probe; target at most 50 ms).
# Usage: bench/window.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh
require_long
bench="$(pwd)/$build/bench/clipwell_window_bench"
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
run() { QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}" bash scripts/with-display-and-audio.sh "$bench" "$@"; }

opens=$(for _ in 1 2 3 4 5; do run open "$long"; done)
ours=$(echo "$opens" | awk '/^open/ { print $2 / 1000 }' | median)
thumbs=$(echo "$opens" | awk '/^open/ { print ($4 - $2) / 1000 }' | median)
peer=$(for _ in 1 2 3 4 5; do best 1 ffmpeg -nostdin -v error -i "$long" -frames:v 1 -f null -; done | median)
report "window with the first frame (10-min 1080p)" "$ours" "$peer" "first frame as ffmpeg decodes it"
echo "thumbnails complete after the window: ${thumbs} s (target < 2)"

read -r repaint redrawn < <(run repaint "$long" 200 | awk '/^repaint/ { print $2, $4 }')
echo "strip repaint 1920 x 120, 50 segments: median ${repaint} ms while playing, ${redrawn} ms with the boxes drawn again (target < 4)"

minute="$media/1080p30-1min.mp4"
[ -f "$minute" ] || ffmpeg -nostdin -v error -y -i "$long" -t 60 -vf fps=30 -an -c:v libx264 -preset superfast "$minute"
run play "$minute" 30 | awk '/^play/ { printf "playing 30 s of 1080p30 in the window: %d frames shown, %d dropped (target 0)\n", $3, $5;
  printf "film strip repaint 1920 x 120 while playing: median %s ms (target < 4)\n", $7 }'

hour="$media/stereo-1h.mp3"
[ -f "$hour" ] || ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=220:r=44100:d=3600" -f lavfi -i "sine=f=330:r=44100:d=3600" \
  -filter_complex "[0][1]amerge=inputs=2" -c:a libmp3lame -b:a 192k "$hour"
read -r _ ms _ bars _ stall < <(run waveform "$hour" | grep '^waveform')
peer=$(best 1 ffmpeg -nostdin -v error -threads 1 -i "$hour" -f null -)
report "waveform of a 1-hour stereo MP3 ($bars bars)" "$(awk -v m="$ms" 'BEGIN { print m / 1000 }')" "$peer" "target <= 1.20"
echo "longest main-thread stall while computing it: ${stall} ms (target <= 50)"
