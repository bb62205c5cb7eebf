# The program's version in one place: project(veltra VERSION ...) in the
# top-level CMakeLists.txt. This file turns it into
#   - the header veltra_version.h in the build tree, through the INTERFACE
#     target veltra_version (link it, then #include "veltra_version.h"):
#       #define VELTRA_VERSION "9.06"
#       #define VELTRA_BUILD   "1a2b3c4d5e"  (the sources' git commit, 10 digits;
#                                             outside a checkout the commit in
#                                             the file .veltra-commit that
#                                             tools/package.sh writes into its
#                                             copy, else the release date,
#                                             YYYY-MM-DD)
#   - VELTRA_VERSION_RC ("9,6,0,0") for the Windows version resource;
#   - VELTRA_DATE, the release date (YYYY-MM-DD) for the man pages and the
#     metainfo.
# The header is written again at every build, but only when its text changes,
# so a new commit recompiles just the files that include it.
#
# No date comes from the build's clock: the release date is SOURCE_DATE_EPOCH
# when that is set (dpkg-buildpackage and tools/package.sh set it from
# debian/changelog), else the date of debian/changelog's latest entry, so two
# builds of the same sources make the same bytes.
#
# The same file runs as a script at build time (cmake -P) to write the header.

# veltra_release_date() and veltra_source_date_epoch().
include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)

function(veltra_write_version_header output version source_dir git)
  set(build "")
  # Only the sources' own checkout counts, not a repository they sit in.
  if(git AND EXISTS "${source_dir}/.git")
    execute_process(
      COMMAND "${git}" -C "${source_dir}" rev-parse --short=10 HEAD
      OUTPUT_VARIABLE build
      OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      set(build "")
    endif()
  endif()
  if(build STREQUAL "" AND EXISTS "${source_dir}/.veltra-commit")
    file(STRINGS "${source_dir}/.veltra-commit" build LIMIT_COUNT 1 REGEX "^[0-9a-f]+$")
  endif()
  if(build STREQUAL "")
    veltra_release_date("${source_dir}" build)
  endif()
  file(CONFIGURE OUTPUT "${output}" @ONLY CONTENT [[
// Written by cmake/version.cmake; do not edit.
#pragma once
#define VELTRA_VERSION "@version@"
#define VELTRA_BUILD "@build@"
]])
endfunction()

# As a script: run on its own, it writes the header; included by another
# script (a test), it only defines the functions.
if(CMAKE_SCRIPT_MODE_FILE)
  if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    veltra_write_version_header("${OUTPUT}" "${VERSION}" "${SOURCE_DIR}" "${GIT}")
  endif()
  return()
endif()

# "9.06" -> 9,6,0,0: each part as a number (a leading 0 would read as octal).
set(VELTRA_VERSION_RC "")
foreach(part MAJOR MINOR PATCH TWEAK)
  set(number "${PROJECT_VERSION_${part}}")
  if(number STREQUAL "")
    set(number 0)
  endif()
  math(EXPR number "${number}")
  list(APPEND VELTRA_VERSION_RC ${number})
endforeach()
string(REPLACE ";" "," VELTRA_VERSION_RC "${VELTRA_VERSION_RC}")

veltra_release_date("${PROJECT_SOURCE_DIR}" VELTRA_DATE)

find_package(Git QUIET)
set(VELTRA_VERSION_DIR "${PROJECT_BINARY_DIR}/version")
set(VELTRA_VERSION_HEADER "${VELTRA_VERSION_DIR}/veltra_version.h")
veltra_write_version_header("${VELTRA_VERSION_HEADER}" "${PROJECT_VERSION}"
  "${PROJECT_SOURCE_DIR}" "${GIT_EXECUTABLE}")

add_custom_target(veltra_version_header
  COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${VELTRA_VERSION_HEADER}"
          "-DVERSION=${PROJECT_VERSION}" "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}"
          "-DGIT=${GIT_EXECUTABLE}" -P "${CMAKE_CURRENT_LIST_FILE}"
  BYPRODUCTS "${VELTRA_VERSION_HEADER}"
  VERBATIM)

add_library(veltra_version INTERFACE)
target_include_directories(veltra_version INTERFACE "${VELTRA_VERSION_DIR}")
# Whatever links veltra_version is built after the header is brought up to date.
add_dependencies(veltra_version veltra_version_header)
