#!/usr/bin/env bash
# Checks the layering after a build, from the compiler's own record of every header each object file
# read (Ninja's deps log):
# - no object of the engine, the tool or the desktop application reaches an FFmpeg header, directly
#   or through a header of the media layer (the compiler already refuses the media layer's internal/
#   headers there, but Debian's FFmpeg headers sit in a default include folder);
# - the media layer reaches no header above it, the engine none of the tool's or the application's,
#   and the tool and the application none of each other's;
# - inside the media layer and the engine, each folder reaches only folders below it in the orders
#   set out here, so that no two folders depend on each other.
# Usage: scripts/check-layers.sh [build folder]
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
for pair in 'engine:cli|app' 'cli:app' 'app:cli'; do
  found=$(printf '%s\n' "$deps" | offenders "^${pair%%:*}/CMakeFiles/" "^$root/(${pair#*:})/")
  if [ -n "$found" ]; then
    echo "Layering: these objects of ${pair%%:*}/ reach headers of ${pair#*:}/:"
    printf '%s\n' "$found"
    status=1
  fi
done

# Folders from the bottom up; folders of one rank (separated by commas) reach neither each other.
folder_order() {
  local layer=$1 target=$2 order=$3
  found=$(printf '%s\n' "$deps" | awk -v layer="$layer" -v target="$target" -v root="$root" -v order="$order" '
    BEGIN {
      n = split(order, ranks, " ")
      for (i = 1; i <= n; ++i) { m = split(ranks[i], names, ","); for (j = 1; j <= m; ++j) rank[names[j]] = i }
      objects = "^" layer "/CMakeFiles/" target ".dir/"
      headers = "^" root "/" layer "/"
    }
    /^[^ ].*: #deps/ {
      object = $1; sub(/:$/, "", object); from = ""
      if (object ~ objects) { from = object; sub(objects, "", from); sub(/\/.*/, "", from) }
      if (!(from in rank)) from = "" # the generated Qt code of the whole target
      next
    }
    from != "" && $1 ~ headers {
      to = $1; sub(headers, "", to); sub(/\/.*/, "", to)
      if (to != from && (!(to in rank) || rank[to] >= rank[from]))
        print object " (" from "/) reads " $1 " (" to "/)"
    }')
  if [ -n "$found" ]; then
    echo "Layering: these objects of $layer/ reach a folder that is not below theirs ($order):"
    printf '%s\n' "$found"
    status=1
  fi
}
folder_order platform clipwell_platform 'core media decode,encode mux,playback passthrough export'
folder_order engine clipwell_engine 'presets model composition export'

[ "$status" = 0 ] && echo "Layering: clean ($(printf '%s\n' "$deps" | grep -c '#deps') objects checked)"
exit "$status"
