#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing (safe to run again).
# Names given as arguments are installed too (CI adds the fuzz build's: clang and its runtimes).
set -euo pipefail
packages=(build-essential cmake pkg-config libsdl2-dev libsdl2-mixer-dev libpng-dev zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi
