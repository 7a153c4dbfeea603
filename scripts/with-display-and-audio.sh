#!/usr/bin/env bash
# Runs a command beside a real X server (Xvfb) and a real audio server (PulseAudio whose default sink
# is a null sink) of its own, as the GUI tests need; both end with the command, whose status is kept.
# Usage: scripts/with-display-and-audio.sh COMMAND [ARGUMENTS...]
set -euo pipefail
runtime=$(mktemp -d)
display_number=$((100 + RANDOM % 800))
while [ -e "/tmp/.X11-unix/X$display_number" ]; do display_number=$((display_number + 1)); done
Xvfb ":$display_number" -screen 0 1920x1080x24 -nolisten tcp >"$runtime/xvfb.log" 2>&1 &
xvfb=$!
HOME="$runtime" XDG_RUNTIME_DIR="$runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --log-target=file:"$runtime/pulse.log" \
  -L "module-native-protocol-unix socket=$runtime/pulse.socket auth-anonymous=1" \
  -L "module-null-sink sink_name=clipwell_null" -L "module-always-sink" >/dev/null 2>&1 &
pulse=$!
cleanup() {
  kill "$pulse" "$xvfb" 2>/dev/null || true
  wait "$pulse" "$xvfb" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
export DISPLAY=":$display_number" PULSE_SERVER="unix:$runtime/pulse.socket"
for _ in $(seq 100); do
  if [ -e "/tmp/.X11-unix/X$display_number" ] && pactl info >/dev/null 2>&1; then break; fi
  sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display_number" ] || { echo "Xvfb did not start:"; cat "$runtime/xvfb.log"; exit 1; }
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:"; cat "$runtime/pulse.log"; exit 1; }
pactl set-default-sink clipwell_null >/dev/null 2>&1 || true
status=0
"$@" || status=$?
exit "$status"
