#!/usr/bin/env bash
# Peak memory and idle CPU of the game on the title screen, on the display in DISPLAY:
#   tools/idle_figures.sh BINARY [SECONDS] [ARGS...]   (default 20 s of idle after a 4 s start)
# Prints the peak resident set (VmHWM) and the CPU share used while nothing moves.
set -euo pipefail
binary=$1; seconds=${2:-20}; shift $(( $# > 1 ? 2 : 1 ))
"$binary" "$@" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
sleep 4
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks); sleep "$seconds"; after=$(ticks)
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
kill -TERM "$pid"; wait "$pid" 2>/dev/null || true
trap - EXIT
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v kb="$peak" \
  'BEGIN { printf "peak memory %.1f MB, idle CPU %.2f%% over %d s\n", kb / 1024, 100 * t / hz / s, s }'
