#!/usr/bin/env bash
# Extracts every text a person reads into po/veltra.pot (xgettext: the texts
# in tr(), trn() and N_() of the sources and the rows of core/page_texts.txt)
# and merges the template into every po/*.po.
#
#   tools/update_po.sh           write po/veltra.pot and update po/*.po
#   tools/update_po.sh --check   write nothing; fail when po/veltra.pot is not
#                                what the sources give, or a catalogue lacks a
#                                translation or has a fuzzy one
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "update_po: unknown argument $1 (--check)" >&2; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The page rows as C++ that xgettext reads, under the page file's own name, so
# that a translator sees where a row comes from: every row of the two pages
# (not the gradient steps), blanks at the end left out, as N_("row").
mkdir -p "$work/core"
awk '
  /^\[/ { page = ($0 != "[GradientSteps]"); next }
  page && /^\|.*\|$/ {
    row = substr($0, 2, length($0) - 2)
    sub(/ +$/, "", row)
    if (row == "") { print ""; next }
    gsub(/\\/, "\\\\", row); gsub(/"/, "\\\"", row)
    print "N_(\"" row "\");"
    next
  }
  { print "" }
' core/page_texts.txt >"$work/core/page_texts.txt"

version=$(sed -n 's/^project(veltra VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)
mapfile -t sources < <(ls installer/*.cpp screens/*.cpp core/*.cpp display/*.cpp | LC_ALL=C sort)
xgettext --from-code=UTF-8 --language=C++ --keyword --keyword=tr --keyword=trn:1,2 --keyword=N_ \
  --add-comments=TRANSLATORS: --add-location=file --sort-by-file \
  --package-name=VELTRA --package-version="$version" --copyright-holder="the VELTRA developers" \
  --msgid-bugs-address="the VELTRA developers" -D "$work" -D . -o "$work/veltra.pot" \
  core/page_texts.txt "${sources[@]}"
# The creation date changes at every run; the template keeps a fixed one.
sed -i 's/^"POT-Creation-Date: .*\\n"$/"POT-Creation-Date: 2026-01-01 00:00+0000\\n"/' "$work/veltra.pot"

if [ "$check" = 1 ]; then
  status=0
  if ! cmp -s "$work/veltra.pot" po/veltra.pot; then
    echo "update_po: po/veltra.pot is stale; run tools/update_po.sh" >&2
    diff -u po/veltra.pot "$work/veltra.pot" | head -40 >&2 || true
    status=1
  fi
  for po in po/*.po; do
    # Every text of the template translated, none fuzzy.
    if ! msgcmp "$po" "$work/veltra.pot" 2>"$work/msgcmp.log"; then
      head -20 "$work/msgcmp.log" >&2
      status=1
    fi
    stats=$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$po" 2>&1)
    echo "$po: $stats"
    case "$stats" in *fuzzy* | *untranslated*) status=1 ;; esac
  done
  exit $status
fi

cp "$work/veltra.pot" po/veltra.pot
for po in po/*.po; do
  msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" po/veltra.pot
  LC_ALL=C msgfmt --check --statistics -o /dev/null "$po" 2>&1 | sed "s|^|$po: |"
done
