#!/bin/sh
# Makes the test-only pseudo-language from the template: every text, line by
# line, between the marks U+00AB and U+00BB, so that a page or an output that
# shows a text without them shows a text that no catalogue looked up.
#   pseudo.sh veltra.pot qps.po
set -eu
msgen "$1" |
  sed -e '/^#, fuzzy$/d' \
      -e 's/charset=CHARSET/charset=UTF-8/' \
      -e 's/^"PO-Revision-Date: .*"$/"PO-Revision-Date: 2026-01-01 00:00+0000\\n"/' \
      -e 's/^"Last-Translator: .*"$/"Last-Translator: the test build\\n"/' \
      -e 's/^"Language-Team: .*"$/"Language-Team: none\\n"/' \
      -e 's/^"Language: \\n"$/"Language: qps\\n"/' \
      -e 's/^"Plural-Forms: .*"$/"Plural-Forms: nplurals=2; plural=(n != 1);\\n"/' |
  msgfilter --keep-header -o "$2" sed -e 's/^/«/' -e 's/$/»/'
