# The release's date, never the build's clock (cmake/version.cmake uses it for
# VELTRA_DATE and for the build name outside a checkout):
#   veltra_source_date_epoch(<sources> <out>)  seconds since 1970:
#       SOURCE_DATE_EPOCH when set, else the date of the latest entry of
#       <sources>/debian/changelog (what dpkg-buildpackage sets it to)
#   veltra_release_date(<sources> <out>)       that as YYYY-MM-DD in UTC
#   veltra_rfc5322_seconds(<text> <out>)       seconds since 1970 of a date
#       "Mon, 07 Dec 2026 23:00:00 +0000" in <text>

# The seconds since 1970 of a changelog trailer's date, "Mon, 07 Dec 2026
# 23:00:00 +0000" (RFC 5322, as dpkg-parsechangelog -S Timestamp reads it).
function(veltra_rfc5322_seconds text out)
  if(NOT text MATCHES
     "([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ([0-9][0-9]):([0-9][0-9]):([0-9][0-9]) ([-+])([0-9][0-9])([0-9][0-9])")
    message(FATAL_ERROR "version: no date in '${text}'")
  endif()
  set(month_name ${CMAKE_MATCH_2})
  set(sign ${CMAKE_MATCH_7})
  set(matched "")
  foreach(index 1 3 4 5 6 8 9)
    list(APPEND matched ${CMAKE_MATCH_${index}})
  endforeach()
  # Every part as a number: a leading 0 would read as octal.
  set(parts "")
  foreach(number IN LISTS matched)
    string(REGEX REPLACE "^0+([0-9])" "\\1" number "${number}")
    list(APPEND parts ${number})
  endforeach()
  list(GET parts 0 day)
  list(GET parts 1 year)
  list(GET parts 2 hours)
  list(GET parts 3 minutes)
  list(GET parts 4 secs)
  list(GET parts 5 offset_hours)
  list(GET parts 6 offset_minutes)
  list(FIND _veltra_months ${month_name} month)
  if(month LESS 0)
    message(FATAL_ERROR "version: no month in '${text}'")
  endif()
  math(EXPR month "${month} + 1")
  # Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR shifted_month "(${month} + 9) % 12")
  math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
       "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  math(EXPR offset "${offset_hours} * 3600 + ${offset_minutes} * 60")
  if(sign STREQUAL "-")
    math(EXPR offset "0 - ${offset}")
  endif()
  # The local time less its offset from UTC.
  math(EXPR seconds "${days} * 86400 + ${hours} * 3600 + ${minutes} * 60 + ${secs} - ${offset}")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()
set(_veltra_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

# The release's seconds since 1970: SOURCE_DATE_EPOCH, else the date of
# debian/changelog's latest entry.
function(veltra_source_date_epoch source_dir out)
  if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
    return()
  endif()
  file(STRINGS "${source_dir}/debian/changelog" trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
  if(trailer STREQUAL "")
    message(FATAL_ERROR "version: debian/changelog has no entry with a date")
  endif()
  veltra_rfc5322_seconds("${trailer}" seconds)
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

# The release date, YYYY-MM-DD in UTC.
function(veltra_release_date source_dir out)
  veltra_source_date_epoch("${source_dir}" seconds)
  # string(TIMESTAMP) takes its time from SOURCE_DATE_EPOCH.
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} "${seconds}")
  string(TIMESTAMP date "%Y-%m-%d" UTC)
  if(saved STREQUAL "")
    unset(ENV{SOURCE_DATE_EPOCH})
  else()
    set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  endif()
  set(${out} ${date} PARENT_SCOPE)
endfunction()
