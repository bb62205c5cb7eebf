# Key-to-screen latency in the SDL window: the installer on a disk image, keys
# typed as SDL events. Needs a display (xvfb-run -a, or
# tools/bench_key_to_frame.sh); run by hand, not by ctest.
if(NOT WIN32)
  find_package(SDL2 CONFIG QUIET)
  if(TARGET SDL2::SDL2)
    set(_bench_sdl SDL2::SDL2)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
    set(_bench_sdl PkgConfig::SDL2)
  endif()
  add_executable(veltra_bench_key_to_frame ${CMAKE_CURRENT_LIST_DIR}/bench_key_to_frame.cpp)
  target_compile_definitions(veltra_bench_key_to_frame PRIVATE
    VELTRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(veltra_bench_key_to_frame PRIVATE
    veltra_installer veltra_sector veltra_window ${_bench_sdl})
endif()
