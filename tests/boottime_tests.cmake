# Unit tests of the boot-time program: it runs on an emulated BIOS PC (unicorn, real mode).
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(UNICORN QUIET IMPORTED_TARGET unicorn)
endif()
if(TARGET PkgConfig::UNICORN)
  set(VELTRA_UNICORN PkgConfig::UNICORN)
else()
  find_library(VELTRA_UNICORN unicorn)
endif()
find_program(VELTRA_NASM nasm)

if(NOT VELTRA_UNICORN OR NOT VELTRA_NASM OR NOT TARGET boot_images)
  message(WARNING "boot_tests not built: needs libunicorn, nasm and the boot_images target")
  return()
endif()

add_executable(boot_tests
  ${CMAKE_CURRENT_LIST_DIR}/boot_pc_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_model_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_keys_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_menu_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_switch_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_removal_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_failure_test.cpp)
target_include_directories(boot_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${VELTRA_BOOT_INCLUDE_DIR})
target_link_libraries(boot_tests PRIVATE GTest::gtest_main ${VELTRA_UNICORN})
target_compile_definitions(boot_tests PRIVATE
  VELTRA_BOOT_BIN="${VELTRA_BOOT_BIN}"
  VELTRA_BOOT_BIN_EN="${VELTRA_BOOT_BIN_EN}"
  VELTRA_NASM="${VELTRA_NASM}")
add_dependencies(boot_tests boot_images)
# Discovery hands PROPERTIES on as a flat list, which splits "unit;boot"; the two labels are
# set by a script that ctest runs after the discovered tests are known.
gtest_discover_tests(boot_tests TEST_LIST boot_tests_list NO_PRETTY_VALUES)
set(_boot_labels ${CMAKE_CURRENT_BINARY_DIR}/boot_tests_labels.cmake)
file(WRITE ${_boot_labels}
     "if(boot_tests_list)\n  set_tests_properties(\${boot_tests_list} PROPERTIES LABELS \"unit;boot\")\nendif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_boot_labels})

# Instruction counts of the start paths and the bytes used of both stages, printed as tables;
# run by hand, not a test.
add_executable(veltra_boot_measure
  ${CMAKE_CURRENT_LIST_DIR}/boot_pc_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/boot_measure.cpp)
target_include_directories(veltra_boot_measure PRIVATE
  ${CMAKE_CURRENT_LIST_DIR} ${VELTRA_BOOT_INCLUDE_DIR})
target_link_libraries(veltra_boot_measure PRIVATE ${VELTRA_UNICORN})
target_compile_definitions(veltra_boot_measure PRIVATE
  VELTRA_BOOT_BIN="${VELTRA_BOOT_BIN}"
  VELTRA_BOOT_BIN_EN="${VELTRA_BOOT_BIN_EN}"
  VELTRA_BOOT_LIST="${VELTRA_BOOT_INCLUDE_DIR}/veltra.lst"
  VELTRA_NASM="${VELTRA_NASM}")
add_dependencies(veltra_boot_measure boot_images)
