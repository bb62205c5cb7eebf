# cmake -DSOURCE_DIR=<sources> -P release_date_test.cmake
#
# The release's date and the build name come from debian/changelog or
# SOURCE_DATE_EPOCH, never from the clock (cmake/release_date.cmake,
# cmake/version.cmake): changelog dates in several zones against the seconds
# GNU date gives, the date of a changelog's latest entry, SOURCE_DATE_EPOCH
# before it, and the build name of sources with and without .veltra-commit.
include(${SOURCE_DIR}/cmake/version.cmake)

# A scratch folder of this run's own in the temporary folder: the build tree
# may belong to another user (the tests also run as nobody).
set(tmp "$ENV{TMPDIR}")
if(tmp STREQUAL "")
  set(tmp /tmp)
endif()
string(RANDOM LENGTH 10 suffix)
set(WORK "${tmp}/veltra-release-date-${suffix}")

function(expect what got wanted)
  if(NOT got STREQUAL wanted)
    message(SEND_ERROR "${what}: '${got}', wanted '${wanted}'")
  endif()
endfunction()

# Trailer dates and their seconds since 1970 (date -d "<text>" +%s).
set(dates
    "Mon, 07 Dec 2026 23:00:00 +0000|1796684400"
    "Thu, 29 Feb 2024 01:30:09 +0130|1709164809"
    "Sun, 01 Jan 2023 00:00:00 -0800|1672560000"
    "Wed, 01 Mar 2000 12:00:00 +0000|951912000"
    "Fri, 09 Aug 2019 08:08:08 +0200|1565330888"
    "Thu, 01 Jan 1970 00:00:00 +0000|0"
    "Fri, 31 Dec 2100 23:59:59 -0030|4133982599")
foreach(entry IN LISTS dates)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 text)
  list(GET entry 1 wanted)
  veltra_rfc5322_seconds(" -- A <a@b.org>  ${text}" seconds)
  expect("seconds of ${text}" "${seconds}" "${wanted}")
endforeach()

# A changelog whose latest entry is just after midnight one hour east of UTC:
# the release's UTC date is the day before; an older entry below is ignored.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/debian")
file(WRITE "${WORK}/debian/changelog" [[
veltra (9.07) unstable; urgency=medium

  * Next.

 -- VELTRA authors <maintainers@veltra-project.org>  Tue, 08 Dec 2026 00:30:00 +0100

veltra (9.06) unstable; urgency=medium

  * First.

 -- VELTRA authors <maintainers@veltra-project.org>  Mon, 01 Jun 2026 12:00:00 +0000
]])
unset(ENV{SOURCE_DATE_EPOCH})
veltra_source_date_epoch("${WORK}" seconds)
expect("changelog's seconds" "${seconds}" 1796686200)
veltra_release_date("${WORK}" date)
expect("changelog's date" "${date}" 2026-12-07)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  message(SEND_ERROR "veltra_release_date left SOURCE_DATE_EPOCH set")
endif()
set(ENV{SOURCE_DATE_EPOCH} 1709164809)
veltra_release_date("${WORK}" date)
expect("SOURCE_DATE_EPOCH's date" "${date}" 2024-02-29)
expect("SOURCE_DATE_EPOCH kept" "$ENV{SOURCE_DATE_EPOCH}" 1709164809)
unset(ENV{SOURCE_DATE_EPOCH})

# The build name outside a checkout: the commit of .veltra-commit, else the
# release date; never the clock.
veltra_write_version_header("${WORK}/date.h" 9.07 "${WORK}" "")
file(READ "${WORK}/date.h" header)
expect("header without a commit" "${header}" [[
// Written by cmake/version.cmake; do not edit.
#pragma once
#define VELTRA_VERSION "9.07"
#define VELTRA_BUILD "2026-12-07"
]])
file(WRITE "${WORK}/.veltra-commit" "0123456789\n")
veltra_write_version_header("${WORK}/commit.h" 9.07 "${WORK}" "")
file(STRINGS "${WORK}/commit.h" build REGEX "VELTRA_BUILD")
expect("header with .veltra-commit" "${build}" [[#define VELTRA_BUILD "0123456789"]])
file(REMOVE_RECURSE "${WORK}")
