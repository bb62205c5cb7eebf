#!/usr/bin/env bash
# Starts the demo disk image in QEMU with SeaBIOS, the way a PC starts its
# first disk: in a window when a display exists, otherwise as text in this
# terminal (-display curses).
#
#   tools/boot_demo.sh [IMAGE] [QEMU OPTIONS...]
#   tools/boot_demo.sh --help
#
# IMAGE defaults to build/demo/demo.img (made by tools/demo.sh). QEMU runs
# with KVM when /dev/kvm can be opened, else with TCG (emulation); an -accel
# or -enable-kvm among the QEMU options chooses instead.
#
# With the boot manager installed, nothing new shows while it pauses at the
# start (the screen stays at SeaBIOS's "Booting from Hard Disk..."): 3 s by
# the BIOS clock as installed (veltra --pause changes it), less with KVM when
# its 2^32-step loop ends first. Press a key during that pause: F1..F4 or
# Alt-F1..Alt-F4, Space for its menu, F10 to remove it; without a key the
# stored default acts, or the disk starts as it is. The partition that starts
# says so ("BOOT disk=80 part=N ...") and halts; the same line goes to
# build/demo/debugcon.txt. Quit: close the window, or in the terminal press
# Esc then 2 for the QEMU monitor and type "quit".
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
  exit 0
fi

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
curses=0
case " $* " in
  *" -display "* | *" -nographic "*) ;; # the caller chose
  *)
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      display=()
    else
      display=(-display curses)
      curses=1
    fi
    ;;
esac

# KVM when this user can open /dev/kvm (it may exist but be closed to us).
accel=()
case " $* " in
  *" -accel "* | *" -enable-kvm "* | *accel=*)
    pause="3 s by the BIOS clock, or less when its loop ends first"
    ;;
  *)
    if [ -c /dev/kvm ] && (exec 3<>/dev/kvm) 2>/dev/null; then
      accel=(-accel kvm)
      pause="up to 3 s (KVM: its loop may end first, as on a fast PC)"
    else
      accel=(-accel tcg)
      pause="3 s by the BIOS clock (TCG emulation, no usable /dev/kvm)"
    fi
    ;;
esac

cat <<EOF
boot_demo: starting $image in QEMU.
  With VELTRA installed, nothing new shows while it pauses at the start (the
  screen stays at "Booting from Hard Disk..."). The pause lasts
  $pause.
  Press a key during that pause:
    F1..F4         partition 1..4 active, the others hidden
    Alt-F1..F4     partition 1..4 active, the others visible
    Space          the boot menu (then one of its keys)
    F10            remove the boot manager
  Without a key the stored default acts, or the disk starts as it is.
  The partition that starts prints "BOOT disk=80 part=N".
EOF
if [ "$curses" = 1 ]; then
  echo "  Quit: Esc then 2 for the QEMU monitor, type quit."
  # The text display takes over this terminal: give time to read the above.
  if [ -t 0 ]; then
    read -r -t 10 -p "  Enter starts QEMU (or wait 10 s) " || true
    echo
  fi
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ ${#display[@]} = 0 ]; then
  echo "  Quit: close the QEMU window."
fi

log_dir="$(dirname "$image")"
exec "$qemu" -machine pc "${accel[@]}" -m 16 -boot c -no-reboot \
  -drive "file=$image,format=raw,if=ide,index=0" \
  -debugcon "file:$log_dir/debugcon.txt" \
  "${display[@]}" "$@"
