#!/usr/bin/env bash
# Replays every seed folder through its libFuzzer target, then fuzzes each target for SECONDS
# from its seeds (into a scratch corpus under BUILD/corpus, so the tree is left as it is), and
# prints each one's executions and coverage. Exits non-zero at the first crash, leak, timeout or
# allocation above the limit.
#   tools/run_fuzz.sh BUILD SECONDS [png bmp wav dib construction]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2
readers=("$@")
[ ${#readers[@]} -gt 0 ] || readers=(png bmp wav dib construction)
for reader in "${readers[@]}"; do
  target="$build/fuzz_$reader"
  seeds="tests/fuzz/$reader"
  dict=()
  [ -f "tests/fuzz/$reader.dict" ] && dict=(-dict="tests/fuzz/$reader.dict")
  corpus="$build/corpus/$reader"
  artifacts="$build/fuzz-artifacts/$reader/"
  mkdir -p "$corpus" "$artifacts"
  # Anything above 64 MB is a reader spending out of proportion to its input (4 KB at most).
  options=(-malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 -artifact_prefix="$artifacts")
  "$target" "${options[@]}" -runs=0 "$seeds" > "$build/fuzz-$reader-replay.log" 2>&1 ||
    { tail -n 30 "$build/fuzz-$reader-replay.log"; echo "fuzz_$reader: a seed fails"; exit 1; }
  "$target" "${options[@]}" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$corpus" "$seeds" > "$build/fuzz-$reader.log" 2>&1 ||
    { tail -n 40 "$build/fuzz-$reader.log"; echo "fuzz_$reader: failed, see $artifacts"; exit 1; }
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz-$reader.log")
  cov=$(grep -o 'cov: [0-9]*' "$build/fuzz-$reader.log" | tail -n1)
  ft=$(grep -o 'ft: [0-9]*' "$build/fuzz-$reader.log" | tail -n1)
  echo "fuzz_$reader: $(ls "$seeds" | wc -l) seeds replayed; ${seconds} s: $execs executions, $cov edges, $ft features, corpus $(ls "$corpus" | wc -l) files"
done
