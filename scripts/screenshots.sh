#!/usr/bin/env bash
# Makes the README's screenshots with the application's screenshot mode on a private X server:
# docs/screenshots/video-window.png and docs/screenshots/audio-window.png (1196 × 656 each, the window
# as the screenshot mode sizes it). Builds first when needed. Usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ "${1:-}" != --inside ]; then
  bash scripts/setup.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build build --parallel "$(nproc)"
  exec bash scripts/with-display-and-audio.sh bash "$0" --inside
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Settings and kept edits of its own, so that the last-used preset or the cuts of a real user do not show.
export CLIPWELL_CONTAINER_DIR="$work/settings" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=640x360:r=25:d=20" -f lavfi -i "sine=frequency=440:d=20" \
  -c:v libx264 -preset veryfast -g 50 -c:a aac -shortest -metadata title="Clipwell demo" "$work/Clipwell demo.mp4"
ffmpeg -nostdin -v error -f lavfi -i "aevalsrc=0.9*sin(2*PI*220*t)*abs(sin(PI*t/3))*(0.6+0.4*sin(2*PI*1.3*t)):d=30" \
  -f lavfi -i "gradients=s=300x300:d=1:c0=0x2b3a55:c1=0xff2d55:c2=0xffcc00:n=3" \
  -map 0 -map 1 -frames:v 1 -c:a libmp3lame -c:v mjpeg -disposition:v attached_pic -id3v2_version 3 \
  -metadata title="Morning Walk" -metadata artist="The Clipwell Band" -metadata album="Demo Songs" "$work/Morning Walk.mp3"

mkdir -p docs/screenshots
shoot() {
  "$root/build/app/clipwell" --prepare-for-screenshot "$1" &
  local app=$!
  sleep 5 # the window, its film strip or waveform
  # Without a window manager the window sits at the top left.
  ffmpeg -nostdin -v error -y -f x11grab -draw_mouse 0 -video_size 1196x656 -i "$DISPLAY+0,0" -frames:v 1 "$2"
  kill "$app"
  wait "$app" 2>/dev/null || true
  echo "Made $2"
}
shoot "$work/Clipwell demo.mp4" docs/screenshots/video-window.png
shoot "$work/Morning Walk.mp3" docs/screenshots/audio-window.png
