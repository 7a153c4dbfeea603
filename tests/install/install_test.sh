#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a shell find there: every file
# in its place, a valid desktop entry and AppStream metadata, manual pages that render without warnings,
# bash completion that completes options and preset names, and a Debian package whose dependencies
# were computed from the programs. Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for file in bin/clipwell bin/clipwell_cli \
  share/applications/io.clipwell.Clipwell.desktop \
  share/dbus-1/services/io.clipwell.Clipwell.service \
  share/metainfo/io.clipwell.Clipwell.metainfo.xml \
  share/icons/hicolor/scalable/apps/io.clipwell.Clipwell.svg \
  share/man/man1/clipwell.1 share/man/man1/clipwell_cli.1 \
  share/bash-completion/completions/clipwell_cli; do
  [ -e "$prefix/$file" ] || fail "missing $file"
done
[ -x "$prefix/bin/clipwell_cli" ] || fail "clipwell_cli is not executable"
# Hardened programs: position-independent, full RELRO with immediate binding, stack protector, checked
# string and memory calls.
for program in clipwell clipwell_cli; do
  binary="$prefix/bin/$program"
  # Read whole before matching (an early exit of grep would fail the pipe).
  header=$(readelf -hW "$binary") segments=$(readelf -lW "$binary") dynamic=$(readelf -dW "$binary")
  symbols=$(readelf -sW --dyn-syms "$binary")
  grep -q "Type:.*DYN" <<<"$header" || fail "$program is not position-independent"
  grep -q "GNU_RELRO" <<<"$segments" || fail "$program has no RELRO segment"
  grep -Eq "BIND_NOW|FLAGS.*NOW" <<<"$dynamic" || fail "$program does not bind immediately"
  grep -q "__stack_chk_fail" <<<"$symbols" || fail "$program has no stack protector"
  grep -q "_chk@" <<<"$symbols" || fail "$program has no checked calls (_FORTIFY_SOURCE)"
done

desktop="$prefix/share/applications/io.clipwell.Clipwell.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -q "^Exec=$prefix/bin/clipwell %F$" "$desktop" || fail "Exec does not start the installed program with %F"
grep -q "^Exec=$prefix/bin/clipwell --gapplication-service$" "$prefix/share/dbus-1/services/io.clipwell.Clipwell.service" ||
  fail "the D-Bus service does not start the installed program"
grep -q "video/mp4;" "$desktop" && grep -q "audio/flac;" "$desktop" && grep -q "video/x-matroska;" "$desktop" ||
  fail "MIME types missing"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/io.clipwell.Clipwell.metainfo.xml" > "$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "appstreamcli validate"; }
grep -q "<release version=\"$("$prefix/bin/clipwell_cli" --version | grep -o '[0-9][0-9.]*' | head -1)\"" \
  "$prefix/share/metainfo/io.clipwell.Clipwell.metainfo.xml" || fail "the metadata's release is not this version"
# The icon is an SVG of its own size and a square view box.
grep -q 'viewBox="0 0 128 128"' "$prefix/share/icons/hicolor/scalable/apps/io.clipwell.Clipwell.svg" || fail "icon view box"

for page in clipwell clipwell_cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 > "$work/$page.txt")
  [ -z "$warnings" ] || fail "man $page: $warnings"
  grep -q "SYNOPSIS" "$work/$page.txt" || fail "man $page has no synopsis"
done

# Completion as bash does it: the word under the cursor after -p, and an option prefix.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _clipwell_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$prefix/share/bash-completion/completions/clipwell_cli" "$@"
}
[ "$(complete_words clipwell_cli -p fl)" = flac ] || fail "completing -p fl gave: $(complete_words clipwell_cli -p fl)"
[ "$(complete_words clipwell_cli --split-e)" = --split-export ] || fail "completing --split-e"
# The completion knows exactly the tool's presets.
export CLIPWELL_CONTAINER_DIR="$work/settings"
"$prefix/bin/clipwell" --grant-cli-access "$work" > /dev/null 2>&1
ffmpeg -nostdin -v error -f lavfi -i sine=d=1 "$work/tone.wav"
presets=$("$prefix/bin/clipwell_cli" -i "$work/tone.wav" -o "$work/x.flac" -p nothing 2>&1 | sed -n 's/.*Valid presets: //p' |
  tr -d ' .' | tr ',' '\n' | sed 's/(.*//' | sort || true)
completed=$(complete_words clipwell_cli -p "" | sort)
[ -n "$presets" ] && [ "$presets" = "$completed" ] || fail "completion presets [$completed] are not the tool's [$presets]"
# ... and the pass-through modes its help names.
modes=$("$prefix/bin/clipwell_cli" --help | sed -n 's/^ *\(exact\|copy-only\|edit-lists\)\( (default)\)\?:.*/\1/p' | sort)
completedModes=$(complete_words clipwell_cli --passthrough-mode "" | sort)
[ -n "$modes" ] && [ "$modes" = "$completedModes" ] || fail "completion modes [$completedModes] are not the tool's [$modes]"

# The package: the installed files under /usr, dependencies from dpkg-shlibdeps.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/clipwell_*.deb 2>/dev/null | head -1)
if [ -n "$deb" ]; then
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libavcodec59 libavformat59 libmp3lame0 libqt6widgets6 libqt6multimedia6 libmd4c-html0; do
    grep -q "$library" <<< "$depends" || fail "Depends lacks $library: $depends"
  done
  recommends=$(dpkg-deb -f "$deb" Recommends)
  grep -q qt6-wayland <<< "$recommends" && grep -q qt6-gtk-platformtheme <<< "$recommends" || fail "Recommends: $recommends"
  contents=$(dpkg-deb -c "$deb")
  for file in ./usr/bin/clipwell ./usr/bin/clipwell_cli ./usr/share/applications/io.clipwell.Clipwell.desktop \
    ./usr/share/metainfo/io.clipwell.Clipwell.metainfo.xml ./usr/share/man/man1/clipwell_cli.1; do
    grep -q " $file\$" <<< "$contents" || fail "package lacks $file"
  done
  grep -q "^Exec=/usr/bin/clipwell %F$" <(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/applications/io.clipwell.Clipwell.desktop) ||
    fail "the packaged desktop entry does not start /usr/bin/clipwell"
else
  fail "no package was made"
fi

[ "$failures" -eq 0 ] && echo "install: all checks passed"
exit "$failures"
