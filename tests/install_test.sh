#!/usr/bin/env bash
# Installs the build into a scratch prefix and starts the installed game from an unrelated folder
# on the dummy video and audio drivers: it must find its installed data and get past loading.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/zentrova share/zentrova/data/title.bmp share/zentrova/data/cursor_default.png \
            share/zentrova/data/door.wav share/applications/zentrova.desktop \
            share/icons/hicolor/64x64/apps/zentrova.png; do
  [ -f "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ ! -e "$prefix/share/zentrova/data/.generated" ] || { echo "the build's stamp was installed"; exit 1; }
[ -f "$prefix/share/man/man6/zentrova.6.gz" ] && [ -f "$prefix/share/metainfo/org.zentrova.Zentrova.metainfo.xml" ] ||
  { echo "no manual page or AppStream metadata"; exit 1; }
grep -qx 'Exec=zentrova %f' "$prefix/share/applications/zentrova.desktop"
grep -qx 'Icon=zentrova' "$prefix/share/applications/zentrova.desktop"
grep -qx 'MimeType=image/png;' "$prefix/share/applications/zentrova.desktop"

mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
# SIGTERM reaches the game as a close request: one that got past loading quits with status 0, one
# that could not load has already exited with status 1 and its reason.
status=0
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout --preserve-status -s TERM 4 \
  "$prefix/bin/zentrova" 2>"$scratch/stderr" || status=$?
if [ "$status" -ne 0 ] || [ -s "$scratch/stderr" ]; then
  echo "the installed game did not start from $PWD (status $status):"
  cat "$scratch/stderr"
  exit 1
fi
echo "installed and started from an unrelated folder"

# A second prefix keeps its own list; uninstalling the first removes every file and every folder
# that install made, and leaves the second whole.
second=$scratch/second/deeper
cmake --install "$build" --prefix "$second" >/dev/null
cmake -DPREFIX="$prefix" -P "$build/uninstall.cmake" >/dev/null
[ ! -e "$prefix" ] || { echo "left after uninstalling:"; find "$prefix"; exit 1; }
[ -x "$second/bin/zentrova" ] || { echo "the second installation was touched"; exit 1; }
cmake -DPREFIX="$second" -P "$build/uninstall.cmake" >/dev/null
[ ! -e "$scratch/second" ] || { echo "left after uninstalling:"; find "$scratch/second"; exit 1; }
echo "both installations uninstalled, folders included"
