# Turns the program icon of screens/icon.cpp (32x32 pixels, three bytes a
# pixel: red, green, blue, rows from the top) into the icon resources of the
# Windows program: RT_ICON 1 holds the image as an .ico file would (header,
# 24-bit rows from the bottom in blue-green-red order, then the mask),
# RT_GROUP_ICON 1 the directory that names it. Written as raw resource data,
# so no binary .ico file has to exist.
#   cmake -DICON_SOURCE=screens/icon.cpp -DOUTPUT=veltra_icon.rc -P icon_resource.cmake
if(NOT ICON_SOURCE OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DICON_SOURCE=icon.cpp -DOUTPUT=icon.rc -P icon_resource.cmake")
endif()

set(size 32)
math(EXPR pixel_bytes "${size} * ${size} * 3")

file(READ "${ICON_SOURCE}" source)
# Only the initialiser of ProgramIcon counts, without its comments.
string(FIND "${source}" "ProgramIcon[" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${ICON_SOURCE}: no ProgramIcon array")
endif()
string(SUBSTRING "${source}" ${start} -1 source)
string(FIND "${source}" "{" open)
string(FIND "${source}" "};" close)
if(open EQUAL -1 OR close EQUAL -1 OR close LESS open)
  message(FATAL_ERROR "${ICON_SOURCE}: ProgramIcon has no initialiser")
endif()
math(EXPR length "${close} - ${open}")
string(SUBSTRING "${source}" ${open} ${length} body)
string(REGEX REPLACE "//[^\n]*" "" body "${body}")
string(REGEX MATCHALL "0[xX][0-9A-Fa-f]+|[0-9]+" values "${body}")
list(LENGTH values count)
if(NOT count EQUAL pixel_bytes)
  message(FATAL_ERROR "${ICON_SOURCE}: ProgramIcon has ${count} bytes, expected ${pixel_bytes}")
endif()

# The image as bytes, in resource order.
set(bytes "")
macro(add_dword value)
  math(EXPR _v "${value}")
  foreach(_shift 0 8 16 24)
    math(EXPR _b "(${_v} >> ${_shift}) & 255")
    list(APPEND bytes ${_b})
  endforeach()
endmacro()
macro(add_word value)
  math(EXPR _v "${value}")
  math(EXPR _lo "${_v} & 255")
  math(EXPR _hi "(${_v} >> 8) & 255")
  list(APPEND bytes ${_lo} ${_hi})
endmacro()

math(EXPR row_bytes "${size} * 3")          # 96: already a multiple of 4
math(EXPR mask_bytes "${size} * ${size} / 8") # one bit a pixel, rows of 4 bytes
math(EXPR image_bytes "40 + ${pixel_bytes} + ${mask_bytes}")

add_dword(40)                       # biSize
add_dword(${size})                  # biWidth
math(EXPR double_height "${size} * 2")
add_dword(${double_height})         # biHeight: colour rows and mask rows
add_word(1)                         # biPlanes
add_word(24)                        # biBitCount
add_dword(0)                        # biCompression: BI_RGB
math(EXPR data_bytes "${pixel_bytes} + ${mask_bytes}")
add_dword(${data_bytes})            # biSizeImage
add_dword(0)                        # biXPelsPerMeter
add_dword(0)                        # biYPelsPerMeter
add_dword(0)                        # biClrUsed
add_dword(0)                        # biClrImportant

math(EXPR last_row "${size} - 1")
math(EXPR last_column "${size} - 1")
foreach(row RANGE ${last_row} 0 -1)
  foreach(column RANGE 0 ${last_column})
    math(EXPR at "(${row} * ${size} + ${column}) * 3")
    math(EXPR at_green "${at} + 1")
    math(EXPR at_blue "${at} + 2")
    list(GET values ${at} red)
    list(GET values ${at_green} green)
    list(GET values ${at_blue} blue)
    math(EXPR red "${red}")
    math(EXPR green "${green}")
    math(EXPR blue "${blue}")
    if(red GREATER 255 OR green GREATER 255 OR blue GREATER 255)
      message(FATAL_ERROR "${ICON_SOURCE}: a colour byte above 255")
    endif()
    list(APPEND bytes ${blue} ${green} ${red})
    # Black pixel: all three bytes 0 (used for the mask below).
    math(EXPR black "${red} + ${green} + ${blue}")
    set(values_${at} ${black})
  endforeach()
endforeach()
# The mask: black pixels that run in from the left or right edge of their row
# lie outside the rounded picture and are transparent; all others are opaque.
foreach(row RANGE ${last_row} 0 -1)
  set(outside "")
  foreach(column RANGE 0 ${last_column})
    math(EXPR at "(${row} * ${size} + ${column}) * 3")
    if(NOT (values_${at} EQUAL 0))
      break()
    endif()
    list(APPEND outside ${column})
  endforeach()
  foreach(column RANGE ${last_column} 0 -1)
    math(EXPR at "(${row} * ${size} + ${column}) * 3")
    if(NOT (values_${at} EQUAL 0))
      break()
    endif()
    list(APPEND outside ${column})
  endforeach()
  foreach(byte RANGE 0 3)
    set(bits 0)
    foreach(bit RANGE 0 7)
      math(EXPR column "${byte} * 8 + ${bit}")
      list(FIND outside ${column} found)
      if(NOT found EQUAL -1)
        math(EXPR bits "${bits} | (128 >> ${bit})")
      endif()
    endforeach()
    list(APPEND bytes ${bits})
  endforeach()
endforeach()

# Raw resource data is written in 16-bit words, low byte first.
function(words_of list_name out)
  set(in ${${list_name}})
  list(LENGTH in n)
  math(EXPR last "${n} - 2")
  set(text "")
  set(on_line 0)
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET in ${i} lo)
    list(GET in ${j} hi)
    math(EXPR word "${lo} + ${hi} * 256" OUTPUT_FORMAT HEXADECIMAL)
    if(i EQUAL last)
      string(APPEND text "${word}")
    else()
      string(APPEND text "${word}, ")
    endif()
    math(EXPR on_line "${on_line} + 1")
    if(on_line EQUAL 12)
      string(APPEND text "\n  ")
      set(on_line 0)
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

words_of(bytes image_words)

set(bytes "")
add_word(0)                     # idReserved
add_word(1)                     # idType: icon
add_word(1)                     # idCount
list(APPEND bytes ${size} ${size} 0 0) # width, height, colours, reserved
add_word(1)                     # planes
add_word(24)                    # bits a pixel
add_dword(${image_bytes})       # size of RT_ICON 1
add_word(1)                     # RT_ICON id
words_of(bytes group_words)

file(WRITE "${OUTPUT}.tmp"
"// Generated from icon.cpp by icon_resource.cmake; do not edit.
1 3 // RT_ICON
BEGIN
  ${image_words}
END

1 14 // RT_GROUP_ICON
BEGIN
  ${group_words}
END
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
