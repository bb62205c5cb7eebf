#!/usr/bin/env bash
# CI: the Debian package. Builds dist/veltra_*.deb (tools/package.sh deb),
# checks what it holds and its dependencies, installs it with apt-get, runs
# the installed veltra: --version, and a batch install on a disk image, then
# removes the package again. The installed program only ever sees image files
# (VELTRA_DRIVES always set). Needs root (or sudo) for apt-get.
#
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
started=$(date +%s)

fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}
as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}
# Runs a step quietly; shows its output only when it fails.
quiet() {
  local log
  log=$(mktemp)
  "$@" >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; fail "$*"; }
  rm -f "$log"
}

packages=(dpkg-dev file groff-base desktop-file-utils bash-completion)
if [ "$(id -u)" = 0 ]; then
  apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null 2>&1 ||
    quiet bash -c "apt-get update && apt-get install -y --no-install-recommends ${packages[*]}"
fi

work=$(mktemp -d)
backups=/var/backups/veltra
installed=0
list_backups() { { find "$backups" -type f 2>/dev/null || true; } | sort; }
cleanup() {
  if [ "$installed" = 1 ]; then as_root apt-get remove -y veltra >/dev/null 2>&1 || true; fi
  # Backups the installed program made of the test images (as root they go
  # to /var/backups/veltra) are not the machine's to keep.
  if [ -f "$work/backups.before" ]; then
    list_backups | comm -13 "$work/backups.before" - |
      while read -r file; do as_root rm -f "$file"; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== package: building the .deb"
bash tools/package.sh deb | sed 's/^/   /'
debs=(dist/veltra_*.deb)
[ ${#debs[@]} = 1 ] || fail "expected one dist/veltra_*.deb, found: ${debs[*]}"
deb=${debs[0]}

echo "== package: checking $deb"
[[ $(basename "$deb") =~ ^veltra_[0-9.]+-1_[a-z0-9]+\.deb$ ]] || fail "file name $deb"
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in usr/bin/veltra usr/share/man/man1/veltra.1 \
  usr/share/bash-completion/completions/veltra usr/share/applications/veltra.desktop \
  usr/share/icons/hicolor/32x32/apps/veltra.png usr/share/doc/veltra/README.md \
  usr/share/doc/veltra/copyright; do
  grep -qx "\./$path" <<<"$contents" || fail "$deb lacks /$path"
done
depends=$(dpkg-deb -f "$deb" Depends)
# dpkg-shlibdeps found the libraries the program links; the window library,
# loaded only when a window opens, is recommended instead.
for lib in libc6 libstdc++6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q "\blibsdl2" <<<"$depends" && fail "Depends names the window library: $depends"
grep -q "\blibsdl2-2.0-0\b" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks libsdl2-2.0-0"
[ "$(dpkg-deb -f "$deb" Section)" = admin ] || fail "section is not admin"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/bin/veltra >"$work/veltra"
file "$work/veltra" | grep -q 'not stripped' && fail "/usr/bin/veltra is not stripped"
warnings=$(groff -man -ww -z packaging/veltra.1 2>&1)
[ -z "$warnings" ] || fail "man page: $warnings"
desktop-file-validate packaging/veltra.desktop || fail "packaging/veltra.desktop"
echo "   $(stat -c %s "$deb") bytes; Depends: $depends"

echo "== package: apt-get install ./$deb"
installed=1
quiet as_root apt-get install -y "./$deb"
hash -r
veltra=$(command -v veltra) || fail "no veltra on PATH after installing"
[ "$veltra" = /usr/bin/veltra ] || fail "veltra is $veltra, not /usr/bin/veltra"

# bash-completion finds the completion by the command's name.
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
  __load_completion veltra || exit 1
  COMP_WORDS=(veltra --dr); COMP_CWORD=1; COMP_LINE="veltra --dr"; COMP_POINT=${#COMP_LINE}
  _veltra veltra --dr veltra; echo "${COMPREPLY[*]}"') ||
  fail "bash-completion does not load a completion for veltra"
[ "$completed" = --drive ] || fail "completing 'veltra --dr' gave '$completed'"

python3 tools/make_disk.py "$work/disk.img" >/dev/null
cp "$work/disk.img" "$work/original.img"
cp "$work/disk.img" "$work/scratch.img"
list_backups >"$work/backups.before"
export XDG_STATE_HOME="$work/state"

# Even --version runs with an image as drive 0: nothing here may reach a disk.
version=$(VELTRA_DRIVES="$work/scratch.img" DISPLAY= WAYLAND_DISPLAY= timeout 20 \
  veltra --version </dev/null 2>&1) && status=0 || status=$?
want="veltra $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')"
if [ "$status" = 0 ] && [[ $version == "$want "* ]]; then
  echo "   veltra --version: $version"
else
  fail "veltra --version: exit $status, '${version:0:80}' (expected '$want (...)')"
fi

echo "== package: the installed veltra installs on an image"
VELTRA_DRIVES="$work/disk.img" DISPLAY= WAYLAND_DISPLAY= timeout 20 \
  veltra 1v </dev/null >"$work/out.txt" 2>&1 && status=0 || status=$?
[ "$status" = 0 ] || { cat "$work/out.txt" >&2; fail "veltra 1v ended with $status"; }
marker=$(dd if="$work/disk.img" bs=1 skip=32 count=6 status=none)
[ "$marker" = VELTRA ] || { cat "$work/out.txt" >&2; fail "no VELTRA at LBA 0 bytes 32..37"; }
cmp -s -n 512 <(dd if="$work/disk.img" bs=512 skip=1 count=1 status=none) \
  "$work/original.img" || fail "LBA 1 does not hold the image's previous MBR"

echo "== package: apt-get remove veltra"
quiet as_root apt-get remove -y veltra
installed=0
hash -r
! command -v veltra >/dev/null || fail "veltra still on PATH after removing"

echo "== package: passed in $(($(date +%s) - started)) s"
