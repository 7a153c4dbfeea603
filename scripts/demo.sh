#!/usr/bin/env bash
# Sets up, builds, makes a short demo clip, grants its folder to clipwell_cli and trims it twice:
# once with a cut (one file) and once into pieces (one file per piece), then opens the clip in the
# application when a display is available. Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --parallel "$(nproc)"

demo="$root/demo"
mkdir -p "$demo/pieces"
echo "Making a 20-second demo clip in $demo ..."
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=s=640x360:r=25:d=20" -f lavfi -i "sine=frequency=440:d=20" \
  -c:v libx264 -preset veryfast -g 50 -c:a aac -shortest -metadata title="Clipwell demo" "$demo/clip.mp4"

# The demo uses a container folder of its own, so it does not change a grant you made yourself.
export CLIPWELL_CONTAINER_DIR="$demo/.clipwell"
"$root/build/app/clipwell" --grant-cli-access "$demo" 2>/dev/null

echo
echo "Cutting 5 s to 12 s out of the clip (pass-through, no re-encoding):"
"$root/build/cli/clipwell_cli" -i "$demo/clip.mp4" -o "$demo/clip-cut.mp4" --cut 5 --cut 12
echo
echo "Splitting the clip at 0:07 and 0:14 into three M4A files:"
"$root/build/cli/clipwell_cli" -i "$demo/clip.mp4" --split-export "$demo/pieces" --split 0:07 --split 0:14 -p m4a
echo
echo "Results:"
ls -l "$demo/clip-cut.mp4" "$demo/pieces"

echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening the clip in the Clipwell application ..."
  nohup "$root/build/app/clipwell" "$demo/clip.mp4" > /dev/null 2>&1 &
else
  echo "No display here. On a desktop, open the clip in the application with:"
  echo "  $root/build/app/clipwell $demo/clip.mp4"
fi
