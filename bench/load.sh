#!/usr/bin/env bash
# Load benchmarks. (1) Ten exports of one source at once, from separate processes, beside ten ffmpeg
# processes doing the same work; every output is checked. (2) Peak memory of exports from a 3-hour
# audio source and a 2-hour 1080p source beside the same exports from a short source: flat means the
# long source needs no more. The long sources are made once in bench/media by joining a short piece
# (stream copy), which takes a few minutes and about 3 GB. Usage: bench/load.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
. bench/common.sh

ff() { ffmpeg -nostdin -v error -y "$@"; }
# joined <piece> <count> <output>: the piece repeated by the concat demuxer, streams copied
joined() {
  [ -f "$3" ] && return
  local list="$media/concat.txt"
  : >"$list"
  for _ in $(seq "$2"); do echo "file '$1'" >>"$list"; done
  ff -f concat -safe 0 -i "$list" -c copy "$3"
  rm -f "$list"
}
seconds_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }
check() { # check <file> <expected seconds>
  local d
  d=$(seconds_of "$1")
  awk -v d="$d" -v e="$2" 'BEGIN { t = e * 0.005; if (t < 0.2) t = 0.2; exit !(d > e - t && d < e + t) }' || { echo "WRONG OUTPUT: $1 lasts $d s, not $2 s"; exit 1; }
}

# --- sources
minute_audio="$media/audio-1min.m4a"
[ -f "$minute_audio" ] || ff -f lavfi -i "sine=f=440:sample_rate=44100:d=60" -f lavfi -i "sine=f=660:sample_rate=44100:d=60" \
  -filter_complex amerge -c:a aac -b:a 128k "$minute_audio"
audio10m="$media/audio-10min.m4a"
audio3h="$media/audio-3h.m4a"
joined "$minute_audio" 10 "$audio10m"
joined "$minute_audio" 180 "$audio3h"
minute_video="$media/1080p-1min-light.mp4"
[ -f "$minute_video" ] || ff -f lavfi -i "testsrc2=s=1920x1080:r=25:d=60" -f lavfi -i "sine=f=500:d=60" -c:v libx264 \
  -preset veryfast -crf 36 -g 50 -c:a aac -shortest "$minute_video"
video10m="$media/1080p-10min-light.mp4"
video2h="$media/1080p-2h-light.mp4"
joined "$minute_video" 10 "$video10m"
joined "$minute_video" 120 "$video2h"

# --- ten at once
echo "--- ten exports of one 10-minute 1080p source at once (H.264 of 20 s each, M4A of all)"
start_ten() { # start_ten <prefix> <command...>: runs the command ten times at once, {} replaced by the index
  local prefix=$1; shift
  local pids=()
  for i in $(seq 0 9); do
    "${@//\{\}/$i}" >/dev/null 2>&1 &
    pids+=($!)
  done
  local failed=0
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  [ $failed = 0 ] || { echo "$prefix: a process failed"; exit 1; }
}
a=$(now)
start_ten ours "$cli" -i "$video10m" -o "$media/out/ten-{}.mp4" -p h264 --clear -c 100 -c 120 -y
b=$(now)
start_ten peer ffmpeg -nostdin -v error -y -ss 100 -to 120 -i "$video10m" -c:v libx264 -preset medium -crf 18 -c:a aac \
  "$media/out/ten-peer-{}.mp4"
c=$(now)
for i in $(seq 0 9); do check "$media/out/ten-$i.mp4" 20; done
report "ten H.264 exports at once" "$(echo "$a $b" | awk '{print $2-$1}')" "$(echo "$b $c" | awk '{print $2-$1}')" "outputs checked"
a=$(now)
start_ten ours "$cli" -i "$video10m" -o "$media/out/ten-{}.m4a" -p m4a -y
b=$(now)
start_ten peer ffmpeg -nostdin -v error -y -i "$video10m" -vn -c:a aac -b:a 128k "$media/out/ten-peer-{}.m4a"
c=$(now)
for i in $(seq 0 9); do check "$media/out/ten-$i.m4a" 600; done
report "ten M4A exports at once" "$(echo "$a $b" | awk '{print $2-$1}')" "$(echo "$b $c" | awk '{print $2-$1}')" "outputs checked"

# --- flat memory: the same export from the short and the long source (peak resident MB)
row() { printf '%-46s %8s MB %8s MB   peer on the long source %8s MB\n' "$1" "$2" "$3" "$4"; }
echo "--- peak memory (MB): 10-minute source, long source, and ffmpeg on the long source"
row "audio: FLAC of all (10 min / 3 h)" \
  "$(peak "$cli" -i "$audio10m" -o "$media/out/a10.flac" -p flac -y)" \
  "$(peak "$cli" -i "$audio3h" -o "$media/out/a3h.flac" -p flac -y)" \
  "$(peak ffmpeg -nostdin -v error -y -i "$audio3h" -c:a flac "$media/out/a3h-peer.flac")"
check "$media/out/a3h.flac" 10800
row "audio: pass-through of all" \
  "$(peak "$cli" -i "$audio10m" -o "$media/out/a10.m4a" -y)" \
  "$(peak "$cli" -i "$audio3h" -o "$media/out/a3h.m4a" -y)" \
  "$(peak ffmpeg -nostdin -v error -y -i "$audio3h" -c copy "$media/out/a3h-peer.m4a")"
check "$media/out/a3h.m4a" 10800
row "audio: QOA of all" \
  "$(peak "$cli" -i "$audio10m" -o "$media/out/a10.qoa" -p qoa -y)" \
  "$(peak "$cli" -i "$audio3h" -o "$media/out/a3h.qoa" -p qoa -y)" "-"
row "audio: MP3 of the last 5 minutes" \
  "$(peak "$cli" -i "$audio10m" -o "$media/out/a10.mp3" -p lame -y --clear -c 300)" \
  "$(peak "$cli" -i "$audio3h" -o "$media/out/a3h.mp3" -p lame -y --clear -c 10500)" \
  "$(peak ffmpeg -nostdin -v error -y -ss 10500 -i "$audio3h" -c:a libmp3lame -b:a 320k "$media/out/a3h-peer.mp3")"
row "video: pass-through of all (10 min / 2 h)" \
  "$(peak "$cli" -i "$video10m" -o "$media/out/v10.mp4" -y)" \
  "$(peak "$cli" -i "$video2h" -o "$media/out/v2h.mp4" -y)" \
  "$(peak ffmpeg -nostdin -v error -y -i "$video2h" -c copy "$media/out/v2h-peer.mp4")"
check "$media/out/v2h.mp4" 7200
row "video: pass-through, 3 pieces spread over it" \
  "$(peak "$cli" -i "$video10m" -o "$media/out/v10p.mp4" -y --clear -c 60 -c 100 -c 300 -c 340 -c 580)" \
  "$(peak "$cli" -i "$video2h" -o "$media/out/v2hp.mp4" -y --clear -c 60 -c 3600 -c 3640 -c 7000 -c 7100)" "-"
row "video: M4A of all" \
  "$(peak "$cli" -i "$video10m" -o "$media/out/v10.m4a" -p m4a -y)" \
  "$(peak "$cli" -i "$video2h" -o "$media/out/v2h.m4a" -p m4a -y)" \
  "$(peak ffmpeg -nostdin -v error -y -i "$video2h" -vn -c:a aac -b:a 128k "$media/out/v2h-peer.m4a")"
check "$media/out/v2h.m4a" 7200
row "video: H.264 of the last minute" \
  "$(peak "$cli" -i "$video10m" -o "$media/out/v10.mp4" -p h264 -y --clear -c 540)" \
  "$(peak "$cli" -i "$video2h" -o "$media/out/v2h-h264.mp4" -p h264 -y --clear -c 7140)" \
  "$(peak ffmpeg -nostdin -v error -y -ss 7140 -i "$video2h" -c:v libx264 -preset medium -crf 18 -c:a aac "$media/out/v2h-peer.mp4")"
check "$media/out/v2h-h264.mp4" 60
row "video: low quality of the last minute" \
  "$(peak "$cli" -i "$video10m" -o "$media/out/v10l.mp4" -p low -y --clear -c 540)" \
  "$(peak "$cli" -i "$video2h" -o "$media/out/v2hl.mp4" -p low -y --clear -c 7140)" "-"
