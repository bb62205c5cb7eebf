#!/usr/bin/env bash
# Builds the packages into dist/:
#   veltra_<version>-1_<arch>.deb  the Linux program, man page, bash completion,
#                                  menu entry and icon, with Debian's compiler
#                                  flags and its dependencies found by
#                                  dpkg-shlibdeps (built in build-pkg/)
#   veltra-<version>-win64.zip     veltra.exe (Release built for size, unused
#                                  code dropped, stripped: about 300 KB) and
#                                  LEESMIJ.txt (built in build-win-release/)
#
#   tools/package.sh [deb] [zip]   (no argument: both)
#
# The zip is left out, with a note, when mingw-w64 is not installed. Needs the
# build packages of tools/setup.sh and dpkg-dev.
set -euo pipefail
cd "$(dirname "$0")/.."

want_deb=0
want_zip=0
for arg in "$@"; do
  case "$arg" in
    deb) want_deb=1 ;;
    zip) want_zip=1 ;;
    -h | --help)
      sed -n '2,14s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *)
      echo "package: unknown argument $arg (deb, zip)" >&2
      exit 2
      ;;
  esac
done
[ $# -gt 0 ] || { want_deb=1; want_zip=1; }

jobs=$(nproc)
mkdir -p dist

# Runs a step quietly; shows its output only when it fails.
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "package: failed: $*" >&2
    exit 1
  fi
  rm -f "$log"
}

size() { stat -c %s "$1"; }

if [ "$want_deb" = 1 ]; then
  command -v dpkg-shlibdeps >/dev/null ||
    { echo "package: dpkg-shlibdeps is missing (apt-get install dpkg-dev)" >&2; exit 1; }
  echo "package: .deb in build-pkg/"
  # The flags a Debian package is built with (hardening included).
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  quiet cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRA_TESTS=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
  quiet cmake --build build-pkg -j"$jobs" --target veltra
  rm -f build-pkg/veltra_*.deb dist/veltra_*.deb
  (cd build-pkg && quiet cpack -G DEB)
  cp build-pkg/veltra_*.deb dist/
  deb=$(echo dist/veltra_*.deb)
  echo "package: $deb, $(size "$deb") bytes, bin/veltra $(dpkg-deb --fsys-tarfile "$deb" |
    tar -xOf - ./usr/bin/veltra | wc -c) bytes"
  echo "package: Depends: $(dpkg-deb -f "$deb" Depends)"
fi

if [ "$want_zip" = 1 ]; then
  if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    echo "package: mingw-w64 is not installed, so no Windows zip (apt-get install" \
      "g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)"
  else
    echo "package: Windows zip in build-win-release/"
    quiet cmake -S . -B build-win-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_CXX_FLAGS_RELEASE="-Os -DNDEBUG -ffunction-sections -fdata-sections" \
      -DCMAKE_EXE_LINKER_FLAGS_RELEASE="-Wl,--gc-sections -s"
    quiet cmake --build build-win-release -j"$jobs" --target veltra
    rm -f build-win-release/veltra-*.zip dist/veltra-*-win64.zip
    (cd build-win-release && quiet cpack -G ZIP)
    cp build-win-release/veltra-*-win64.zip dist/
    zip=$(echo dist/veltra-*-win64.zip)
    exe=$(unzip -Z1 "$zip" | grep '/veltra\.exe$')
    echo "package: $zip, $(size "$zip") bytes, veltra.exe $(unzip -p "$zip" "$exe" | wc -c) bytes"
  fi
fi
