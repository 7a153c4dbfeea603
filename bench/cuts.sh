#!/usr/bin/env bash
# Many edits: 100,000 cut points (50,000 cuts of 1 ms, one every 2 ms) read from a file and applied to a
# 2-minute WAV, exported as FLAC, against ffmpeg encoding the same WAV to FLAC with no cut (the same
# encoding work, so the ratio shows what the edits cost). Also the time to the first progress line, when
# the cuts are configured and the export has started (target: well under a second).
# Usage: bench/cuts.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh
source="$media/cuts-2min.wav"
[ -f "$source" ] || ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=440:r=44100:d=120" -ac 2 "$source"
list="$media/cuts-100k.txt"
[ -f "$list" ] || awk 'BEGIN { for (i = 0; i < 100000; i++) printf "%.3f\n", 1 + i * 0.001 }' >"$list"
ours=$(best 3 "$cli" -i "$source" -o "$media/out/cuts.flac" -p flac --cuts-from "$list")
peer=$(best 3 ffmpeg -nostdin -v error -y -i "$source" -c:a flac "$media/out/cuts-peer.flac")
report "100,000 cut points from a file, FLAC" "$ours" "$peer" "the cuts' own cost"
first=$( { a=$(now); "$cli" -i "$source" -o "$media/out/cuts.flac" -p flac --cuts-from "$list" | head -c 1 >/dev/null; b=$(now); \
  awk -v a="$a" -v b="$b" 'BEGIN { print b - a }'; } 2>/dev/null)
echo "to the first progress output: ${first} s (target well under 1 s)"
