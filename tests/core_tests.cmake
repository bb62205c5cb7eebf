# Installer core: sector access on image files, the partition rules, the
# generated record store and the main flow through the headless backend.
if(NOT VELTRA_BOOT_BIN)
  set(VELTRA_BOOT_BIN ${PROJECT_BINARY_DIR}/boottime/veltra.bin)
endif()
if(NOT VELTRA_BOOT_BIN_EN)
  set(VELTRA_BOOT_BIN_EN ${PROJECT_BINARY_DIR}/boottime/veltra_en.bin)
endif()

add_executable(sector_access_test sector_access_test.cpp)
target_link_libraries(sector_access_test PRIVATE veltra_core GTest::gtest_main)
gtest_discover_tests(sector_access_test PROPERTIES LABELS unit TIMEOUT 60)

add_executable(partition_table_test partition_table_test.cpp disk_plan_test.cpp)
target_link_libraries(partition_table_test PRIVATE veltra_core GTest::gtest_main)
gtest_discover_tests(partition_table_test PROPERTIES LABELS unit TIMEOUT 60)

add_executable(record_store_test record_store_test.cpp boot_language_test.cpp)
target_link_libraries(record_store_test PRIVATE veltra_core GTest::gtest_main)
target_compile_definitions(record_store_test PRIVATE VELTRA_BOOT_BIN_PATH="${VELTRA_BOOT_BIN}"
                                                     VELTRA_BOOT_BIN_EN_PATH="${VELTRA_BOOT_BIN_EN}")
gtest_discover_tests(record_store_test PROPERTIES LABELS unit TIMEOUT 60)

add_executable(main_flow_test main_flow_test.cpp)
target_link_libraries(main_flow_test PRIVATE veltra_installer veltra_sector veltra_window
                                             GTest::gtest_main)
gtest_discover_tests(main_flow_test PROPERTIES LABELS unit TIMEOUT 60)

add_executable(command_line_test command_line_test.cpp)
target_link_libraries(command_line_test PRIVATE veltra_installer veltra_sector veltra_window
                                                GTest::gtest_main)
gtest_discover_tests(command_line_test PROPERTIES LABELS unit TIMEOUT 60)

add_executable(cli_test cli_test.cpp)
target_link_libraries(cli_test PRIVATE veltra_installer veltra_sector veltra_window
                                          GTest::gtest_main)
gtest_discover_tests(cli_test PROPERTIES LABELS unit TIMEOUT 60)

# Includes point down only: display and core at the bottom, then screens, then installer.
add_test(NAME include_layers COMMAND ${PROJECT_SOURCE_DIR}/tools/check_layers.sh)
set_tests_properties(include_layers PROPERTIES LABELS unit)

# One list of recognised types: the tools' disk maker agrees with the program.
add_test(NAME recognised_types_agree
  COMMAND ${CMAKE_COMMAND} -DMAKE_DISK=${PROJECT_SOURCE_DIR}/tools/make_disk.py
          -DSYMBOLS=${VELTRA_BOOT_INCLUDE_DIR}/boot_symbols.h
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_recognised_types.cmake)
set_tests_properties(recognised_types_agree PROPERTIES LABELS unit)
