#!/usr/bin/env bash
# The Khronos glTF validator on the exports of the read-back test: the starting towers, a painted
# construction, a collapsed one and 1,000 blocks. Usage: validate.sh TEST_BINARY BUILD_DIR
# Skipped (status 77) only where Node.js is missing; the validator itself is installed from the
# npm registry into BUILD_DIR on first use.
set -euo pipefail
tests=$1 build=$2
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null; then
  echo "skipped: Node.js is missing, so the glTF validator cannot run (apt-get install nodejs npm)"
  exit 77
fi
modules="$build/gltf-validator/node_modules"
if [ ! -d "$modules/gltf-validator" ]; then
  command -v npm >/dev/null || { echo "npm is missing: apt-get install npm"; exit 1; }
  npm install --silent --no-audit --no-fund --prefix "$build/gltf-validator" \
      gltf-validator@2.0.0-dev.3.10 >/dev/null
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
ZENTROVA_GLTF_DIR="$out" "$tests" --gtest_filter='GltfExport.EveryVertex*' >/dev/null
files=("$out"/towers.glb "$out"/painted.glb "$out"/collapsed.glb "$out"/blocks1000.glb)
NODE_PATH="$modules" node "$here/validate.js" "${files[@]}"
