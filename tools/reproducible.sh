#!/usr/bin/env bash
# Checks that the packages are reproducible: builds them once more from a
# copy of the sources in a changed environment and compares them, byte for
# byte, with the ones in dist/ (tools/package.sh; built first when missing):
#
#   tools/reproducible.sh [--keep] [deb] [zip]     (no package named: both)
#
# The second build differs from the first in
#   - its folder: another path, at another depth, without git (the commit
#     comes from .veltra-commit);
#   - its user: nobody when run as root (with a copy it owns), and an empty
#     home;
#   - its clock: 400 days later through faketime (package faketime), else
#     only the minutes between the builds;
#   - umask (0002 or 0022, whichever the first did not have), locale (LANG,
#     LC_ALL, LANGUAGE), time zone (UTC+14), host name (when root may change
#     it in a namespace of its own), and SOURCE_DATE_EPOCH (unset when it
#     is set here, else set to debian/changelog's date).
# Compared: the .deb, the zip, veltra.exe in it, and in both builds' trees
# veltra.bin and the record store source. On a difference it names the first
# differing file and, when diffoscope is installed, shows what differs.
# Prints both builds' SHA256 sums. Exits 0 when all are the same, 1 when not.
# VELTRA_REPRO_TIMEOUT bounds the second build (seconds, default 900);
# --keep keeps the second build's folder.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
started=$(date +%s)

keep=0
want=()
for arg in "$@"; do
  case "$arg" in
    deb | zip) want+=("$arg") ;;
    --keep) keep=1 ;;
    -h | --help)
      sed -n '2,25s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *)
      echo "reproducible: unknown argument $arg (deb, zip, --keep)" >&2
      exit 2
      ;;
  esac
done
[ ${#want[@]} -gt 0 ] || want=(deb zip)
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  for i in "${!want[@]}"; do
    if [ "${want[$i]}" = zip ]; then
      echo "reproducible: mingw-w64 is not installed, so the zip is left out"
      unset 'want[i]'
    fi
  done
  want=("${want[@]}")
  [ ${#want[@]} -gt 0 ] || exit 0
fi

version=$(sed -n 's/^project(veltra VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)
package_name() {
  case "$1" in
    deb) echo "veltra_${version}_$(dpkg --print-architecture).deb" ;;
    zip) echo "veltra-$version-win64.zip" ;;
  esac
}

# The first build: what dist/ holds, else built here as the caller is.
missing=()
for kind in "${want[@]}"; do
  [ -f "dist/$(package_name "$kind")" ] || missing+=("$kind")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== reproducible: first build (tools/package.sh ${missing[*]})"
  bash tools/package.sh "${missing[@]}" | sed 's/^/   /'
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/veltra-repro.XXXXXX")
cleanup() {
  if [ "$keep" = 1 ]; then echo "reproducible: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
chmod 755 "$work"
other=$work/another/folder/veltra-rebuilt
mkdir -p "$other" "$work/home"

# The copy: the files tools/package.sh would take, and the commit.
if [ -e .git ] && git rev-parse --git-dir >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$other"
  git rev-parse --short=10 HEAD >"$other/.veltra-commit"
else
  find . \( -path './build*' -o -path ./dist -o -path ./.git \) -prune -o \
    \( -type f -o -type l \) -printf '%P\0' |
    tar --null -T - -cf - | tar -xf - -C "$other"
fi

# The changed environment.
variations=("folder $other")
run_as=()
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  chown -R nobody:"$(id -gn nobody)" "$work/another" "$work/home"
  run_as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  variations+=("user nobody")
else
  variations+=("user $(id -un) (the same: only root can build as another)")
fi
if [ "$(umask)" = 0002 ]; then mask=0022; else mask=0002; fi
variations+=("umask $mask (was $(umask))")
# A locale other than the first build's (of those every system has), and
# the tools' messages in Dutch.
locale=${LC_ALL:-${LANG:-unset}}
case "$locale" in
  *.UTF-8 | *.utf8) other_locale=POSIX ;;
  *) other_locale=C.UTF-8 ;;
esac
variables=(HOME="$work/home" LANG="$other_locale" LC_ALL="$other_locale" LANGUAGE=nl:en TZ=UTC-14)
variations+=("LANG=LC_ALL=$other_locale LANGUAGE=nl:en (was $locale)"
  "TZ=UTC-14 (was ${TZ:-unset})")
unset_date=()
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  unset_date=(-u SOURCE_DATE_EPOCH)
  variations+=("SOURCE_DATE_EPOCH unset (was $SOURCE_DATE_EPOCH)")
else
  changelog_date=$(date -d "$(sed -n 's/^ -- .*>  //p' debian/changelog | head -n 1)" +%s)
  variables+=(SOURCE_DATE_EPOCH="$changelog_date")
  variations+=("SOURCE_DATE_EPOCH=$changelog_date (was unset)")
fi
faketime_lib=
for lib in /usr/lib/*/faketime/libfaketime.so.1; do
  [ -f "$lib" ] && faketime_lib=$lib && break
done
if [ -n "$faketime_lib" ]; then
  # Only the wall clock moves: build tools time their steps by the monotonic
  # one, and make and ninja see the files' real times (faked ones look like
  # files from the future and send ninja round in circles).
  variables+=(LD_PRELOAD="$faketime_lib" FAKETIME=+400d FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1)
  variations+=("clock 400 days later (faketime)")
else
  variations+=("clock: only later (apt-get install faketime moves it 400 days)")
fi
host=()
if [ "$(id -u)" = 0 ] && unshare --uts true 2>/dev/null; then
  host=(unshare --uts sh -c 'hostname veltra-rebuild && exec "$@"' sh)
  variations+=("host name veltra-rebuild (was $(hostname))")
fi

echo "== reproducible: second build, changed:"
printf '   %s\n' "${variations[@]}"
build_started=$(date +%s)
status=0
timeout --kill-after=30 "${VELTRA_REPRO_TIMEOUT:-900}" \
  "${host[@]}" "${run_as[@]}" env "${unset_date[@]}" "${variables[@]}" \
  bash -c 'umask "$1" && cd "$2" && shift 2 && date "+   (its clock: %F %T %Z)" && bash tools/package.sh "$@"' \
  sh "$mask" "$other" "${want[@]}" >"$work/build.log" 2>&1 || status=$?
sed 's/^/   /' "$work/build.log"
if [ "$status" != 0 ]; then
  echo "reproducible: FAILED: the second build ended with $status" \
    "$([ "$status" = 124 ] && echo "(out of time)")" >&2
  exit 1
fi
echo "   built in $(($(date +%s) - build_started)) s"

# The first differing file of two packages: their members after unpacking,
# then their lists (names, order, times, owners, permissions).
first_difference() {
  local kind=$1 first=$2 second=$3 a=$work/unpacked/a b=$work/unpacked/b
  rm -rf "$work/unpacked"
  mkdir -p "$a" "$b"
  case "$kind" in
    deb)
      dpkg-deb -R "$first" "$a" && dpkg-deb -R "$second" "$b"
      listing() { dpkg-deb --ctrl-tarfile "$1" | tar -tvf - && dpkg-deb -c "$1"; }
      ;;
    zip)
      unzip -q "$first" -d "$a" && unzip -q "$second" -d "$b"
      listing() { zipinfo -l "$1" | tail -n +2; }
      ;;
  esac
  local files
  files=$(cd "$work/unpacked" && diff -rq a b 2>&1 | head -n 1) || true
  if [ -n "$files" ]; then
    echo "   first differing file: $files"
  elif ! diff <(listing "$first") <(listing "$second") >"$work/listing.diff"; then
    echo "   the same files; their list differs first at:"
    { grep -m 1 '^<' "$work/listing.diff" || true; grep -m 1 '^>' "$work/listing.diff" || true; } |
      sed 's/^/     /'
  else
    echo "   the same files and list; the package's own framing differs" \
      "(first differing byte: $(cmp "$first" "$second" | sed 's/.*: //'))"
  fi
}

echo "== reproducible: comparing"
different=0
compare_built() { # path in both build trees
  local path=$1
  [ -f "$top/$path" ] && [ -f "$other/$path" ] || return 0
  if cmp -s "$top/$path" "$other/$path"; then
    echo "   same: $path ($(stat -c %s "$top/$path") bytes)"
  else
    echo "   DIFFERENT: $path"
    different=1
  fi
}
for kind in "${want[@]}"; do
  name=$(package_name "$kind")
  first=dist/$name
  second=$other/dist/$name
  if [ ! -f "$second" ]; then
    echo "   DIFFERENT: the second build made no $name"
    different=1
    continue
  fi
  if cmp -s "$first" "$second"; then
    echo "   same: $name ($(stat -c %s "$first") bytes)"
  else
    echo "   DIFFERENT: $name"
    first_difference "$kind" "$first" "$second"
    different=1
    if command -v diffoscope >/dev/null; then
      timeout 300 diffoscope --text "$work/diffoscope.txt" --max-report-size 2000000 \
        "$first" "$second" >/dev/null 2>&1 || true
      if [ -s "$work/diffoscope.txt" ]; then
        echo "   diffoscope (first 60 lines):"
        head -n 60 "$work/diffoscope.txt" | sed 's/^/     /'
      fi
    fi
  fi
  case "$kind" in
    deb)
      triple=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
      for path in boottime/veltra.bin core/record_store_data.cpp; do
        compare_built "build-pkg/veltra-$version/obj-$triple/$path"
      done
      ;;
    zip)
      compare_built build-win-release/stage/veltra-$version-win64/veltra.exe
      for path in boottime/veltra.bin core/record_store_data.cpp; do
        compare_built "build-win-release/$path"
      done
      ;;
  esac
done

echo "== reproducible: SHA256"
for kind in "${want[@]}"; do
  name=$(package_name "$kind")
  echo "   first:  $(sha256sum "dist/$name" | cut -d ' ' -f 1)  $name"
  [ -f "$other/dist/$name" ] &&
    echo "   second: $(sha256sum "$other/dist/$name" | cut -d ' ' -f 1)  $name"
done
elapsed=$(($(date +%s) - started))
if [ "$different" = 1 ]; then
  echo "reproducible: FAILED: the second build differs (after $elapsed s)" >&2
  exit 1
fi
echo "reproducible: the same bytes ($elapsed s)"
