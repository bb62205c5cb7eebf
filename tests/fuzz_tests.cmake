# Coverage-guided fuzz targets (libFuzzer), one per reader of outside bytes, each checking a
# property of what it returns. Built only with VELTRA_FUZZ (tools/fuzz.sh builds and runs
# them); their seed corpora are in fuzz/corpus/<target>/.
if(NOT VELTRA_FUZZ)
  return()
endif()

find_package(nlohmann_json 3 REQUIRED)
set(_fuzz_dir ${CMAKE_CURRENT_LIST_DIR}/fuzz)
set(_fake ${CMAKE_CURRENT_LIST_DIR}/fake_sector_access.cpp)

function(veltra_fuzz_target name)
  add_executable(fuzz_${name} ${_fuzz_dir}/${name}.cpp ${ARGN})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY VELTRA_FUZZ_TARGETS fuzz_${name})
endfunction()

veltra_fuzz_target(backup_reader)
target_link_libraries(fuzz_backup_reader PRIVATE veltra_core)

# The plans and the status report on in-memory disks: no file or device is ever opened.
veltra_fuzz_target(plans ${_fake})
target_link_libraries(fuzz_plans PRIVATE veltra_installer veltra_window)

veltra_fuzz_target(status ${_fake})
target_link_libraries(fuzz_status PRIVATE veltra_installer veltra_window nlohmann_json::nlohmann_json)

veltra_fuzz_target(terminal_keys)
target_link_libraries(fuzz_terminal_keys PRIVATE veltra_window)

veltra_fuzz_target(command_line ${_fake})
target_link_libraries(fuzz_command_line PRIVATE veltra_installer veltra_window)

# The boot program on the emulated PC of the boot tests.
if(TARGET boot_tests)
  veltra_fuzz_target(boot_program ${CMAKE_CURRENT_LIST_DIR}/boot_pc_model.cpp)
  target_include_directories(fuzz_boot_program PRIVATE ${CMAKE_CURRENT_LIST_DIR}
                                                       ${VELTRA_BOOT_INCLUDE_DIR})
  target_link_libraries(fuzz_boot_program PRIVATE ${VELTRA_UNICORN})
  target_compile_definitions(fuzz_boot_program PRIVATE VELTRA_BOOT_BIN="${VELTRA_BOOT_BIN}"
                                                       VELTRA_BOOT_BIN_EN="${VELTRA_BOOT_BIN_EN}"
                                                       VELTRA_NASM="${VELTRA_NASM}")
  add_dependencies(fuzz_boot_program boot_images)
endif()

get_property(_targets GLOBAL PROPERTY VELTRA_FUZZ_TARGETS)
add_custom_target(fuzz_targets DEPENDS ${_targets})
