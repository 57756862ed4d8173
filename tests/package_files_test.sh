#!/usr/bin/env bash
# The files a desktop and Debian read about the game pass their own validators: the desktop entry
# (desktop-file-validate), the AppStream metadata (appstreamcli) and the manual page (man, with
# warnings). A validator that is not installed is skipped with a note; with none, the test skips.
# Usage: package_files_test.sh SOURCE_DIR
set -uo pipefail
src=$1
ran=0
failed=0
check() {
  local tool=$1; shift
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (apt-get install ${PACKAGE_OF[$tool]})"
    return
  fi
  ran=1
  local out
  if ! out=$("$@" 2>&1) || [ -n "$(printf '%s' "$out" | grep -E '^(E|W):|warning|error' || true)" ]; then
    echo "$tool found problems:"; echo "$out"; failed=1
  fi
}
declare -A PACKAGE_OF=([desktop-file-validate]=desktop-file-utils [appstreamcli]=appstream [man]=man-db)
check desktop-file-validate desktop-file-validate "$src/packaging/zentrova.desktop"
check appstreamcli appstreamcli validate --no-net "$src/packaging/org.zentrova.Zentrova.metainfo.xml"
check man sh -c 'man --warnings -l "$0" >/dev/null' "$src/packaging/zentrova.6"
[ "$failed" -eq 0 ] || exit 1
[ "$ran" -eq 1 ] || { echo "no validator is installed"; exit 77; }
echo "desktop entry, AppStream metadata and manual page are clean"
