#!/usr/bin/env bash
# CI: the Windows program. Installs mingw-w64 and wine, cross-builds
# build-win/veltra.exe, checks the program file (GUI subsystem, only system
# DLLs, the disk calls it imports, its resources) and runs it once under wine
# (tools/wine_smoke.sh). VELTRA_SKIP_WINE=1 leaves out the wine run.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

step_started=0
step() {
  step_started=$(date +%s)
  echo "== windows: $*"
}
step_done() { echo "== windows: done in $(($(date +%s) - step_started)) s"; }

packages=(cmake make nasm g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev)
[ "${VELTRA_SKIP_WINE:-0}" = 1 ] || packages+=(wine wine64 xvfb xdotool x11-utils imagemagick)
if [ "$(id -u)" = 0 ]; then
  step "installing ${packages[*]}"
  apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null; }
  step_done
fi

step "cross build of build-win/veltra.exe"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build-win --target veltra -j2
step_done

step "checking build-win/veltra.exe"
exe=build-win/veltra.exe
fail() {
  echo "windows: FAILED: $*" >&2
  exit 1
}
headers=$(x86_64-w64-mingw32-objdump -p "$exe")

grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI program"

# Only DLLs that every Windows has: no libstdc++, libgcc or winpthread beside it.
while read -r dll; do
  case "${dll,,}" in
  kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll | shell32.dll) ;;
  *) fail "imports from $dll" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
echo "DLLs: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"

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
strings -el "$exe" | grep -qx 'Dorvanti VELTRA Manager' || fail "no product name"
# The version of project() in CMakeLists.txt.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build-win/CMakeCache.txt"
strings -el "$exe" | grep -qxF "$version" || fail "no version $version"
echo "resources: icon, group icon, version information (Dorvanti VELTRA Manager $version), manifest (highestAvailable)"
step_done

if [ "${VELTRA_SKIP_WINE:-0}" != 1 ]; then
  step "veltra.exe under wine"
  bash tools/wine_smoke.sh "$exe" build-win/wine-smoke
  step_done
fi
