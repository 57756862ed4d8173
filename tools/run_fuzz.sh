#!/usr/bin/env bash
# Replays every seed folder through its libFuzzer target, then fuzzes each target for SECONDS
# from its seeds (into a scratch corpus under BUILD/corpus, so the tree is left as it is), and
# prints each one's executions and coverage. Exits non-zero at the first crash, leak, timeout or
# allocation above the limit.
#   tools/run_fuzz.sh BUILD SECONDS [png bmp wav dib construction play]
set -euo pipefail
cd "$(dirname "$0")/.."
# Absolute: the playing target's toy enters its data folder while it starts.
build=$(realpath "$1")
seconds=$2
shift 2
readers=("$@")
[ ${#readers[@]} -gt 0 ] || readers=(png bmp wav dib construction play)
for reader in "${readers[@]}"; do
  target="$build/fuzz_$reader"
  seeds="$PWD/tests/fuzz/$reader"
  dict=()
  [ -f "tests/fuzz/$reader.dict" ] && dict=(-dict="tests/fuzz/$reader.dict")
  corpus="$build/corpus/$reader"
  artifacts="$build/fuzz-artifacts/$reader/"
  mkdir -p "$corpus" "$artifacts"
  # Anything above 64 MB is a reader spending out of proportion to its input (4 KB at most).
  options=(-malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 -artifact_prefix="$artifacts")
  # The playing target holds a whole toy and opens constructions of up to 20,000 blocks; its
  # inputs are saved pictures of a few tens of kilobytes, their payloads a megabyte or more. The
  # toy it keeps from file to file holds what each file leaves (its history), which libFuzzer's
  # leak check would take for leaks: the sanitizer suite looks for leaks in play.
  [ "$reader" = play ] &&
    options=(-malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=30 -max_len=262144
             -detect_leaks=0 -artifact_prefix="$artifacts")
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
