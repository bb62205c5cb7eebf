#!/usr/bin/env bash
# Times a key press to the next presented frame in the installer's SDL window,
# on a private Xvfb display and a fresh disk image (never a real disk).
#
#   tools/bench_key_to_frame.sh [BUILD_DIR] [--keys=N] [--pause=MIN-MAX]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [[ $# -gt 0 && $1 != --* ]]; then
  build=$1
  shift
fi
bench="$build/tests/veltra_bench_key_to_frame"
[[ -x $bench ]] || { echo "build $bench first (cmake --build $build -j2)" >&2; exit 2; }
work=$(mktemp -d)
xvfb_pid=
trap '[[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
python3 tools/make_disk.py "$work/disk.img" >/dev/null

# Xvfb picks a free display and writes its number to the pipe.
exec 3> >(cat >"$work/display")
Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 2; }

DISPLAY=":$(head -n1 "$work/display")" VELTRA_DRIVES="$work/disk.img" "$bench" "$@"
