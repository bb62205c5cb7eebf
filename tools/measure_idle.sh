#!/usr/bin/env bash
# Measures the installer's CPU use while its menu waits for a key: once in the
# SDL window under Xvfb, once through the terminal fallback with an open but
# silent standard input. Prints the share of one core over a 10 s window.
#
#   tools/measure_idle.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
work=$(mktemp -d)
# Only the processes this script started are measured and ended.
started=()
trap 'kill "${started[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 tools/make_disk.py "$work/disk.img" >/dev/null
ticks=$(getconf CLK_TCK)

cpu_share() { # pid seconds
  local a b
  a=$(awk '{print $14 + $15}' "/proc/$1/stat")
  sleep "$2"
  b=$(awk '{print $14 + $15}' "/proc/$1/stat")
  awk -v d=$((b - a)) -v t="$ticks" -v s="$2" 'BEGIN { printf "%.2f%% of one core\n", 100 * d / t / s }'
}

Xvfb :93 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
started+=($!)
sleep 1
DISPLAY=:93 VELTRA_DRIVES="$work/disk.img" "$build/veltra" >/dev/null 2>&1 &
pid=$!
started+=("$pid")
sleep 2
echo "SDL window, menu waiting: $(cpu_share $pid 10)"
kill $pid

sleep 30 | env -u DISPLAY VELTRA_DRIVES="$work/disk.img" "$build/veltra" >/dev/null 2>&1 &
pid=$! # the last command of the pipeline: veltra itself
started+=("$pid")
sleep 2
echo "terminal, menu waiting:   $(cpu_share $pid 10)"
kill $pid
