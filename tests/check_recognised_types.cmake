# tools/make_disk.py names the recognised partition types that the boot
# program holds (boot_symbols.h, generated from veltra.bin): the same codes in
# the same order, or this fails.
#   cmake -DMAKE_DISK=tools/make_disk.py -DSYMBOLS=build/boottime/boot_symbols.h -P ...
file(STRINGS "${MAKE_DISK}" python REGEX "^RECOGNISED = ")
file(STRINGS "${SYMBOLS}" header REGEX "recognisedTypeCodes")
string(REGEX MATCHALL "0x[0-9A-Fa-f][0-9A-Fa-f]" fromPython "${python}")
string(REGEX MATCHALL "0x[0-9A-Fa-f][0-9A-Fa-f]" fromProgram "${header}")
string(TOLOWER "${fromPython}" fromPython)
string(TOLOWER "${fromProgram}" fromProgram)
if(NOT fromPython STREQUAL fromProgram OR fromProgram STREQUAL "")
  message(FATAL_ERROR "make_disk.py RECOGNISED (${fromPython}) differs from the boot program's "
                      "list (${fromProgram})")
endif()
message(STATUS "recognised types agree: ${fromProgram}")
