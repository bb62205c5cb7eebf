# stage2_sum.cmake - the check value that ties stage 2 (LBA 2..4) to its stage 1.
#
# At start-up stage 1 runs stage 2 only when stage 2's 768 little-endian words
# and the check value built into stage 1 add up to 0 (mod 10000h).
#
#   cmake -DBIN=veltra.unchecked.bin -DOUT=stage2_check.inc -P stage2_sum.cmake
#
# reads stage 2 from a first assembly and writes the value for the second one
# as "%define STAGE2_CHECK 0x....". gen_symbols.cmake includes this file for
# stage2SectorSums() and checks the finished program with it.
#
#   cmake -DBIN=veltra_en.unchecked.bin -DCHECK_FILE=stage2_check.inc
#         -DOUT=stage2_balance.inc -P stage2_sum.cmake
#
# keeps the check value of CHECK_FILE (the Dutch build's) and writes instead
# "%define STAGE2_BALANCE 0x....": the word that, added to a stage 2 assembled
# with a balance of 0, makes it add up with that check value to 0 again.

# stage2SectorSums(out bin): the sums (mod 10000h) of the words of LBA 2, 3
# and 4, that is images 1, 2 and 3 of bin, as a list of three numbers.
function(stage2SectorSums out bin)
  set(sums "")
  foreach(image 1 2 3)
    math(EXPR offset "${image} * 512")
    file(READ "${bin}" hex OFFSET ${offset} LIMIT 512 HEX)
    set(sum 0)
    foreach(at RANGE 0 1020 4) # four hex digits a word, low byte first
      string(SUBSTRING "${hex}" ${at} 2 low)
      math(EXPR highAt "${at} + 2")
      string(SUBSTRING "${hex}" ${highAt} 2 high)
      math(EXPR sum "(${sum} + 0x${high}${low}) & 0xFFFF")
    endforeach()
    list(APPEND sums ${sum})
  endforeach()
  set(${out} ${sums} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(var BIN OUT)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "stage2_sum.cmake: -D${var}=... is required")
    endif()
  endforeach()
  stage2SectorSums(sums "${BIN}")
  list(GET sums 0 lba2)
  list(GET sums 1 lba3)
  list(GET sums 2 lba4)
  if(DEFINED CHECK_FILE)
    file(STRINGS "${CHECK_FILE}" line REGEX "^%define STAGE2_CHECK 0x[0-9a-fA-F]+$")
    if(NOT line MATCHES "(0x[0-9a-fA-F]+)$")
      message(FATAL_ERROR "stage2_sum.cmake: no check value in ${CHECK_FILE}")
    endif()
    math(EXPR balance
         "(0x20000 - ((${lba2} + ${lba3} + ${lba4} + ${CMAKE_MATCH_1}) & 0xFFFF)) & 0xFFFF"
         OUTPUT_FORMAT HEXADECIMAL)
    file(WRITE "${OUT}" "%define STAGE2_BALANCE ${balance}\n")
  else()
    math(EXPR check "(0x10000 - ((${lba2} + ${lba3} + ${lba4}) & 0xFFFF)) & 0xFFFF"
         OUTPUT_FORMAT HEXADECIMAL)
    file(WRITE "${OUT}" "%define STAGE2_CHECK ${check}\n")
  endif()
endif()
