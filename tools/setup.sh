#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need, then
# builds everything into build/. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" = 0 ]; then
  apt-get update
  # faketime and diffoscope-minimal for tools/reproducible.sh: a later clock for
  # the second build, and what differs when it does (the minimal diffoscope,
  # under 1 MB: it reads the .deb, the zip and the PE file's headers without
  # the hundreds of MB of tools the full one pulls in).
  apt-get install -y --no-install-recommends \
    cmake ninja-build g++ make pkg-config nasm gettext python3 \
    libsdl2-dev libunicorn-dev libgtest-dev libgmock-dev googletest libbenchmark-dev \
    qemu-system-x86 qemu-system-gui seabios syslinux-common \
    xvfb xauth xdotool x11-utils x11-apps imagemagick kbd console-setup-linux \
    dpkg-dev debhelper lintian appstream man-db file groff-base desktop-file-utils bash-completion \
    libxml2-utils polkitd dbus-daemon mbr fdisk \
    clang libclang-rt-14-dev nlohmann-json3-dev \
    faketime diffoscope-minimal
fi
# CI builds with warnings as errors.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CI:+-DVELTRA_WERROR=ON}
cmake --build build -j"$(nproc)"
