# Shared helpers of the benchmark scripts: the media folder and its grant, timing, peak memory and the
# report line. Source it from the repository root with the build folder in $build.
media="$(pwd)/bench/media"
cli="$(pwd)/$build/cli/clipwell_cli"
long="$media/1080p-10min.mp4"
mkdir -p "$media/out"
# Benchmarks grant their own folder through a container of their own.
export CLIPWELL_CONTAINER_DIR="$media/.clipwell"
"$build/app/clipwell" --grant-cli-access "$media" >/dev/null 2>&1 || true

now() { date +%s.%N; }
# best wall time of N runs of a command, in seconds
best() {
  local n=$1; shift
  local result=""
  for _ in $(seq "$n"); do
    local a b
    a=$(now); "$@" >/dev/null 2>&1; b=$(now)
    result=$(echo "$a $b $result" | awk '{d=$2-$1; if ($3=="" || d<$3) print d; else print $3}')
  done
  echo "$result"
}
# peak resident memory of one run, in MB
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.0f", $1 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
report() { printf '%-44s ours %8.3f s   peer %8.3f s   ratio %s (%s)\n' "$1" "$2" "$3" "$(ratio "$2" "$3")" "$4"; }
# the 2-minute cut of the long source, made once
short_source() {
  local short="$media/1080p-2min.mp4"
  [ -f "$short" ] || ffmpeg -nostdin -v error -i "$long" -t 120 -c copy -y "$short"
  echo "$short"
}
require_long() { [ -f "$long" ] || { echo "run bench/foundation.sh first (it makes $long)"; exit 1; }; }
