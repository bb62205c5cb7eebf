#!/usr/bin/env bash
# CI: the Debian package. Builds dist/veltra_*.deb (tools/package.sh deb),
# has lintian check it (any error or warning fails), checks what it holds,
# its dependencies, man pages, menu entry and AppStream metadata, installs it
# with apt-get, runs the installed veltra: --version, and a batch install on a
# disk image, then purges the package and checks that the backup the install
# made is still there. The installed program only ever sees image files
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

packages=(dpkg-dev debhelper lintian appstream man-db file groff-base desktop-file-utils
  bash-completion libxml2-utils polkitd dbus-daemon)
if [ "$(id -u)" = 0 ]; then
  apt-get install -y --no-install-recommends "${packages[@]}" >/dev/null 2>&1 ||
    quiet bash -c "apt-get update && apt-get install -y --no-install-recommends ${packages[*]}"
fi

work=$(mktemp -d)
backups=/var/backups/veltra
installed=0
list_backups() { { find "$backups" -type f 2>/dev/null || true; } | sort; }
cleanup() {
  if [ "$installed" = 1 ]; then as_root apt-get purge -y veltra >/dev/null 2>&1 || true; fi
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

# lintian on the .changes checks the .deb, its debug symbols and the
# build information; its exit status alone would pass warnings through.
echo "== package: lintian -I -E --pedantic"
changes=(build-pkg/veltra_*.changes)
lintian -I -E --pedantic --fail-on error,warning "${changes[@]}" >"$work/lintian.txt" 2>&1 &&
  lintian_status=0 || lintian_status=$?
lintian_out=$(grep -v '^running with root privileges' "$work/lintian.txt" || true)
[ -z "$lintian_out" ] || echo "$lintian_out" | sed 's/^/   /'
if [ "$lintian_status" != 0 ] || grep -q '^[EW]:' <<<"$lintian_out"; then
  fail "lintian found errors or warnings (exit $lintian_status)"
fi
echo "   no errors, no warnings"

echo "== package: checking $deb"
[[ $(basename "$deb") =~ ^veltra_[0-9.]+_[a-z0-9]+\.deb$ ]] || fail "file name $deb"
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
paths=(usr/sbin/veltra usr/share/man/man8/veltra.8.gz usr/share/man/nl/man8/veltra.8.gz
  usr/share/bash-completion/completions/veltra usr/share/applications/veltra.desktop
  usr/share/metainfo/org.veltra_project.veltra.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/veltra.svg
  usr/share/doc/veltra/README.Debian usr/share/doc/veltra/copyright
  usr/share/polkit-1/actions/org.veltra.pkexec.veltra.policy)
for size in 16 32 48 64 128 256; do
  paths+=("usr/share/icons/hicolor/${size}x$size/apps/veltra.png")
done
for path in "${paths[@]}"; do
  grep -qx "\./$path" <<<"$contents" || fail "$deb lacks /$path"
done
depends=$(dpkg-deb -f "$deb" Depends)
# dpkg-shlibdeps found the libraries the program links: only the C library
# (the C++ runtime is linked in); the window library, loaded only when a
# window opens, is recommended instead.
for lib in libc6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q "\blibsdl2" <<<"$depends" && fail "Depends names the window library: $depends"
grep -q "\blibstdc++" <<<"$depends" && fail "Depends names the C++ runtime: $depends"
grep -q "\blibsdl2-2.0-0\b" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks libsdl2-2.0-0"
[ "$(dpkg-deb -f "$deb" Section)" = admin ] || fail "section is not admin"
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
file "$work/deb/usr/sbin/veltra" | grep -q 'not stripped' && fail "/usr/sbin/veltra is not stripped"
readelf -S "$work/deb/usr/sbin/veltra" | grep -q '\.comment' && fail "/usr/sbin/veltra keeps .comment"
for page in man8/veltra.8.gz nl/man8/veltra.8.gz; do
  warnings=$(zcat "$work/deb/usr/share/man/$page" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done
desktop-file-validate "$work/deb/usr/share/applications/veltra.desktop" ||
  fail "veltra.desktop does not validate"
quiet appstreamcli validate --no-net --pedantic \
  "$work/deb/usr/share/metainfo/org.veltra_project.veltra.metainfo.xml"
for size in 16 32 48 64 128 256; do
  icon=$(file "$work/deb/usr/share/icons/hicolor/${size}x$size/apps/veltra.png")
  [[ $icon == *"$size x $size, 8-bit/color RGBA"* ]] || fail "icon ${size}x$size: $icon"
done
# The polkit action: valid against polkit's DTD, naming the installed program
# and letting it keep the display.
policy=usr/share/polkit-1/actions/org.veltra.pkexec.veltra.policy
cp "$work/deb/$policy" "$work/veltra.policy"
dtd=/usr/share/polkit-1/policyconfig-1.dtd
if [ -f "$dtd" ]; then
  xmllint --noout --dtdvalid "$dtd" "$work/veltra.policy" || fail "/$policy is not valid"
else
  xmllint --noout "$work/veltra.policy" || fail "/$policy is not well-formed"
fi
for annotation in 'exec.path">/usr/sbin/veltra<' 'exec.allow_gui">true<'; do
  grep -q "$annotation" "$work/veltra.policy" || fail "/$policy lacks $annotation"
done
echo "   $(stat -c %s "$deb") bytes; Depends: $depends"

echo "== package: apt-get install ./$deb"
installed=1
quiet as_root apt-get install -y "./$deb"
hash -r
veltra=$(command -v veltra) || fail "no veltra on PATH after installing"
[ "$veltra" = /usr/sbin/veltra ] || fail "veltra is $veltra, not /usr/sbin/veltra"

# man finds both pages: English by default, Dutch for nl.
for lang in en nl; do
  want_name=NAME
  [ "$lang" = nl ] && want_name=NAAM
  page=$(MANWIDTH=80 man -L "$lang" -P cat 8 veltra 2>&1) || fail "man -L $lang 8 veltra: $page"
  grep -q "^$want_name" <<<"$page" || fail "man -L $lang 8 veltra shows no $want_name section"
done

# polkit reads the installed action: asked through a bus of this script's own
# (no system bus needed), pkaction shows it with the program's path.
if command -v pkaction >/dev/null && [ -x /usr/lib/polkit-1/polkitd ] &&
  command -v dbus-daemon >/dev/null && [ "$(id -u)" = 0 ]; then
  bus=$work/bus
  mkdir -m 755 "$bus"
  chmod 755 "$work" # polkitd runs as its own user
  cat >"$bus/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$bus/socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
  dbus-daemon --config-file="$bus/bus.conf" --nofork --nopidfile >/dev/null 2>&1 &
  bus_pid=$!
  for _ in $(seq 50); do [ -S "$bus/socket" ] && break; sleep 0.1; done
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$bus/socket"
  /usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
  polkitd_pid=$!
  action=
  for _ in $(seq 50); do
    action=$(timeout 10 pkaction --action-id org.veltra.pkexec.veltra --verbose 2>/dev/null) &&
      break
    sleep 0.2
  done
  unset DBUS_SYSTEM_BUS_ADDRESS
  kill "$polkitd_pid" "$bus_pid" 2>/dev/null || true
  wait "$polkitd_pid" "$bus_pid" 2>/dev/null || true
  grep -q "org.freedesktop.policykit.exec.path -> /usr/sbin/veltra" <<<"$action" ||
    fail "pkaction does not show the action with /usr/sbin/veltra: $action"
  grep -q "org.freedesktop.policykit.exec.allow_gui -> true" <<<"$action" ||
    fail "pkaction: no allow_gui: $action"
  echo "   pkaction: $(head -n 1 <<<"$action") $(grep -c "annotation:" <<<"$action") annotations"
fi

# bash-completion finds the completion by the command's name.
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
  __load_completion veltra || exit 1
  COMP_WORDS=(veltra --dri); COMP_CWORD=1; COMP_LINE="veltra --dri"; COMP_POINT=${#COMP_LINE}
  _veltra veltra --dri veltra; echo "${COMPREPLY[*]}"') ||
  fail "bash-completion does not load a completion for veltra"
[ "$completed" = --drive ] || fail "completing 'veltra --dri' gave '$completed'"
# "--drive=" takes a file; a report takes no word. The line as bash splits it at "=".
complete_line() {
  (cd "$work" && bash -c 'source /usr/share/bash-completion/bash_completion
    __load_completion veltra || exit 1
    COMP_LINE=$1; COMP_POINT=${#COMP_LINE}; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _veltra veltra "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"; echo "${COMPREPLY[*]}"' _ "$@")
}
touch "$work/completed.img"
completed=$(complete_line "veltra --drive=comp" veltra --drive = comp)
[ "$completed" = completed.img ] || fail "completing 'veltra --drive=comp' gave '$completed'"
completed=$(complete_line "veltra --status --json " veltra --status --json "")
[ -z "$completed" ] || fail "completing after --json offered '$completed'"

python3 tools/make_disk.py "$work/disk.img" >/dev/null
cp "$work/disk.img" "$work/original.img"
cp "$work/disk.img" "$work/scratch.img"
list_backups >"$work/backups.before"
# As root the backups go to /var/backups/veltra, which a purge must keep;
# anyone else keeps them in the test's folder.
if [ "$(id -u)" = 0 ]; then unset XDG_STATE_HOME; else export XDG_STATE_HOME="$work/state"; fi

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

made=$(list_backups | comm -13 "$work/backups.before" -)
if [ "$(id -u)" = 0 ]; then
  [ -n "$made" ] || fail "the install made no backup in $backups"
fi

echo "== package: apt-get purge veltra"
quiet as_root apt-get purge -y veltra
installed=0
hash -r
! command -v veltra >/dev/null || fail "veltra still on PATH after purging"
! dpkg -s veltra >/dev/null 2>&1 || fail "veltra is still known to dpkg after purging"
# The backups are the only way back: a purge leaves them (README.Debian).
while read -r file; do
  [ -z "$file" ] || [ -f "$file" ] || fail "purging removed the backup $file"
done <<<"$made"

echo "== package: passed in $(($(date +%s) - started)) s"
