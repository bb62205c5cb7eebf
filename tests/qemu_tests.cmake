# End-to-end boots on real firmware (QEMU with SeaBIOS), and the disk-image
# tool they are built on. The QEMU run skips (code 77) without qemu-system-i386.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(VELTRA_PYTHON ${Python3_EXECUTABLE})
else()
  set(VELTRA_PYTHON python3)
endif()

if(NOT VELTRA_BOOT_BIN)
  set(VELTRA_BOOT_BIN ${PROJECT_BINARY_DIR}/boottime/veltra.bin)
endif()

add_test(NAME make_disk_tool
         COMMAND ${VELTRA_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/make_disk_test.py)
set_tests_properties(make_disk_tool PROPERTIES LABELS "e2e;tools" TIMEOUT 60)

add_test(NAME qemu_boot
         COMMAND ${VELTRA_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/qemu_boot_test.py
                 --veltra ${VELTRA_BOOT_BIN} --work-dir ${CMAKE_CURRENT_BINARY_DIR}/e2e-qemu
                 --jobs 2)
set_tests_properties(qemu_boot PROPERTIES LABELS "e2e;qemu" TIMEOUT 1200
                     SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
