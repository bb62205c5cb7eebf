#!/usr/bin/env bash
# Builds the packages into dist/:
#   veltra_<version>_<arch>.deb    the Linux program, man pages, bash completion,
#                                  menu entry, icons and AppStream metadata,
#                                  built by dpkg-buildpackage from debian/ in a
#                                  copy of the sources (build-pkg/veltra-<version>)
#   veltra-<version>-win64.zip     veltra.exe (Release built for size, unused
#                                  code dropped, stripped: about 380 KB),
#                                  LEESMIJ.txt and LICENSE.txt (built in
#                                  build-win-release/)
#
#   tools/package.sh [deb] [zip]   (no argument: both)
#
# dist/SHA256SUMS then lists the sums of both. The same sources make the same
# bytes wherever, whenever and by whomever they are built (tools/reproducible.sh
# checks): every date is SOURCE_DATE_EPOCH, which is set here from
# debian/changelog's latest entry unless it is set already, and the zip's
# entries have that time, a fixed order and fixed permissions
# (tools/make_zip.py). Outside a git checkout the commit for "veltra --version"
# comes from the file .veltra-commit.
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
      sed -n '2,25s/^# \{0,1\}//p' "$0"
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
version=$(sed -n 's/^project(veltra VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)

# The release's date: debian/changelog's latest entry (as dpkg-buildpackage
# takes it), for the man pages, the metainfo, the .deb's file times and the
# zip's entries.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' debian/changelog | head -n 1)" +%s)
fi
export SOURCE_DATE_EPOCH

# The commit the sources are at, for "veltra --version" in a copy without
# git: 10 hex digits, as cmake/version.cmake names it in a checkout.
commit=
if [ -e .git ] && git rev-parse --git-dir >/dev/null 2>&1; then
  commit=$(git rev-parse --short=10 HEAD)
elif [ -f .veltra-commit ]; then
  commit=$(head -n 1 .veltra-commit)
fi

# The files of the sources, NUL-separated: what git tracks and new files it
# does not ignore; outside a checkout, all but the build folders.
source_files() {
  if [ -e .git ] && git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard
  else
    find . \( -path './build*' -o -path ./dist -o -path ./.git -o -path ./.veltra-commit \) \
      -prune -o \( -type f -o -type l \) -printf '%P\0'
  fi
}

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
  source_files | tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$src"
  [ -z "$commit" ] || echo "$commit" >"$src/.veltra-commit"
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
    # What cmake --install puts in the zip's folder, packed by make_zip.py.
    # Not --strip: veltra.exe is linked stripped (-s), and strip would write
    # its own time (or SOURCE_DATE_EPOCH) into the PE header.
    stage=build-win-release/stage/veltra-$version-win64
    rm -rf build-win-release/stage dist/veltra-*-win64.zip
    quiet cmake --install build-win-release --prefix "$stage"
    zip=dist/veltra-$version-win64.zip
    quiet python3 tools/make_zip.py "$stage" "$zip"
    exe=$(unzip -Z1 "$zip" | grep '/veltra\.exe$')
    echo "package: $zip, $(size "$zip") bytes, veltra.exe $(unzip -p "$zip" "$exe" | wc -c) bytes"
  fi
fi

# The sums of the packages, for whoever downloads or rebuilds them
# (sha256sum -c SHA256SUMS in dist/).
(
  cd dist
  shopt -s nullglob
  packages=(veltra_*.deb veltra-*-win64.zip)
  rm -f SHA256SUMS
  if [ ${#packages[@]} -gt 0 ]; then
    sha256sum -- "${packages[@]}" >SHA256SUMS
    echo "package: dist/SHA256SUMS"
    sed 's/^/  /' SHA256SUMS
  fi
)
