#!/usr/bin/env bash
# Checks the layering after a build, from the compiler's own record of every header each object file
# read (Ninja's deps log): no object of the engine, the tool or the desktop application may reach an
# FFmpeg header, directly or through a header of the media layer; and no object of the media layer may
# reach an engine header. Include paths alone cannot enforce this, since Debian's FFmpeg headers sit
# in a default include folder. Usage: scripts/check-layers.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
root=$(pwd)

deps=$(ninja -C "$build" -t deps)
status=0
# Prints each object of the targets matched by $1 that reads a header matched by $2.
offenders() {
  awk -v objects="$1" -v headers="$2" '
    /^[^ ].*: #deps/ { object = $1; sub(/:$/, "", object); keep = object ~ objects; next }
    keep && $1 ~ headers { print object " reads " $1; keep = 0 }'
}
ffmpeg='/lib(avcodec|avformat|avutil|swresample|swscale)/'
found=$(printf '%s\n' "$deps" | offenders '^(engine|cli|app)/CMakeFiles/' "$ffmpeg")
if [ -n "$found" ]; then
  echo "Layering: these objects reach FFmpeg headers (the engine and above use the media layer's FFmpeg-free headers):"
  printf '%s\n' "$found"
  status=1
fi
found=$(printf '%s\n' "$deps" | offenders '^platform/CMakeFiles/' "^$root/(engine|cli|app)/")
if [ -n "$found" ]; then
  echo "Layering: these media-layer objects reach headers of the layers above:"
  printf '%s\n' "$found"
  status=1
fi
[ "$status" = 0 ] && echo "Layering: clean ($(printf '%s\n' "$deps" | grep -c '#deps') objects checked)"
exit "$status"
