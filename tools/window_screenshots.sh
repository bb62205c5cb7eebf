#!/usr/bin/env bash
# Pictures of the installer's window as a user sees it: build/veltra under
# Xvfb on two image files, in the language chosen.
#
#   tools/window_screenshots.sh [--lang=en|nl] [OUTPUT FOLDER]
#
# Writes into OUTPUT FOLDER (default docs/), as PNG files with a palette:
#   menu-LANG.png    the main menu of the demo disk (tools/demo.sh's layout,
#                    not installed)
#   help-LANG.png    the help page (F1)
#   editor-LANG.png  key 1: the partition editor of the second image (FAT32,
#                    hidden NTFS active, an extended partition)
# The two disks are image files made in a temporary folder; the program gets
# them with -d and VELTRA_DRIVES and opens nothing else. The language comes
# from --lang (default en). Needs Xvfb, xdotool and ImageMagick's import;
# VELTRA_BUILD_DIR names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

lang=en
case "${1:-}" in
  --lang=*)
    lang=${1#--lang=}
    shift
    ;;
esac
out="${1:-docs}"
build="${VELTRA_BUILD_DIR:-build}"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "window_screenshots: $tool is missing" >&2; exit 1; }
done
[ -x "$build/veltra" ] || { echo "window_screenshots: no $build/veltra; build first" >&2; exit 1; }
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/veltra-window-shots-XXXXXX")
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "window_screenshots: $*" >&2
  exit 1
}

python3 tools/make_disk.py "$work/demo.img" --no-exit \
  --part 06:a --part 0B --part 07 --part 83 >/dev/null
python3 tools/make_disk.py "$work/second.img" --no-exit --signature 0x5645D15D \
  --part 0C --part 17:a --part 05 >/dev/null

. tools/xvfb_start.sh
start_xvfb "$work"

env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG \
  VELTRA_DRIVES="$work/demo.img:$work/second.img" XDG_STATE_HOME="$work/state" \
  "$build/veltra" --lang="$lang" -d "$work/demo.img" -d "$work/second.img" \
  </dev/null >"$work/veltra.log" 2>&1 &
app_pid=$!
tries=0
while :; do
  wid=$(xdotool search --onlyvisible --name "^veltra\$" 2>/dev/null | head -n 1 || true)
  [ -n "$wid" ] && break
  kill -0 "$app_pid" 2>/dev/null || fail "veltra ended without a window: $(cat "$work/veltra.log")"
  tries=$((tries + 1))
  [ $tries -gt 300 ] && fail "no window in 30 s: $(cat "$work/veltra.log")"
  sleep 0.1
done
xdotool mousemove --window "$wid" 100 100
xdotool windowfocus --sync "$wid" 2>/dev/null || true

# settle: the window once it has stopped changing (two equal pictures in a
# row that differ from the one settled on before the last key), in now.png.
settle() {
  local tries=0
  sleep 0.3
  rm -f "$work/last.png"
  while :; do
    import -window "$wid" PNG8:"$work/now.png" 2>/dev/null || fail "import failed"
    if cmp -s "$work/now.png" "$work/last.png" &&
      ! cmp -s "$work/now.png" "$work/settled.png"; then
      break
    fi
    tries=$((tries + 1))
    [ $tries -gt 50 ] && fail "the window did not settle"
    cp "$work/now.png" "$work/last.png"
    sleep 0.2
  done
  cp "$work/now.png" "$work/settled.png"
}
shot() {
  settle
  cp "$work/now.png" "$out/$1"
  echo "$out/$1"
}

shot "menu-$lang.png"
xdotool key --window "$wid" F1
shot "help-$lang.png"
xdotool key --window "$wid" Escape
settle
xdotool key --window "$wid" 1
shot "editor-$lang.png"
kill "$app_pid" 2>/dev/null
wait "$app_pid" 2>/dev/null || true
app_pid=
