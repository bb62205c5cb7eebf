#!/usr/bin/env bash
# CI: the Windows program as released. Installs mingw-w64 and wine, builds
# the zip (tools/package.sh zip: a Release build, stripped), checks the
# veltra.exe in it (GUI subsystem, only system DLLs, the disk calls it
# imports, its resources, no symbols) and runs the end-to-end test on it
# under wine (tests/e2e/wine_e2e_test.py). VELTRA_SKIP_WINE=1 leaves out the
# wine run.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

step_started=0
step() {
  step_started=$(date +%s)
  echo "== windows: $*"
}
step_done() { echo "== windows: done in $(($(date +%s) - step_started)) s"; }

packages=(cmake ninja-build make nasm gettext unzip g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
[ "${VELTRA_SKIP_WINE:-0}" = 1 ] || packages+=(wine wine64 xvfb xdotool x11-utils imagemagick
  python3 syslinux-common qemu-system-x86 util-linux)
if [ "$(id -u)" = 0 ]; then
  step "installing ${packages[*]}"
  apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null; }
  step_done
fi

step "release build and zip (tools/package.sh zip)"
bash tools/package.sh zip | sed 's/^/   /'
step_done

zip=$(echo dist/veltra-*-win64.zip)
exe=build-win-release/zip/veltra.exe
step "checking $exe from $zip"
rm -rf build-win-release/zip
mkdir -p build-win-release/zip
unzip -q -j "$zip" -d build-win-release/zip
fail() {
  echo "windows: FAILED: $*" >&2
  exit 1
}
# The licence travels with the program.
for file in LEESMIJ.txt LICENSE.txt; do
  [ -f "build-win-release/zip/$file" ] || fail "$zip lacks $file"
done
headers=$(x86_64-w64-mingw32-objdump -p "$exe")

grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI program"
# Stripped: no symbol table, no debug sections.
grep -q 'symbols stripped' <<<"$headers" || fail "not stripped: a symbol table"
x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' && fail "not stripped: debug sections"
echo "veltra.exe: $(stat -c %s "$exe") bytes, $zip: $(stat -c %s "$zip") bytes"

# Only DLLs that every Windows has: no libstdc++, libgcc or winpthread beside it.
while read -r dll; do
  case "${dll,,}" in
  kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll | shell32.dll) ;;
  *) fail "imports from $dll" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
echo "DLLs: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"

# No time in the file header (ld --no-insert-timestamp, and no strip after
# the link, which would write one), so that every build of the commit is the
# same file (tools/reproducible.sh).
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$exe" | tr -d ' ')
[ "$stamp" = 0 ] || fail "the PE header carries a link time ($stamp)"
echo "PE header: no link time"

kernel32=$(awk '/DLL Name: KERNEL32.dll/ {on = 1; next} /DLL Name:/ {on = 0} on {print $NF}' \
  <<<"$headers")
for call in CreateFileW SetFilePointer ReadFile WriteFile CloseHandle SetLastError GetLastError; do
  grep -qx "$call" <<<"$kernel32" || fail "KERNEL32 import $call missing"
done
echo "KERNEL32: CreateFileW SetFilePointer ReadFile WriteFile CloseHandle SetLastError GetLastError"

# Resource types: 3 icon, 14 group icon, 16 version information, 24 manifest.
for type in 000003 00000e 000010 000018; do
  grep -Eq "^[0-9a-f]+   Entry: ID: 0x$type," <<<"$headers" || fail "no resource of type 0x$type"
done
grep -aq 'level="highestAvailable"' "$exe" || fail "manifest without highestAvailable"
grep -aq '>PerMonitorV2' "$exe" || fail "manifest without per-monitor DPI awareness"
strings -el "$exe" | grep -qx 'Dorvanti VELTRA Manager' || fail "no product name"
# The version of project() in CMakeLists.txt.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win-release/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build-win-release/CMakeCache.txt"
strings -el "$exe" | grep -qxF "$version" || fail "no version $version"
echo "resources: icon, group icon, version information (Dorvanti VELTRA Manager $version)," \
  "manifest (highestAvailable, PerMonitorV2)"
step_done

if [ "${VELTRA_SKIP_WINE:-0}" != 1 ]; then
  step "veltra.exe under wine, on disk images (screenshots in build-win-release/wine-e2e)"
  python3 tests/e2e/wine_e2e_test.py --exe "$exe" \
    --boot-bin build-win-release/boottime/veltra.bin --out build-win-release/wine-e2e
  step_done
fi
