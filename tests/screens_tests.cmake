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
add_executable(veltra_screenshots ${PROJECT_SOURCE_DIR}/tools/screenshots.cpp)
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
