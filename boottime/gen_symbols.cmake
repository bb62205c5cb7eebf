# gen_symbols.cmake - checks the assembled boot-time manager and writes
# boot_symbols.h from the nasm map.
#
#   cmake -DBIN=veltra.bin -DMAP=veltra.map -DHEADER=boot_symbols.h -DVERSION=9.06
#         -P gen_symbols.cmake
#   cmake -DBIN=veltra_en.bin -DMAP=veltra_en.map -DSAME_CODE_AS=veltra.map -DVERSION=9.06
#         -P gen_symbols.cmake
#
# The second form checks a build in another language the same way, writes no
# header and fails unless every label outside the messages (msg..., lineEnd,
# messagesEnd) has the address it has in the map SAME_CODE_AS: the texts
# differ, the code and the places of the other texts do not.
#
# The build fails (and veltra.bin is removed, so that no later build takes a
# wrong image for a finished one) when the program is not exactly 2048 bytes,
# a field that the installer depends on is not where it belongs, or the check
# value in stage 1 does not match stage 2.

include(${CMAKE_CURRENT_LIST_DIR}/stage2_sum.cmake)

foreach(var BIN MAP VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "gen_symbols.cmake: -D${var}=... is required")
  endif()
endforeach()

if(NOT DEFINED HEADER AND NOT DEFINED SAME_CODE_AS)
  message(FATAL_ERROR "gen_symbols.cmake: -DHEADER=... or -DSAME_CODE_AS=... is required")
endif()

function(fail why)
  file(REMOVE "${BIN}")
  if(DEFINED HEADER)
    file(REMOVE "${HEADER}")
  endif()
  message(FATAL_ERROR "boot-time manager: ${why}")
endfunction()

# hexAt(out offset length): bytes of the image as lower-case hex.
function(hexAt out offset length)
  file(READ "${BIN}" hex OFFSET ${offset} LIMIT ${length} HEX)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# hex4(out value): "0x" and four upper-case hex digits; value is a number
# in CMake syntax (decimal or 0x...).
function(hex4 out value)
  math(EXPR value "${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${value}" 2 -1 digits)
  string(TOUPPER "${digits}" digits)
  string(LENGTH "${digits}" length)
  while(length LESS 4)
    string(PREPEND digits "0")
    math(EXPR length "${length} + 1")
  endwhile()
  set(${out} "0x${digits}" PARENT_SCOPE)
endfunction()

# ----------------------------------------------------------- image checks
file(SIZE "${BIN}" size)
if(NOT size EQUAL 2048)
  fail("veltra.bin is ${size} bytes, not 2048 (four sectors)")
endif()

hexAt(marker 32 6)
if(NOT marker STREQUAL "56454c545241") # "VELTRA"
  fail("install marker is not at offset 20h of LBA 0")
endif()
hexAt(keyInsn 110 3)
if(NOT keyInsn STREQUAL "b80000") # mov ax,0000h, DefaultKey byte 00h
  fail("B8h 00h 00h is not at offset 6Eh of LBA 0")
endif()
hexAt(pauseInsn 47 3)
if(NOT pauseInsn STREQUAL "bf3700") # mov di,55: the pause of 55 ticks
  fail("BFh 37h 00h is not at offset 2Fh of LBA 0")
endif()
hexAt(tail 430 82)
string(REGEX MATCH "^(00)+$" allZero "${tail}")
if(NOT allZero)
  fail("bytes 1AEh..1FFh of LBA 0 are not all zero")
endif()
foreach(sector 1 2 3)
  math(EXPR signatureAt "${sector} * 512 + 510")
  hexAt(signature ${signatureAt} 2)
  if(signature STREQUAL "55aa")
    fail("image ${sector} ends with a boot signature")
  endif()
endforeach()
# " VELTRA <version> - " at 0DB4h - 0600h.
string(HEX " VELTRA ${VERSION} - " notice)
string(LENGTH " VELTRA ${VERSION} - " noticeLength)
hexAt(versionStart 1972 ${noticeLength})
if(NOT versionStart STREQUAL notice)
  fail("version notice is not at 0DB4h")
endif()

# ----------------------------------------------------------------- symbols
# readMap(map): sets labels (name=address, in map order) and constant_<NAME>
# in the caller's scope.
macro(readMap map)
  file(STRINGS "${map}" mapLines)
  set(inText FALSE)
  set(labels "")
  foreach(line IN LISTS mapLines)
    if(line MATCHES "^---- Section \\.text")
      set(inText TRUE)
    elseif(line MATCHES "^---- ")
      set(inText FALSE)
    endif()
    if(inText AND line MATCHES "^ +([0-9A-F]+) +([0-9A-F]+) +([A-Z][A-Z0-9_]*)$")
      # An address defined by equ from $, such as STAGE2_CHECK_AT.
      set(constant_${CMAKE_MATCH_3} "${CMAKE_MATCH_2}")
    elseif(inText AND line MATCHES "^ +([0-9A-F]+) +([0-9A-F]+) +([A-Za-z][A-Za-z0-9_]*)$")
      # Labels of the program; local labels (name.local) do not match.
      list(APPEND labels "${CMAKE_MATCH_3}=${CMAKE_MATCH_2}")
    elseif(NOT inText AND line MATCHES "^([0-9A-F]+) +([A-Z][A-Z0-9_]*)$")
      set(constant_${CMAKE_MATCH_2} "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endmacro()

# The labels that are not messages, for the comparison of two languages.
function(fixedLabels out)
  set(fixed "")
  foreach(pair IN LISTS labels)
    if(NOT pair MATCHES "^(msg[A-Za-z0-9]*|lineEnd|messagesEnd)=")
      list(APPEND fixed "${pair}")
    endif()
  endforeach()
  set(${out} "${fixed}" PARENT_SCOPE)
endfunction()

if(DEFINED SAME_CODE_AS)
  readMap("${SAME_CODE_AS}")
  fixedLabels(referenceLabels)
endif()
readMap("${MAP}")
if(DEFINED SAME_CODE_AS)
  fixedLabels(ownLabels)
  if(NOT ownLabels STREQUAL referenceLabels)
    foreach(pair IN LISTS ownLabels)
      if(NOT pair IN_LIST referenceLabels)
        fail("label ${pair} is not where it is in ${SAME_CODE_AS}")
      endif()
    endforeach()
    fail("the labels of ${MAP} and ${SAME_CODE_AS} differ")
  endif()
endif()

# --------------------------------------------------------- stage 2 check
# The word at STAGE2_CHECK_AT (in stage 1, clear of the bytes the installer
# sets) and the words of stage 2 add up to 0. With any of LBA 2..4 cleared the
# total must not be 0 as well, or stage 1 would run the zeros.
if(NOT DEFINED constant_STAGE2_CHECK_AT)
  fail("STAGE2_CHECK_AT is missing from the map")
endif()
math(EXPR checkAt "0x${constant_STAGE2_CHECK_AT} - 0x${constant_RELOC_BASE}")
if(checkAt GREATER 428 OR checkAt EQUAL 111 OR checkAt EQUAL 112 OR (checkAt GREATER 46 AND
                                                                       checkAt LESS 50))
  fail("the check value of stage 2 lies in a byte that the installer sets")
endif()
hexAt(checkHex ${checkAt} 2)
string(SUBSTRING "${checkHex}" 0 2 low)
string(SUBSTRING "${checkHex}" 2 2 high)
stage2SectorSums(sums "${BIN}")
list(GET sums 0 lba2)
list(GET sums 1 lba3)
list(GET sums 2 lba4)
math(EXPR total "(0x${high}${low} + ${lba2} + ${lba3} + ${lba4}) & 0xFFFF")
if(NOT total EQUAL 0)
  fail("the check value in stage 1 does not match stage 2 (total ${total}, not 0)")
endif()
foreach(cleared "2;${lba2}" "3;${lba3}" "4;${lba4}" "2 and 3;${lba2} + ${lba3}"
        "2 and 4;${lba2} + ${lba4}" "3 and 4;${lba3} + ${lba4}"
        "2 to 4;${lba2} + ${lba3} + ${lba4}")
  list(GET cleared 0 which)
  list(GET cleared 1 sum)
  math(EXPR sum "(${sum}) & 0xFFFF")
  if(sum EQUAL 0)
    fail("stage 2 would pass its check with LBA ${which} cleared; change a byte of it "
         "(the blanks of the version notice will do)")
  endif()
endforeach()

# Fixed addresses from layout.inc that tests and the installer use, under
# their C++ names; "@" marks an address in stage 1 that is exported as an
# offset into LBA 0.
set(exported
    "relocBase=RELOC_BASE"
    "continueAt=CONTINUE_AT"
    "stage2Base=STAGE2_BASE"
    "sectorBuffer=SECTOR_BUFFER"
    "writeBackSource=WRITE_BACK_SOURCE"
    "bootAddress=BOOT_ADDR"
    "savedTableBlock=SAVED_TABLE_BLOCK"
    "savedPartitionTable=SAVED_PART_TABLE"
    "keyboardFlags=BDA_KEYBOARD_FLAGS"
    "cursorPosition=BDA_CURSOR_POS"
    "programSize=PROGRAM_SIZE"
    "installMarkerOffset=@INSTALL_MARKER_AT"
    "defaultKeyOffset=@DEFAULT_KEY_AT"
    "pauseTicksOffset=@PAUSE_TICKS_AT"
    "pauseTicksDefault=PAUSE_TICKS_DEFAULT"
    "tableBlockOffset=@RELOC_TABLE_BLOCK"
    "stage2CheckOffset=@STAGE2_CHECK_AT")

set(body "")
foreach(pair IN LISTS labels)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 value)
  hex4(value "0x${value}")
  string(APPEND body "inline constexpr std::uint16_t ${name} = ${value};\n")
endforeach()
string(APPEND body "\n// Fixed addresses (segment 0) and offsets into LBA 0.\n")
foreach(pair IN LISTS exported)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 asmName)
  set(relative FALSE)
  if(asmName MATCHES "^@(.*)")
    set(relative TRUE)
    set(asmName "${CMAKE_MATCH_1}")
  endif()
  if(NOT DEFINED constant_${asmName})
    fail("${asmName} is missing from the map")
  endif()
  set(value "0x${constant_${asmName}}")
  if(relative)
    math(EXPR value "${value} - 0x${constant_RELOC_BASE}")
  endif()
  hex4(value "${value}")
  string(APPEND body "inline constexpr std::uint16_t ${name} = ${value};\n")
endforeach()

# The thirteen messages in their order (the msg labels lie in that order).
set(messages "")
foreach(pair IN LISTS labels)
  if(pair MATCHES "^(msg[A-Za-z0-9]+)=")
    list(APPEND messages "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH messages messageCount)
if(NOT messageCount EQUAL 13)
  fail("expected 13 messages, the map has ${messageCount}")
endif()
string(JOIN ", " messageList ${messages})
string(APPEND body "\n// Messages 1 to 13.\n")
string(APPEND body "inline constexpr std::uint16_t messages[13] = {${messageList}};\n")

# The recognised partition types as the program holds them: the one list that
# the installer (and, checked by a test, tools/make_disk.py) uses as well.
set(typesAt "")
foreach(pair IN LISTS labels)
  if(pair MATCHES "^recognisedTypes=([0-9A-F]+)$")
    set(typesAt "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(typesAt STREQUAL "" OR NOT DEFINED constant_RECOGNISED_COUNT)
  fail("recognisedTypes or RECOGNISED_COUNT is missing from the map")
endif()
math(EXPR typesOffset "0x${typesAt} - 0x${constant_RELOC_BASE}")
math(EXPR typesCount "0x${constant_RECOGNISED_COUNT}")
hexAt(typesHex ${typesOffset} ${typesCount})
string(REGEX MATCHALL ".." typeBytes "${typesHex}")
list(TRANSFORM typeBytes PREPEND "0x")
string(JOIN ", " typeList ${typeBytes})
string(APPEND body "\n// The recognised partition types (visible forms), as in the program.\n")
string(APPEND body "inline constexpr std::uint8_t recognisedTypeCodes[${typesCount}] = {${typeList}};\n")

foreach(required pauseBegin pauseEnd listDrive diskAddressPacket versionNotice loadFailedText
        loadStage2 notRemovedText)
  if(NOT body MATCHES "std::uint16_t ${required} =")
    fail("label ${required} is missing from the map")
  endif()
endforeach()
if(NOT DEFINED HEADER)
  return()
endif()

set(text "// Generated from veltra.map by gen_symbols.cmake: do not edit.
// Memory addresses (segment 0) of the boot-time manager's labels.
#pragma once

#include <cstdint>

namespace bootsym {

${body}
} // namespace bootsym
")
file(WRITE "${HEADER}" "${text}")
