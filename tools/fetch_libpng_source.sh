#!/usr/bin/env bash
# Fetches Debian's source package of libpng into FOLDER (default build-fuzz/libpng-source) and
# prints the unpacked source folder, for a fuzz build that compiles libpng instrumented:
#   cmake ... -DZENTROVA_FUZZ=ON -DZENTROVA_LIBPNG_SOURCE="$(tools/fetch_libpng_source.sh)"
# The machine's apt lists hold no source entries, so a private list of Debian's source archives
# is used, leaving the system's apt configuration as it is. Tries the versions the index offers,
# newest first, since a mirror may not yet hold the newest. Prints nothing and exits 1 when none
# can be had (then the build links the system's libpng, uninstrumented).
set -euo pipefail
folder=$(realpath -m "${1:-build-fuzz/libpng-source}")
existing=$(find "$folder" -maxdepth 2 -name pngrutil.c -printf '%h\n' 2>/dev/null | head -n1 || true)
if [ -n "$existing" ]; then echo "$existing"; exit 0; fi
command -v dpkg-source >/dev/null || { echo "fetch_libpng_source: dpkg-source (dpkg-dev) is missing" >&2; exit 1; }
apt_dir="$folder/apt"
mkdir -p "$apt_dir/lists/partial"
. /etc/os-release
printf 'deb-src http://deb.debian.org/debian %s main\ndeb-src http://deb.debian.org/debian-security %s-security main\n' \
  "$VERSION_CODENAME" "$VERSION_CODENAME" > "$apt_dir/sources.list"
apt_options=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$apt_dir/lists" -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update >&2 || { echo "fetch_libpng_source: no source index" >&2; exit 1; }
cd "$folder"
for version in $(apt-cache "${apt_options[@]}" showsrc libpng1.6 | sed -n 's/^Version: //p' | sort -rV); do
  if apt-get "${apt_options[@]}" source "libpng1.6=$version" >&2; then
    find "$folder" -maxdepth 2 -name pngrutil.c -printf '%h\n' | head -n1
    exit 0
  fi
  echo "fetch_libpng_source: libpng1.6 $version could not be had, trying an older one" >&2
done
echo "fetch_libpng_source: no version of libpng1.6's source could be had" >&2
exit 1
