#!/usr/bin/env bash
# Runs the Windows program once under wine on a virtual X display, as a user
# who can open no disk: the program must open its 640x448 window titled
# "veltra", say that it cannot reach the disk, show the closing prompt, take
# one key and end with code 3.
#   tools/wine_smoke.sh [build-win/veltra.exe [output folder]]
# Leaves wine-screen.png (the whole display) and wine-window.png (the window)
# in the output folder (default: the folder of the program, wine-smoke/).
set -euo pipefail

exe=$(realpath "${1:-build-win/veltra.exe}")
out=$(realpath -m "${2:-$(dirname "$exe")/wine-smoke}")
mkdir -p "$out"

convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
for tool in wine wineserver Xvfb xdotool xwininfo xprop import "$convert"; do
  command -v "$tool" >/dev/null || { echo "wine_smoke: $tool is missing" >&2; exit 1; }
done
[ -f "$exe" ] || { echo "wine_smoke: no program $exe" >&2; exit 1; }

started=$(date +%s%N)
elapsed() {
  local ms=$((($(date +%s%N) - started) / 1000000))
  printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100))
}
say() { echo "wine_smoke [$(elapsed)]: $*"; }
fail() { echo "wine_smoke: FAILED: $*" >&2; exit 1; }

work=$(mktemp -d /tmp/veltra-wine.XXXXXX)
chmod 755 "$work"
home=$work/home
mkdir -p "$home"
cp "$exe" "$home/veltra.exe"

# The program must never reach this machine's disks: as root it runs as
# nobody, who may open no block device; any other user must not be in the
# disk group.
if [ "$(id -u)" = 0 ]; then
  chown -R nobody:nogroup "$home"
  as_tester=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  if id -nG | tr ' ' '\n' | grep -qx disk; then
    fail "run as a user outside the disk group (or as root, which runs it as nobody)"
  fi
  as_tester=()
fi

display=
for n in $(seq 91 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=:$n; break; fi
done
[ -n "$display" ] || fail "no free X display number"

xvfb_pid=
wine_pid=
cleanup() {
  set +e
  if [ -n "$wine_pid" ] && kill -0 "$wine_pid" 2>/dev/null; then kill "$wine_pid"; fi
  run_wine wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

run_wine() {
  "${as_tester[@]}" env -i HOME="$home" USER=tester DISPLAY="$display" PATH=/usr/bin:/bin \
    WINEPREFIX="$home/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$@"
}

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -ac >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display

say "creating the wine prefix"
run_wine sh -c 'wineboot --init && wineserver -w' >"$out/wineboot.log" 2>&1 ||
  fail "wineboot (see $out/wineboot.log)"
say "prefix ready; starting veltra.exe"

run_wine wine "$home/veltra.exe" >"$out/wine.log" 2>&1 &
wine_pid=$!

window=$(timeout 60 xdotool search --sync --onlyvisible --name '^veltra$' | head -n 1) ||
  fail "no window titled veltra within 60 s (see $out/wine.log)"
say "window $window is open"

geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
[ "$width" = 640 ] && [ "$height" = 448 ] || fail "window is ${width}x${height}, not 640x448"
say "client area ${width}x${height}"
# Not resizable: wine hands the fixed size to X as equal minimum and maximum.
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
grep -q 'minimum size: 640 by 448' <<<"$hints" && grep -q 'maximum size: 640 by 448' <<<"$hints" ||
  fail "the window can be resized: $hints"

# For each of the 28 text rows, how many of its 640x16 pixels have the text
# colour PaleRose (FFD0FF), one number a line.
palerose_rows() {
  "$convert" "$1" -alpha off -fill black +opaque '#FFD0FF' -fill white -opaque '#FFD0FF' \
    -colorspace gray -scale '1x28!' -depth 16 txt:- |
    awk -F'[(,]' '/^0,/ {printf "%d\n", $3 * 10240 / 65535 + 0.5}'
}

# Without raw disk access the program prints, from row 2, why it cannot go on
# (on Windows the rights message; wine opens the device but cannot read it),
# then an empty row and the closing prompt, and nothing below: no menu.
message_and_prompt() {
  local -a rows
  mapfile -t rows < <(palerose_rows "$1")
  [ "${#rows[@]}" = 28 ] || return 1
  local last=-1 i
  for i in $(seq 0 27); do
    [ "${rows[$i]}" -gt 4000 ] && return 1 # a filled row: the menu, not a message
    [ "${rows[$i]}" -gt 0 ] && last=$i
  done
  [ "${rows[0]}" = 0 ] && [ "${rows[1]}" -gt 200 ] && [ "$last" -ge 3 ] &&
    [ "${rows[$((last - 1))]}" = 0 ] && [ "${rows[$last]}" -gt 100 ]
}

shown=0
for _ in $(seq 100); do
  if import -window "$window" "$out/wine-window.png" 2>/dev/null &&
    message_and_prompt "$out/wine-window.png"; then
    shown=1
    break
  fi
  sleep 0.3
done
import -window root "$out/wine-screen.png"
[ "$shown" = 1 ] || fail "the message and the closing prompt did not appear (see $out/wine-window.png)"
say "message and closing prompt shown (screenshots in $out)"

# Any key answers the closing prompt and the program ends. Without a window
# manager the window takes the keyboard after a click into it; the key is sent
# again should the first one have gone elsewhere.
code=0
for attempt in $(seq 5); do
  xdotool mousemove --window "$window" 320 300 click 1 2>/dev/null || true
  xdotool windowfocus "$window" 2>/dev/null || true
  sleep 0.3
  xdotool key --clearmodifiers space
  for _ in $(seq 30); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$wine_pid" 2>/dev/null || break
  say "no end after key $attempt; sending it again"
done
for _ in $(seq 150); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$wine_pid" 2>/dev/null && fail "the program did not end after the key"
wait "$wine_pid" || code=$?
wine_pid=
# wine ends a crashed program with code 0 after its crash report: look for one.
if grep -Eq 'Unhandled|page fault|starting debugger' "$out/wine.log"; then
  fail "the program crashed: $(grep -E 'Unhandled|page fault' "$out/wine.log" | head -n 1)"
fi
# A drive that could not be read ends the program with 3.
[ "$code" = 3 ] || fail "exit code $code, not 3 (see $out/wine.log)"
if xdotool search --onlyvisible --name '^veltra$' >/dev/null 2>&1; then
  fail "the window is still open after the program ended"
fi
say "ended with exit code 3; passed"
