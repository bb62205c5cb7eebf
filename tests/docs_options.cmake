# cmake -DVELTRA=... -DDRIVE=... -DPAGES=en=a,nl=b -P docs_options.cmake
#
# Every option that `veltra --lang=LANG --help` lists (the lines that start
# with "  -X, --name" or "  --name") must appear in that language's man page,
# written as roff writes it: \-\-name, with \- inside the name, and \-X for a
# short option; the name not the start of a longer one (\-\-lang is not in
# \-\-language, nor in \-\-boot\-lang).

set(wrong 0)
string(REPLACE "," ";" pages "${PAGES}")
foreach(pair IN LISTS pages)
  string(REGEX REPLACE "=.*" "" language "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" page "${pair}")
  # --help never opens a drive; drive 0 still names an image file, never a disk.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env VELTRA_DRIVES=${DRIVE} DISPLAY= WAYLAND_DISPLAY= ${VELTRA}
            --lang=${language} --help
    OUTPUT_VARIABLE help RESULT_VARIABLE status INPUT_FILE /dev/null)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "veltra --lang=${language} --help ended with ${status}")
  endif()
  string(REGEX MATCHALL "\n  (-[A-Za-z], )?--[a-z-]+" listed "${help}")
  if(listed STREQUAL "")
    message(FATAL_ERROR "no options in veltra --lang=${language} --help")
  endif()
  set(options "")
  foreach(line IN LISTS listed)
    string(REGEX MATCH "--[a-z-]+" long "${line}")
    list(APPEND options "${long}")
    if(line MATCHES "\n  (-[A-Za-z]), ")
      list(APPEND options "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES options)
  file(READ "${page}" text)
  set(lacking "")
  foreach(option IN LISTS options)
    # roff: every "-" as "\-", and the name not the start of a longer one.
    string(REPLACE "-" "\\\\-" pattern "${option}")
    if(NOT text MATCHES "${pattern}([^A-Za-z\\\\]|\\\\[^-]|$)")
      list(APPEND lacking "${option}")
    endif()
  endforeach()
  if(lacking)
    list(JOIN lacking " " shown)
    message(SEND_ERROR "${page} lacks ${shown}, which veltra --lang=${language} --help lists")
    set(wrong 1)
  else()
    list(JOIN options " " shown)
    message(STATUS "${page} has every option of veltra --lang=${language} --help: ${shown}")
  endif()
endforeach()
if(wrong)
  message(FATAL_ERROR "a man page lacks options that veltra --help lists")
endif()
