# The installer's screens through the headless window: menu, partition editor,
# gradient and help, with scripted keys and disk images named by VELTRA_DRIVES.
add_executable(veltra_screens_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/menu_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/editor_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gradient_help_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/disk_picker_test.cpp
)
target_include_directories(veltra_screens_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(veltra_screens_tests PRIVATE
  veltra_installer veltra_sector veltra_window GTest::gtest_main)
gtest_discover_tests(veltra_screens_tests PROPERTIES LABELS unit)

# Pictures of the screens: veltra_screenshots <output folder>.
add_executable(veltra_screenshots ${PROJECT_SOURCE_DIR}/tools/screenshots.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/png_file.cpp)
target_include_directories(veltra_screenshots PRIVATE ${PROJECT_SOURCE_DIR})
target_include_directories(veltra_screenshots PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(veltra_screenshots PRIVATE veltra_installer veltra_sector veltra_window)

# Repaint timings (Google Benchmark); not part of the test run.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(veltra_bench_screens ${CMAKE_CURRENT_SOURCE_DIR}/bench_screens.cpp)
  target_include_directories(veltra_bench_screens PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(veltra_bench_screens PRIVATE
    veltra_installer veltra_sector veltra_window benchmark::benchmark)
endif()

# The start from a desktop menu: the real program under Xvfb, in a mount
# namespace whose disks are image files (root only, else skipped).
if(NOT WIN32)
  add_test(NAME desktop_start_xvfb
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/desktop_start_test.sh $<TARGET_FILE:veltra>
                   ${PROJECT_SOURCE_DIR}/tools/make_disk.py ${CMAKE_CURRENT_BINARY_DIR}/desktop_start)
  set_tests_properties(desktop_start_xvfb PROPERTIES LABELS window SKIP_RETURN_CODE 77 TIMEOUT 90)
endif()
