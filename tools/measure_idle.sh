#!/usr/bin/env bash
# Measures what the installer costs while its menu waits for a key: the share
# of one core and the wake-ups per second (voluntary and involuntary context
# switches of all its threads, from /proc) over a 10 s window. Once in the SDL
# window under Xvfb, once through the terminal fallback with an open but silent
# standard input (a pipe, and a terminal where `script` is there). Then the
# memory it holds after 10 s of endless input (`yes |`). Every run works on a
# fresh disk image, never a real disk.
#
#   tools/measure_idle.sh [BUILD_DIR | PROGRAM]
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build}"
[[ -d $program ]] && program="$program/veltra"
[[ -x $program ]] || { echo "no program at $program: build it first" >&2; exit 2; }
seconds=10
work=$(mktemp -d)
# Only the processes this script started are measured and ended.
started=()
trap 'kill "${started[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 tools/make_disk.py "$work/disk.img" >/dev/null
ticks=$(getconf CLK_TCK)
export VELTRA_DRIVES="$work/disk.img"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { # all threads of pid
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { n += $2 } END { print n + 0 }'
}
measure() { # label pid
  local c0 s0 c1 s1
  c0=$(cpu_ticks "$2")
  s0=$(switches "$2")
  sleep "$seconds"
  c1=$(cpu_ticks "$2")
  s1=$(switches "$2")
  awk -v l="$1" -v c=$((c1 - c0)) -v s=$((s1 - s0)) -v t="$ticks" -v n="$seconds" \
    -v k="$(ls /proc/"$2"/task | wc -l)" 'BEGIN {
      printf "%-28s %6.2f%% of one core, %7.1f wake-ups/s (%d threads)\n", l, 100 * c / t / n, s / n, k }'
}
# The process below `ancestor` that runs the program.
program_pid() { # ancestor
  local exe pid
  exe=$(readlink -f "$program")
  for pid in $(pgrep -P "$1"); do
    [[ $(readlink -f "/proc/$pid/exe" 2>/dev/null) == "$exe" ]] && { echo "$pid"; return; }
    program_pid "$pid"
  done
}

# Xvfb picks a free display and writes its number to the pipe.
exec 3> >(cat >"$work/display")
Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
started+=($!)
exec 3>&-
for _ in $(seq 50); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
DISPLAY=":$(head -n1 "$work/display")" "$program" >/dev/null 2>&1 &
pid=$!
started+=("$pid")
sleep 2
measure "SDL window, menu waiting:" "$pid"
kill "$pid"

sleep 60 | env -u DISPLAY -u WAYLAND_DISPLAY "$program" >/dev/null 2>&1 &
pid=$! # the last command of the pipeline: the program itself
started+=("$pid")
sleep 2
measure "terminal (pipe), waiting:" "$pid"
kill "$pid"

if command -v script >/dev/null; then
  sleep 60 | env -u DISPLAY -u WAYLAND_DISPLAY script -qfec "$program" /dev/null >/dev/null 2>&1 &
  wrapper=$!
  started+=("$wrapper")
  sleep 2
  pid=$(program_pid "$wrapper")
  [[ -n $pid ]] || { echo "terminal (tty): the program did not start" >&2; exit 1; }
  started+=("$pid")
  measure "terminal (tty), waiting:" "$pid"
  kill "$pid"
fi

yes | env -u DISPLAY -u WAYLAND_DISPLAY "$program" >/dev/null 2>&1 &
pid=$!
started+=("$pid")
sleep "$seconds"
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
echo "endless input (yes |), ${seconds} s: RSS $((rss / 1024)) MB, peak $((peak / 1024)) MB"
kill "$pid"
