# cmake -DVELTRA=... -DDRIVE=... -DMAN_PAGES=a,b -DREADME=... -DLEESMIJ=... -P docs_exit_codes.cmake
#
# Reads the exit codes from the usage text of `veltra --help` (the lines
# "  N  ..." under "Afsluitcodes:") and from every document, and fails when a
# document lists other codes or lists them in another order:
#   man pages   the ".B N" tags of EXIT STATUS / AFSLUITCODES
#   README.md   the rows "| N | ..." of the table under "| exit code |"
#   LEESMIJ     the lines "  N  ..." under "Afsluitcodes"

# Text as a list of lines (semicolons, list separators to CMake, made commas).
function(read_lines out text)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Codes from the lines after the first one matching `start`, up to the first
# one matching `stop`, each taken from a line matching `code` (group 1).
function(codes_between out lines start stop code)
  set(codes "")
  set(inside OFF)
  foreach(line IN LISTS lines)
    if(NOT inside)
      if(line MATCHES "${start}")
        set(inside ON)
      endif()
    elseif(line MATCHES "${stop}")
      break()
    elseif(line MATCHES "${code}")
      list(APPEND codes "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${codes}" PARENT_SCOPE)
endfunction()

# --help never opens a drive; drive 0 still names an image file, never a disk.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env VELTRA_DRIVES=${DRIVE} DISPLAY= WAYLAND_DISPLAY= ${VELTRA} --help
  OUTPUT_VARIABLE help RESULT_VARIABLE status INPUT_FILE /dev/null)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "veltra --help ended with ${status}")
endif()
read_lines(lines "${help}")
codes_between(program "${lines}" "^Afsluitcodes:" "^$" "^  ([0-9]+)  ")
if(program STREQUAL "")
  message(FATAL_ERROR "no exit codes under 'Afsluitcodes:' in veltra --help")
endif()

set(documents "")
string(REPLACE "," ";" pages "${MAN_PAGES}")
foreach(page IN LISTS pages)
  file(READ "${page}" text)
  read_lines(lines "${text}")
  codes_between(codes "${lines}" "^\\.SH (\"EXIT STATUS\"|AFSLUITCODES)" "^\\.SH" "^\\.B ([0-9]+)$")
  list(APPEND documents "${page}")
  set(codes_${page} "${codes}")
endforeach()

file(READ "${README}" text)
read_lines(lines "${text}")
codes_between(codes "${lines}" "^\\| exit code \\|" "^$" "^\\| ([0-9]+) \\|")
list(APPEND documents "${README}")
set(codes_${README} "${codes}")

file(READ "${LEESMIJ}" text)
read_lines(lines "${text}")
codes_between(codes "${lines}" "^Afsluitcodes" "^[A-Z]" "^  ([0-9]+)  ")
list(APPEND documents "${LEESMIJ}")
set(codes_${LEESMIJ} "${codes}")

set(wrong 0)
foreach(document IN LISTS documents)
  if(NOT "${codes_${document}}" STREQUAL "${program}")
    message(SEND_ERROR "${document} lists the exit codes '${codes_${document}}', "
                       "veltra --help '${program}'")
    set(wrong 1)
  endif()
endforeach()
if(NOT wrong)
  list(LENGTH documents count)
  message(STATUS "exit codes ${program} in veltra --help and ${count} documents")
endif()
