# Writes a C++ file that holds the bytes of a file as an array, so that a
# binary file in the tree can be built into the program.
#   cmake -DINPUT=icon.ico -DNAME=IconFile -DOUTPUT=icon_data.cpp -P embed_file.cmake
if(NOT INPUT OR NOT NAME OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DINPUT=file -DNAME=Symbol -DOUTPUT=file.cpp -P embed_file.cmake")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
     "// Generated from ${INPUT} by embed_file.cmake. Do not edit.\n#include <cstddef>\n"
     "extern const unsigned char ${NAME}[];\nextern const size_t ${NAME}Size;\n"
     "const unsigned char ${NAME}[] = {\n${bytes}\n};\nconst size_t ${NAME}Size = ${size};\n")
