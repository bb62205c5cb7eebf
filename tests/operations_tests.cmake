# The install, remove, hide and restore operations: on image files through the
# real sector access, on in-memory disks that fail on demand (a test double
# takes the place of veltra_sector), and the real program end to end.
if(NOT DEFINED VELTRA_BOOT_BIN)
  set(VELTRA_BOOT_BIN ${PROJECT_BINARY_DIR}/boottime/veltra.bin)
endif()
if(NOT DEFINED VELTRA_BOOT_BIN_EN)
  set(VELTRA_BOOT_BIN_EN ${PROJECT_BINARY_DIR}/boottime/veltra_en.bin)
endif()

add_executable(operations_tests ${CMAKE_CURRENT_LIST_DIR}/operations_test.cpp)
target_link_libraries(operations_tests PRIVATE veltra_installer veltra_sector veltra_window
                                               GTest::gtest_main)

add_executable(operations_fault_tests
  ${CMAKE_CURRENT_LIST_DIR}/operations_fault_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_sector_access.cpp)
target_link_libraries(operations_fault_tests PRIVATE veltra_installer veltra_window
                                                     GTest::gtest_main)

foreach(target operations_tests operations_fault_tests)
  target_compile_definitions(${target} PRIVATE VELTRA_BOOT_BIN="${VELTRA_BOOT_BIN}")
  if(TARGET boot_images)
    add_dependencies(${target} boot_images)
  endif()
  # A drive list that names no disk: nothing may ever reach this machine's disks.
  gtest_discover_tests(${target}
    PROPERTIES LABELS unit
               ENVIRONMENT "VELTRA_DRIVES=/nonexistent/veltra-test-disk"
    DISCOVERY_TIMEOUT 30)
endforeach()

# The real veltra binary through the terminal fallback on an image file, then
# QEMU/SeaBIOS booting that image, in Dutch and in English (--lang=en).
# Skipped (77) when qemu is missing.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME installer_e2e
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e/installer_e2e_test.py
            --veltra $<TARGET_FILE:veltra>
            --boot-bin ${VELTRA_BOOT_BIN}
            --boot-bin-en ${VELTRA_BOOT_BIN_EN}
            --workdir ${CMAKE_CURRENT_BINARY_DIR}/installer_e2e)
  set_tests_properties(installer_e2e PROPERTIES
    LABELS "e2e;qemu" TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()

# The words and exit codes of every outcome.
add_executable(messages_test ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp)
target_link_libraries(messages_test PRIVATE veltra_installer veltra_sector veltra_window
                                            GTest::gtest_main)
gtest_discover_tests(messages_test PROPERTIES LABELS unit
                     ENVIRONMENT "VELTRA_DRIVES=/nonexistent/veltra-test-disk")

# The catalogue, the choice of language, English that fits, and the
# pseudo-language run through every page, message and command-line output.
add_executable(language_test ${CMAKE_CURRENT_LIST_DIR}/language_test.cpp)
target_link_libraries(language_test PRIVATE veltra_installer veltra_sector veltra_window
                                            GTest::gtest_main)
gtest_discover_tests(language_test PROPERTIES LABELS unit
                     ENVIRONMENT "VELTRA_DRIVES=/nonexistent/veltra-test-disk")
# The template holds every text of the sources, and every catalogue translates
# all of it (none missing, none fuzzy).
add_test(NAME catalogue_current COMMAND bash ${PROJECT_SOURCE_DIR}/tools/update_po.sh --check)
set_tests_properties(catalogue_current PROPERTIES LABELS unit)
