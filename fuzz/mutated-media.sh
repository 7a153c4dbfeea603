#!/usr/bin/env bash
# Exports of damaged media through the real clipwell_cli: small sources in seven formats (MP4, MOV,
# MKV, FLAC, MP3, Opus, WAV) are mutated (bytes overwritten, ranges zeroed, the file cut short) and
# exported with a random preset, random cuts and splits, as one file or as pieces, each under a time
# limit. A run must end with status 0 and a file ffprobe opens, or status 1 and nothing written; a
# crash, a hang or a leftover is a finding, and the mutated input is kept in the findings folder.
#
# Usage: fuzz/mutated-media.sh [--seed N] [--count N] [--cli PATH] [--app PATH] [--findings DIR]
#   defaults: a seed from the clock, 300 runs, the binaries of build/. The same seed gives the same runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seed=$(date +%s)
count=300
cli=build/cli/clipwell_cli
app=build/app/clipwell
findings=build/fuzz-findings
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --app) app=$2; shift 2 ;;
    --findings) findings=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done
cli=$(realpath "$cli")
app=$(realpath "$app")
findings=$(realpath -m "$findings")

work=$(mktemp -d /tmp/clipwell-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
export CLIPWELL_CONTAINER_DIR="$work/container"
mkdir -p "$work/media"
"$app" --grant-cli-access "$work/media" >/dev/null 2>&1

# The sources, made once: a second or two each, small pictures.
make() { ffmpeg -nostdin -v error -y "$@"; }
video=(-f lavfi -i testsrc2=s=96x64:r=25:d=2 -f lavfi -i sine=f=440:d=2)
make "${video[@]}" -c:v libx264 -bf 2 -g 12 -c:a aac -b:a 32k -movflags +faststart "$work/src.mp4"
make "${video[@]}" -c:v libx264 -bf 0 -g 25 -c:a aac -b:a 32k "$work/src.mov"
make "${video[@]}" -c:v libvpx-vp9 -deadline realtime -c:a libopus -b:a 32k "$work/src.mkv"
make -f lavfi -i sine=f=330:d=2 -c:a flac "$work/src.flac"
make -f lavfi -i sine=f=330:d=2 -c:a libmp3lame -b:a 64k "$work/src.mp3"
make -f lavfi -i sine=f=330:d=2 -c:a libopus -b:a 32k "$work/src.opus"
make -f lavfi -i sine=f=330:d=2 "$work/src.wav"
sources=(mp4 mov mkv flac mp3 opus wav)
presets=(passthrough h264 h265 low m4a alac flac lame qoa)

RANDOM=$seed
# R becomes 0 .. $1-1. Never in a subshell: there RANDOM would not advance here, and runs would repeat.
rand() { R=$(((RANDOM << 15 | RANDOM) % $1)); }

# 1 to 3 mutations of the file in place.
mutate() {
  local file=$1 size at length mutations bytes
  rand 3; mutations=$((1 + R))
  for ((m = 0; m < mutations; m++)); do
    size=$(stat -c %s "$file")
    [ "$size" -gt 16 ] || return 0
    rand "$size"; at=$R
    rand 4
    case $R in
      0 | 1) # a few bytes overwritten
        rand 8; bytes=$((1 + R))
        for ((b = 0; b < bytes; b++)); do
          rand 256; local value=$R
          rand 64
          printf "\\x$(printf %02x "$value")" | dd of="$file" bs=1 seek=$(((at + R) % size)) conv=notrunc status=none
        done ;;
      2) # a range zeroed
        rand 4096; length=$((1 + R))
        dd if=/dev/zero of="$file" bs=1 seek="$at" count="$length" conv=notrunc status=none ;;
      3) # cut short
        truncate -s "$at" "$file" ;;
    esac
  done
}

extension() {
  case $1 in
    passthrough) echo "$2" ;;
    h264 | h265 | low) echo mp4 ;;
    m4a | alac) echo m4a ;;
    lame) echo mp3 ;;
    *) echo "$1" ;;
  esac
}

failures=0
exported=0
for run in $(seq "$count"); do
  rand ${#sources[@]}; ext=${sources[$R]}
  rand ${#presets[@]}; preset=${presets[$R]}
  input="$work/media/in-$run.$ext"
  cp "$work/src.$ext" "$input"
  mutate "$input"
  times=()
  rand 4; cuts=$R
  for ((c = 0; c < cuts; c++)); do
    rand 3; kind=$([ "$R" = 0 ] && echo -s || echo -c)
    rand 2000; times+=("$kind" "$((R / 1000)).$(printf %03d $((R % 1000)))")
  done
  out="$work/media/out-$run"
  mkdir -p "$out"
  rand 3
  if [ "$R" = 0 ]; then
    target=(--split-export "$out")
  else
    target=(-o "$out/result.$(extension "$preset" "$ext")")
  fi
  status=0
  timeout -s KILL 120 "$cli" -i "$input" -p "$preset" "${target[@]}" "${times[@]}" -y >"$work/log" 2>&1 || status=$?
  finding=""
  case $status in
    0)
      exported=$((exported + 1))
      for file in "$out"/*; do
        [ -f "$file" ] || { finding="status 0 without a file"; break; }
        [[ "$file" == *.qoa ]] && continue
        ffprobe -v error "$file" >/dev/null 2>&1 || { finding="status 0 and a file ffprobe cannot open: $file"; break; }
      done ;;
    1)
      if [ "${target[0]}" = -o ] && [ -n "$(ls -A "$out")" ]; then finding="status 1 and a file written"; fi ;;
    137) finding="hung (killed after 120 s)" ;;
    *) finding="ended with status $status" ;;
  esac
  if [ -n "$(find "$work/media" -name '.cw-*' -print -quit)" ]; then finding="a working file left behind"; fi
  # Sanitized builds end with status 1 on a finding of their own.
  if grep -q -e "Sanitizer" -e "runtime error:" "$work/log"; then finding="a sanitizer report"; fi
  if [ -n "$finding" ]; then
    failures=$((failures + 1))
    mkdir -p "$findings"
    cp "$input" "$findings/seed$seed-run$run.$ext"
    echo "FINDING (seed $seed, run $run): $finding" >&2
    echo "  clipwell_cli -i $(basename "$input") -p $preset ${target[*]##*/} ${times[*]}" >&2
    tail -3 "$work/log" | sed 's/^/  /' >&2
  fi
  rm -rf "$input" "$out"
done
echo "mutated-media: $count runs with seed $seed ($exported exported, $((count - exported)) refused), $failures findings"
[ "$failures" = 0 ]
