#!/usr/bin/env bash
# Installs everything Clipwell's build, tests and demo need on Debian 12.
# Idempotent: packages already present are left as they are. Run as root (or via sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
  libmp3lame-dev libmd4c-dev libmd4c-html0-dev
  googletest libgtest-dev libgmock-dev
  ffmpeg xvfb xauth dbus-daemon pulseaudio pulseaudio-utils time lame flac clang-format
  dpkg-dev desktop-file-utils appstream bash-completion man-db libglib2.0-bin weston qt6-wayland mkvtoolnix
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-libav libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  mpv chromium adwaita-icon-theme
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Real media files made by others, for the tests of pass-through copies: taken out of Debian packages
# (downloaded, never installed) into a folder the tests read.
media="${CLIPWELL_TEST_MEDIA:-/var/cache/clipwell/test-media}"
real_files=(
  "sound-theme-freedesktop usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga"
  "gourmand usr/lib/python3/dist-packages/gourmand/data/sound/phone.opus"
  "ardour-data usr/share/ardour7/media/click-120bpm.flac"
  "golang-github-hjfreyer-taglib-go-dev usr/share/gocode/src/github.com/hjfreyer/taglib-go/taglib/testdata/BeatThee.mp3"
  "golang-github-gabriel-vasile-mimetype-dev usr/share/gocode/src/github.com/gabriel-vasile/mimetype/testdata/webm.webm"
)
for entry in "${real_files[@]}"; do
  read -r package path <<<"$entry"
  [ -s "$media/$(basename "$path")" ] && continue
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO mkdir -p "$media"
  work="$(mktemp -d)"
  (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1) || { $SUDO apt-get update -q && (cd "$work" && apt-get download -q "$package"); }
  dpkg-deb -x "$work"/*.deb "$work/root"
  $SUDO cp "$work/root/$path" "$media/"
  rm -rf "$work"
done
