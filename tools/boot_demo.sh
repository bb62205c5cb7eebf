#!/usr/bin/env bash
# Starts the demo disk image in QEMU with SeaBIOS, the way a PC starts its
# first disk: in a window when a display exists, otherwise as text in this
# terminal (-display curses).
#
#   tools/boot_demo.sh [IMAGE] [QEMU OPTIONS...]
#
# IMAGE defaults to build/demo/demo.img (made by tools/demo.sh). With the boot
# manager installed, press F1..F4 or Alt-F1..Alt-F4 during the pause at the
# start, Space for its menu, F10 to remove it. The partition that starts says
# so ("BOOT disk=80 part=N ...") and halts; the same line goes to
# build/demo/debugcon.txt. Quit: close the window, or in the terminal press
# Esc then 2 for the QEMU monitor and type "quit".
set -euo pipefail
cd "$(dirname "$0")/.."

image="${VELTRA_DEMO_IMAGE:-${VELTRA_BUILD_DIR:-build}/demo/demo.img}"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  image="$1"
  shift
fi
if [ ! -f "$image" ]; then
  echo "boot_demo: no image $image; make it with tools/demo.sh" >&2
  exit 1
fi
qemu=$(command -v qemu-system-i386 || true)
if [ -z "$qemu" ]; then
  echo "boot_demo: qemu-system-i386 is not installed (tools/setup.sh installs it)" >&2
  exit 1
fi

display=()
case " $* " in
  *" -display "* | *" -nographic "*) ;; # the caller chose
  *)
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      display=()
    else
      display=(-display curses)
    fi
    ;;
esac

log_dir="$(dirname "$image")"
exec "$qemu" -machine pc -accel tcg -m 16 -boot c -no-reboot \
  -drive "file=$image,format=raw,if=ide,index=0" \
  -debugcon "file:$log_dir/debugcon.txt" \
  "${display[@]}" "$@"
