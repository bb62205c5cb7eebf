# Writes the compiled catalogues as C++ source, run as
#   cmake -DOUTPUT=catalogue_data.cpp -DCATALOGUES=en=/path/en.mo,xx=/path/xx.mo
#         -P embed_catalogues.cmake
# Every .mo file becomes one byte array in CatalogueTable (core/catalogue_data.h).
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/write_if_changed.cmake)

if(NOT DEFINED OUTPUT)
  message(FATAL_ERROR "embed_catalogues: OUTPUT is not set")
endif()
string(REPLACE "," ";" pairs "${CATALOGUES}")

set(body "// Generated from po/*.po by msgfmt and embed_catalogues.cmake.\n")
string(APPEND body "#include \"core/catalogue_data.h\"\n\nnamespace {\n")
set(table "")
set(count 0)
foreach(pair IN LISTS pairs)
  string(REGEX MATCH "^([^=]+)=(.*)$" matched "${pair}")
  if(NOT matched)
    continue()
  endif()
  set(language "${CMAKE_MATCH_1}")
  file(READ "${CMAKE_MATCH_2}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # About 16 bytes a line.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
  string(MAKE_C_IDENTIFIER "${language}" name)
  string(APPEND body "const unsigned char Catalogue_${name}[] = {\n${bytes}};\n")
  string(APPEND table "    {\"${language}\", Catalogue_${name}, ${size}},\n")
  math(EXPR count "${count} + 1")
endforeach()
string(APPEND body "} // namespace\n\n")
string(APPEND body "const CatalogueData CatalogueTable[] = {\n${table}    {nullptr, nullptr, 0},\n};\n")
string(APPEND body "const int CatalogueCount = ${count};\n")

# Written only when it changed, so that an unchanged catalogue rebuilds nothing.
veltra_write_if_changed("${OUTPUT}" "${body}")
