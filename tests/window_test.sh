#!/bin/sh
# The SDL window under Xvfb: size, title, icon, keys, the close button, idle
# processor time and a screenshot.
# Usage: window_test.sh <window_test_app> <window_close_x11> <output folder>
# Exits 77 (skipped) when Xvfb or the X tools are missing.
app=$1
closer=$2
out=$3
for tool in Xvfb xdotool xwininfo xprop import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool missing"; exit 77; }
done
mkdir -p "$out"

xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

. "$(dirname "$0")/../tools/xvfb_start.sh"
start_xvfb "$out"

"$closer" --keymap || fail "could not add the letter i with diaeresis to the keyboard map"
"$app" </dev/null >"$out/keys.txt" 2>"$out/app.log" &
app_pid=$!
name=$(basename "$app")
name=${name%.*}
# The window is there once it is mapped under its name. Waits as long as the
# program is still starting (a loaded machine takes seconds), and stops at
# once when it ended or went on in the terminal without a window.
tries=0
while :; do
    wid=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended without a window: $(cat "$out/app.log")"
    grep -q "geen venster" "$out/app.log" && fail "no window: $(cat "$out/app.log")"
    tries=$((tries + 1))
    [ $tries -gt 600 ] && fail "no window named $name in 60 s: $(cat "$out/app.log")"
    sleep 0.1
done

# Size and title.
info=$(xwininfo -id "$wid")
echo "$info" | grep -q "Width: 640" || fail "width: $info"
echo "$info" | grep -q "Height: 448" || fail "height: $info"
[ "$(xdotool getwindowname "$wid")" = "$name" ] || fail "title $(xdotool getwindowname "$wid")"
# The program's icon: 32x32.
xprop -id "$wid" _NET_WM_ICON | head -n 2 | grep -q "32 x 32\|= 32, 32" || fail "no 32x32 icon"

# Idle: the window waits for a key.
sleep 1
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$app_pid/stat"; }
before=$(cpu)
sleep 3
after=$(cpu)
idle=$(awk -v d=$((after - before)) -v t="$ticks" 'BEGIN { printf "%.1f", 100 * d / (3 * t) }')
echo "idle processor use while waiting for a key: $idle% of one core"
awk -v p="$idle" 'BEGIN { exit !(p < 20) }' || fail "busy while idle: $idle%"

# Keys: arrows, a function key, a letter, Enter, Escape, a character of the code page.
xdotool mousemove --window "$wid" 100 100
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --delay 60 Down F1 a Return Escape
xdotool type --delay 60 "ï"
# The close button queues a key; the window stays.
"$closer" "$wid" || fail "could not send the close message"
tries=0
until [ "$(wc -l <"$out/keys.txt")" -ge 7 ]; do
    tries=$((tries + 1))
    [ $tries -gt 200 ] && break
    sleep 0.1
done
expected="key 255 80
key 255 59
key 97
key 13
key 27
key 139
key 255 107"
[ "$(cat "$out/keys.txt")" = "$expected" ] || fail "keys read:
$(cat "$out/keys.txt")"
kill -0 "$app_pid" 2>/dev/null || fail "the close button ended the program"
xwininfo -id "$wid" >/dev/null 2>&1 || fail "the close button closed the window"

# The picture: the title row on Magenta, the page on PaleRose.
sleep 0.3
import -window "$wid" "$out/window.png" || fail "no screenshot"
import -window root "$out/root.png"
pixel() { convert "$out/window.png" -crop "1x1+$1+$2" txt:- | tail -n 1; }
pixel 636 2 | grep -qi "#D827BC" || fail "title row: $(pixel 636 2)"
pixel 636 300 | grep -qi "#FFD0FF" || fail "page: $(pixel 636 300)"

xdotool key q
wait "$app_pid"
code=$?
app_pid=
[ "$code" -eq 7 ] || fail "exit code $code"
echo "window test passed; screenshots in $out"
