# The text screen, its key queue, PNG writer and terminal backend (unit), and
# the SDL window under Xvfb (window).
set(_screen_tests ${CMAKE_CURRENT_LIST_DIR})

add_executable(text_screen_test ${_screen_tests}/text_screen_test.cpp ${_screen_tests}/png_file.cpp)
target_link_libraries(text_screen_test PRIVATE veltra_window veltra_core GTest::gtest_main)
target_include_directories(text_screen_test PRIVATE ${PROJECT_SOURCE_DIR})
# A backend that misses the end of its input waits for ever: the time limit
# turns that into a failure.
gtest_discover_tests(text_screen_test PROPERTIES LABELS unit TIMEOUT 60)

if(NOT WIN32)
  # The program on a pseudo-terminal: random keys in the partition editor
  # against the disk (no stale page), and no window library without a window.
  foreach(run editor-frames no-window-library)
    add_test(NAME terminal_${run}
             COMMAND python3 ${_screen_tests}/terminal_runs_test.py $<TARGET_FILE:veltra>
                     ${PROJECT_SOURCE_DIR}/tools/make_disk.py ${run})
    set_tests_properties(terminal_${run} PROPERTIES LABELS unit TIMEOUT 120)
  endforeach()

  add_executable(window_test_app ${_screen_tests}/window_test_app.cpp)
  target_link_libraries(window_test_app PRIVATE veltra_window)
  find_package(X11 QUIET)
  if(X11_FOUND)
    add_executable(window_close_x11 ${_screen_tests}/window_close_x11.cpp)
    target_link_libraries(window_close_x11 PRIVATE X11::X11)
    add_test(NAME window_sdl_xvfb
             COMMAND sh ${_screen_tests}/window_test.sh $<TARGET_FILE:window_test_app>
                     $<TARGET_FILE:window_close_x11> ${CMAKE_CURRENT_BINARY_DIR}/window_test)
    set_tests_properties(window_sdl_xvfb PROPERTIES LABELS window SKIP_RETURN_CODE 77
                                                    TIMEOUT 120)
  endif()
endif()

# Timings (Google Benchmark); run by hand, not by ctest.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(veltra_bench ${_screen_tests}/bench_text_screen.cpp)
  target_link_libraries(veltra_bench PRIVATE veltra_display benchmark::benchmark)
endif()
