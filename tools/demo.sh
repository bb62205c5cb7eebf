#!/usr/bin/env bash
# Tries the installer on a disk image instead of a real disk.
#
#   tools/demo.sh [--new] [WORD]
#
# Builds (once) the demo disk build/demo/demo.img: four primary partitions of
# recognised types (06h active, 0Bh, 07h, 83h) behind syslinux's MBR, each
# with a tiny boot record that says which partition started. Then starts
# build/veltra on that image only (VELTRA_DRIVES): the menu without WORD, or
# one operation (1v, rm, hide, rest, ...) with it. The image is kept between
# runs, so install here and then start it with tools/boot_demo.sh. --new
# builds a fresh image first. Without a display the installer runs in this
# terminal. VELTRA_DEMO_IMAGE names another image file, VELTRA_BUILD_DIR
# another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${VELTRA_BUILD_DIR:-build}"
image="${VELTRA_DEMO_IMAGE:-$build/demo/demo.img}"
fresh=0
if [ "${1:-}" = "--new" ]; then
  fresh=1
  shift
fi

if [ ! -x "$build/veltra" ]; then
  echo "demo: building the installer into $build/ first" >&2
  [ -f "$build/build.ninja" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
  cmake --build "$build" -j"$(nproc)" --target veltra >&2
fi

if [ "$fresh" = 1 ] || [ ! -f "$image" ]; then
  mkdir -p "$(dirname "$image")"
  python3 tools/make_disk.py "$image" --force --no-exit \
    --part 06:a --part 0B --part 07 --part 83 >&2
fi

echo "demo: drive 0 is $image (start it with tools/boot_demo.sh)" >&2
exec env VELTRA_DRIVES="$image" "$build/veltra" "$@"
