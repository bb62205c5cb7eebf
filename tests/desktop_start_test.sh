#!/bin/sh
# The start from the desktop menu under Xvfb: veltra with no arguments, no
# terminal and a display lists the whole disks in its window; Down and Enter
# open the second one (as root, directly) in the menu; Escape ends with 0.
# The program runs in a mount namespace of its own whose /sys/block and /dev
# hold two disk image files only: it never sees a disk of this machine.
# Usage: desktop_start_test.sh <veltra> <make_disk.py> <output folder>
# Exits 77 (skipped) without root, unshare, Xvfb or the X tools.
veltra=$1
make_disk=$2
out=$3
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root for its mount namespace"; exit 77; }
for tool in unshare Xvfb xdotool xwininfo import convert python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool missing"; exit 77; }
done
rm -rf "$out" && mkdir -p "$out/sys" "$out/dev"
xvfb_pid=
app_pid=
trap '[ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null; [ -n "$xvfb_pid" ] && kill "$xvfb_pid"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# Two disks as the system lists them: sda with VELTRA on it, sdb without.
for disk in sda sdb; do
    mkdir -p "$out/sys/$disk/device"
    python3 "$make_disk" "$out/dev/$disk" >/dev/null || fail "make_disk.py"
    echo $(($(stat -c %s "$out/dev/$disk") / 512)) >"$out/sys/$disk/size"
    echo "Testschijf $disk" >"$out/sys/$disk/device/model"
done
printf VELTRA | dd of="$out/dev/sda" bs=1 seek=32 conv=notrunc status=none
cp "$out/dev/sdb" "$out/sdb.before"

. "$(dirname "$0")/../tools/xvfb_start.sh"
start_xvfb "$out"

# Starts veltra bare, its /dev the images and the few devices a program
# needs, and waits for its window.
mkdir -p "$out/old-dev"
start() {
    unshare -m sh -c '
        mount --bind /dev "$1/old-dev" && mount -t tmpfs none /dev || exit 1
        for d in null zero random urandom; do touch /dev/$d && mount --bind "$1/old-dev/$d" /dev/$d; done
        for d in sda sdb; do touch /dev/$d && mount --bind "$1/dev/$d" /dev/$d || exit 1; done
        mount --bind "$1/sys" /sys/block || exit 1
        exec "$2" </dev/null >"$1/out.txt" 2>&1' sh "$out" "$veltra" &
    app_pid=$!
    tries=0
    while :; do
        wid=$(xdotool search --onlyvisible --name "^veltra\$" 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        tries=$((tries + 1)) && [ $tries -gt 200 ] && fail "no window: $(cat "$out/out.txt")"
        sleep 0.1
    done
    xdotool mousemove --window "$wid" 100 100
    xdotool windowfocus --sync "$wid" 2>/dev/null
}
ended() {
    wait "$app_pid"
    code=$?
    app_pid=
    [ "$code" = "$1" ] || fail "exit code $code, not $1: $(cat "$out/out.txt")"
}
pixel() { convert "$out/$1" -crop "1x1+$2+$3" txt:- | tail -n 1 | grep -qi "$4"; }
# The colours in text row $2 of the picture, at x 8..631.
colours() { convert "$out/$1" -crop "624x16+8+$((16 * $2 - 16))" -format %k info:; }
# Takes pictures into $1 until the command after it holds.
picture() {
    name=$1
    shift
    tries=0
    until import -window "$wid" "$out/$name" 2>/dev/null && "$@"; do
        tries=$((tries + 1)) && [ $tries -gt 50 ] && fail "$*"
        sleep 0.2
    done
}
# Escape on the picker ends with 0.
start
picture picker.png pixel picker.png 636 120 "#DDA0DD"
xdotool key Escape
ended 0

# The picker: the first disk on the selection bar (text row 8), the page pale
# rose, the title band as on the menu, row 4 empty.
start
picture picker.png pixel picker.png 636 120 "#DDA0DD"
pixel picker.png 636 140 "#FFD0FF" || fail "picker: page"
pixel picker.png 636 0 "#FF4EBC" || fail "picker: band"
[ "$(colours picker.png 4)" = 1 ] || fail "picker: row 4"

# Down and Enter: the menu of /dev/sdb, not installed, in the same window:
# its text in row 4, its first line ("IN", row 9) selected.
xdotool key --delay 100 Down Return
texts() { [ "$(colours "$1" "$2")" -gt 1 ]; }
picture menu.png texts menu.png 4
pixel menu.png 636 136 "#DDA0DD" || fail "menu: row 9 is not selected"
xdotool key Escape
ended 0
cmp -s "$out/dev/sdb" "$out/sdb.before" || fail "/dev/sdb changed"
echo "desktop start passed; pictures in $out"
