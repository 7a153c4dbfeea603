#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/), makes small seed corpora and runs each fuzzer
# for a bounded time. Usage: scripts/fuzz.sh [seconds per fuzzer]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/setup.sh
command -v clang++ >/dev/null || apt-get install -y -q clang libclang-rt-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCLIPWELL_FUZZ=ON -DCLIPWELL_SANITIZE=address,undefined
cmake --build build-fuzz --parallel "$(nproc)" --target fuzz_parser fuzz_bookmark fuzz_qoa fuzz_media

corpus=build-fuzz/corpus
mkdir -p "$corpus"/{parser,bookmark,qoa,media}
printf -- '-i\0a.mp4\0-o\0b.mp4\0--cut\0001:30.5\0--split\00010\0--volume\0-50' > "$corpus/parser/seed"
printf -- '--help' > "$corpus/parser/help"
printf '{"device":"1","inode":"2","path":"/tmp"}' > "$corpus/bookmark/seed"
head -c 4001 /dev/urandom > "$corpus/qoa/noise"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=32x24:r=10:d=0.5 -f lavfi -i sine=d=0.5:sample_rate=8000 \
  -c:v libx264 -bf 2 -c:a aac -b:a 16k -movflags +faststart "$corpus/media/tiny.mp4"
ffmpeg -nostdin -v error -y -f lavfi -i sine=d=0.3:sample_rate=8000 -c:a libmp3lame "$corpus/media/tiny.mp3"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=32x24:r=10:d=0.5 -c:v libvpx-vp9 -deadline realtime "$corpus/media/tiny.mkv"

export ASAN_OPTIONS=detect_leaks=0
export LSAN_OPTIONS="suppressions=$(pwd)/tests/sanitizers/lsan.supp"
for target in parser bookmark qoa media; do
  echo "== fuzz_$target for $seconds s"
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=4096 \
    "$corpus/$target" 2>&1 | grep -E '^(#[0-9]+.*DONE|Done|==.*ERROR|SUMMARY)' | tail -3 || true
done
