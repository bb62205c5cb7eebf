#!/usr/bin/env bash
# Builds the packages into dist/:
#   veltra_<version>_<arch>.deb    the Linux program, man pages, bash completion,
#                                  menu entry, icons and AppStream metadata,
#                                  built by dpkg-buildpackage from debian/ in a
#                                  copy of the sources (build-pkg/veltra-<version>)
#   veltra-<version>-win64.zip     veltra.exe (Release built for size, unused
#                                  code dropped, stripped: about 300 KB),
#                                  LEESMIJ.txt and LICENSE.txt (built in
#                                  build-win-release/)
#
#   tools/package.sh [deb] [zip]   (no argument: both)
#
# The zip is left out, with a note, when mingw-w64 is not installed. Needs the
# build packages of tools/setup.sh, dpkg-dev and debhelper.
set -euo pipefail
cd "$(dirname "$0")/.."

want_deb=0
want_zip=0
for arg in "$@"; do
  case "$arg" in
    deb) want_deb=1 ;;
    zip) want_zip=1 ;;
    -h | --help)
      sed -n '2,16s/^# \{0,1\}//p' "$0"
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
  command -v dh >/dev/null ||
    { echo "package: debhelper is missing (apt-get install debhelper dpkg-dev)" >&2; exit 1; }
  version=$(sed -n 's/^project(veltra VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)
  changelog=$(dpkg-parsechangelog -S Version)
  [ "$version" = "$changelog" ] || {
    echo "package: debian/changelog is at $changelog, CMakeLists.txt at $version" >&2
    exit 1
  }
  # dpkg-buildpackage writes next to the source folder: a copy of the sources
  # (what git tracks, and new files it does not ignore) keeps that in build-pkg/.
  src=build-pkg/veltra-$version
  echo "package: .deb in $src"
  rm -rf build-pkg
  mkdir -p "$src"
  git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$src"
  (cd "$src" && quiet dpkg-buildpackage -b -us -uc -j"$jobs")
  rm -f dist/veltra_*.deb
  cp build-pkg/veltra_*.deb dist/
  deb=$(echo dist/veltra_*.deb)
  echo "package: $deb, $(size "$deb") bytes, sbin/veltra $(dpkg-deb --fsys-tarfile "$deb" |
    tar -xOf - ./usr/sbin/veltra | wc -c) bytes"
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
